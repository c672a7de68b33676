#pragma once

#include "engine/SpectrumFrame.h"

#include <cstddef>

// A trace as the measurements read it: levels in dB per bin, bin 0 centred on startHz, and the
// window's equivalent noise bandwidth in bins, which turns a sum of bins into a power.
struct TraceView {
    const float* levelsDb = nullptr;
    std::size_t bins = 0;
    double startHz = 0.0;
    double binHz = 0.0;
    double enbwBins = 1.0;
};

// The frame's display trace. The frame's RBW is the bin width times the window's noise
// bandwidth, so their ratio is that bandwidth in bins.
inline TraceView traceViewOf(const SpectrumFrame& frame, const std::vector<float>& levelsDb)
{
    TraceView view;
    view.levelsDb = levelsDb.data();
    view.bins = levelsDb.size();
    view.startHz = frame.startHz;
    view.binHz = frame.binHz;
    view.enbwBins = frame.binHz > 0.0 && frame.rbwHz > 0.0 ? frame.rbwHz / frame.binHz : 1.0;
    return view;
}

inline TraceView traceViewOf(const SpectrumFrame& frame)
{
    return traceViewOf(frame, frame.trace);
}
