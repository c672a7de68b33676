#pragma once

#include "engine/DensityMap.h"
#include "engine/FftAnalyzer.h"
#include "engine/LevelMeter.h"
#include "engine/PeakLine.h"
#include "engine/PeakReadout.h"
#include "engine/WaterfallBuffer.h"

#include <cstddef>
#include <mutex>
#include <vector>

// The spectrum state that outlives acquisition runs: the analyser and what accumulates from
// trace to trace. The analyser is only touched under its mutex, so the configuring thread
// can replan it while the spectrum thread streams blocks.
class SpectrumEngine {
public:
    void setFftSize(std::size_t n);
    void setWindowType(int type);
    // The block's power spectrum; returns its I^2 + Q^2 summed over all samples.
    uint64_t analyse(const IqBlockView& block, std::vector<float>& power);

    PeakLine& peakLine() { return m_peakLine; }
    DensityMap& density() { return m_density; }
    WaterfallBuffer& waterfall() { return m_waterfall; }
    PeakReadout& peakReadout() { return m_peakReadout; }
    const PeakReadout& peakReadout() const { return m_peakReadout; }
    // Touched by the spectrum thread only; kept here so a restart does not forget the level.
    OverloadMeter& overload() { return m_overload; }

private:
    std::mutex m_spectrumMutex;
    FftAnalyzer m_analyzer;
    PeakLine m_peakLine;
    DensityMap m_density;
    WaterfallBuffer m_waterfall;
    PeakReadout m_peakReadout;
    OverloadMeter m_overload;
};
