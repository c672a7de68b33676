#include "demod/DcOffsetTracker.h"

#include "demod/SimdKernels.h"

#include <cmath>

void DcOffsetTracker::update(const int16_t* iq, size_t pairs, double sampleRateHz)
{
    if (!iq || pairs == 0 || sampleRateHz <= 0.0)
        return;
    int64_t sumI = 0, sumQ = 0;
    sumPairs(iq, pairs, sumI, sumQ);
    const double scale = 1.0 / (32768.0 * static_cast<double>(pairs));
    const std::complex<double> mean(static_cast<double>(sumI) * scale, static_cast<double>(sumQ) * scale);
    // The block's weight is what a per-sample one-pole would give all of its samples together.
    const double weight = 1.0 - std::exp(-static_cast<double>(pairs) / (kTimeConstantSeconds * sampleRateHz));
    m_offset += (mean - m_offset) * weight;
}
