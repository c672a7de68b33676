#include "engine/RbwRule.h"

#include "engine/FftAnalyzer.h"

#include <algorithm>

RbwChoice chooseFftSizeForRbw(double targetHz, double sampleRateHz, int windowType, uint64_t minFft,
                              uint64_t maxFft)
{
    RbwChoice choice;
    const double enbw = FftAnalyzer::enbwBins(windowType);
    double x = targetHz;
    if (maxFft != 0) {
        const double finest = sampleRateHz / static_cast<double>(maxFft) * enbw;
        if (finest > 0.0 && x < finest) {
            choice.clamped = true;
            choice.finestHz = finest;
            x = finest;
        }
    }
    choice.targetHz = x;

    const double nT = sampleRateHz * enbw / x;
    if (!(nT > 0.0))
        return choice;
    // Beyond any supported size; also keeps the conversion below defined.
    const uint64_t n = nT >= 262144.0 ? 262144 : static_cast<uint64_t>(nT);
    uint64_t h = 1;
    while (h < n && h < 262144)
        h *= 2;
    uint64_t size = h;
    if (h / 2 >= 256 && static_cast<double>(h) - nT > nT - static_cast<double>(h / 2))
        size = h / 2;
    size = std::max(size, minFft);
    size = std::min(size, maxFft);
    choice.fftSize = size;
    return choice;
}
