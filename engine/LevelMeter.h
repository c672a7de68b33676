#pragma once

#include "acquisition/IqSample.h"

#include <cstddef>

// RMS level of one IQ block in dBFS: a full-scale complex tone reads about 0, silence -240.
double blockRmsDb(const IqSample* samples, std::size_t count);

// Smoothed overload flag: the level approaches the raw "loud" flag (rms above -25 dBFS) with
// weight dt / (dt + 1) per block, so about 0.7 s of loud input sets it.
class OverloadMeter {
public:
    bool update(double rmsDb, double dtSec);
    float level() const { return m_level; }

private:
    float m_level = 0.0f;
};
