#pragma once

#include "measure/TraceView.h"

#include <cstddef>
#include <span>
#include <vector>

// One trace in linear power with its running sum, so that the power between any two
// frequencies is two look-ups. Each bin's power is taken as spread evenly over its width, which
// lets a band edge cut a bin. Allocates only when a trace is longer than any before it.
class PowerTrace {
public:
    void assign(const TraceView& view);

    std::size_t bins() const { return m_db.size(); }
    double startHz() const { return m_startHz; }
    double binHz() const { return m_binHz; }
    double enbwBins() const { return m_enbwBins; }
    std::span<const float> levelsDb() const { return m_db; }
    std::span<const float> power() const { return m_power; }

    double frequencyOfBin(double bin) const { return m_startHz + bin * m_binHz; }
    // The bin nearest to a frequency, inside the trace.
    std::size_t nearestBin(double hz) const;
    // The trace's outer edges: half a bin beyond the first and last bin centres.
    double lowEdgeHz() const { return frequencyOfBin(-0.5); }
    double highEdgeHz() const { return frequencyOfBin(static_cast<double>(bins()) - 0.5); }

    // Raw bin power below a frequency (not corrected for the window's noise bandwidth).
    double binPowerBelow(double hz) const;
    // The frequency below which a given raw bin power lies.
    double frequencyBelow(double binPower) const;
    double totalBinPower() const { return m_cumulative.empty() ? 0.0 : m_cumulative.back(); }
    // The power of a signal between two frequencies: the bins' power over the window's noise
    // bandwidth, which holds for noise and, summed over its whole response, for a tone.
    double bandPower(double lowHz, double highHz) const;

private:
    std::vector<float> m_db;
    std::vector<float> m_power;
    std::vector<double> m_cumulative;  // bins + 1 entries, power below each bin's lower edge
    double m_startHz = 0.0;
    double m_binHz = 0.0;
    double m_enbwBins = 1.0;
};

// 10 log10 of a linear power, with nothing (or nothing positive) as NaN.
double powerDb(double power);
