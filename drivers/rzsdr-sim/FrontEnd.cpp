#include "FrontEnd.h"

#include <algorithm>
#include <cmath>
#include <numbers>

FrontEndGains frontEndGains(const FrontEndSettings& settings)
{
    constexpr double kReferencePreamp = 20.0;
    constexpr double kReferenceIfGain = 30.0;
    // The second input has a weaker antenna; the others are open and only see leakage.
    const double portDb = settings.port == 1 ? 0.0 : settings.port == 0 ? -18.0 : -45.0;
    const double preamp = settings.preampDb - kReferencePreamp;
    const double ifGain = settings.ifGainDb - kReferenceIfGain;
    return {preamp + ifGain - settings.attenuationDb + portDb, 0.7 * preamp + ifGain};
}

double bandEdgeResponse(double normalizedFrequency)
{
    constexpr double kFlat = 0.39;
    constexpr double kEdgeDb = -38.0;
    const double a = std::abs(normalizedFrequency);
    // A slight tilt and ripple keep the floor from looking synthetic.
    double db = 0.35 * std::cos(2 * std::numbers::pi * 2.5 * normalizedFrequency) - 0.6 * normalizedFrequency;
    if (a > kFlat) {
        const double x = std::min((a - kFlat) / (0.5 - kFlat), 1.2);
        db += kEdgeDb * x * x;
    }
    return std::pow(10.0, db / 20.0);
}
