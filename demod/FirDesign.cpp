#include "demod/FirDesign.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

// Modified Bessel function of the first kind, order 0, by its power series.
double besselI0(double x)
{
    double sum = 1.0;
    double term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 200 && term > sum * 1e-17; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

} // namespace

double kaiserBeta(double attenuationDb)
{
    if (attenuationDb > 50.0)
        return 0.1102 * (attenuationDb - 8.7);
    if (attenuationDb >= 21.0)
        return 0.5842 * std::pow(attenuationDb - 21.0, 0.4) + 0.07886 * (attenuationDb - 21.0);
    return 0.0;
}

std::vector<double> kaiserLowpass(int taps, double cutoff, double beta)
{
    std::vector<double> h(static_cast<size_t>(taps));
    const double centre = (taps - 1) / 2.0;
    const double norm = besselI0(beta);
    for (int t = 0; t < taps; ++t) {
        const double x = t - centre;
        const double sinc = x == 0.0 ? 2.0 * cutoff : std::sin(2.0 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
        const double r = centre > 0.0 ? x / centre : 0.0;
        h[static_cast<size_t>(t)] = sinc * besselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / norm;
    }
    const double dc = std::accumulate(h.begin(), h.end(), 0.0);
    for (double& v : h)
        v /= dc;
    return h;
}

std::vector<double> preFirPrototype()
{
    return kaiserLowpass(160, 0.044, kaiserBeta(50.0));
}

std::vector<double> halfBandPrototype()
{
    return kaiserLowpass(32, 0.25, kaiserBeta(100.0));
}

std::vector<double> polyFirPrototype()
{
    return kaiserLowpass(128, 0.22, kaiserBeta(60.0));
}
