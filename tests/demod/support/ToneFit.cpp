#include "ToneFit.h"

#include <cmath>
#include <numbers>

ToneFit fitTones(const std::vector<float>& x, size_t from, const std::vector<double>& hz, double rateHz)
{
    // Basis: cos and sin per tone, then DC. Normal equations solved by Gaussian elimination.
    const size_t m = 2 * hz.size() + 1;
    std::vector<double> a(m * m, 0.0), b(m, 0.0), basis(m);
    auto fill = [&](size_t n) {
        for (size_t t = 0; t < hz.size(); ++t) {
            const double w = 2.0 * std::numbers::pi * hz[t] / rateHz * static_cast<double>(n);
            basis[2 * t] = std::cos(w);
            basis[2 * t + 1] = std::sin(w);
        }
        basis[m - 1] = 1.0;
    };
    for (size_t n = from; n < x.size(); ++n) {
        fill(n);
        for (size_t i = 0; i < m; ++i) {
            b[i] += basis[i] * x[n];
            for (size_t j = 0; j < m; ++j)
                a[i * m + j] += basis[i] * basis[j];
        }
    }
    for (size_t i = 0; i < m; ++i)
        for (size_t r = i + 1; r < m; ++r) {
            const double f = a[r * m + i] / a[i * m + i];
            for (size_t c = i; c < m; ++c)
                a[r * m + c] -= f * a[i * m + c];
            b[r] -= f * b[i];
        }
    std::vector<double> coef(m);
    for (size_t i = m; i-- > 0;) {
        double s = b[i];
        for (size_t c = i + 1; c < m; ++c)
            s -= a[i * m + c] * coef[c];
        coef[i] = s / a[i * m + i];
    }

    ToneFit fit;
    for (size_t t = 0; t < hz.size(); ++t)
        fit.amplitudes.push_back(std::hypot(coef[2 * t], coef[2 * t + 1]));
    double residual = 0.0;
    for (size_t n = from; n < x.size(); ++n) {
        fill(n);
        double model = 0.0;
        for (size_t i = 0; i < m; ++i)
            model += coef[i] * basis[i];
        residual += (x[n] - model) * (x[n] - model);
    }
    fit.residualRms = std::sqrt(residual / static_cast<double>(x.size() - from));
    return fit;
}

double toneAmplitude(const std::vector<float>& x, size_t from, double hz, double rateHz)
{
    return fitTones(x, from, {hz}, rateHz).amplitudes.front();
}

double thdPlusNoise(const std::vector<float>& x, size_t from, const std::vector<double>& hz,
                    const std::vector<double>& ignoredHz, double rateHz)
{
    std::vector<double> all = hz;
    all.insert(all.end(), ignoredHz.begin(), ignoredHz.end());
    return thdPlusNoise(fitTones(x, from, all, rateHz), hz.size());
}

double thdPlusNoise(const ToneFit& fit, size_t signalTones)
{
    double signal = 0.0;
    for (size_t t = 0; t < signalTones; ++t)
        signal += fit.amplitudes[t] * fit.amplitudes[t] / 2.0;
    return fit.residualRms / std::sqrt(signal);
}

double pitchFactor(const std::vector<float>& x, size_t from, const std::vector<double>& hz, double rateHz)
{
    auto residual = [&](double factor) {
        std::vector<double> scaled = hz;
        for (double& f : scaled)
            f *= factor;
        return fitTones(x, from, scaled, rateHz).residualRms;
    };
    // A coarse scan, then golden-section refinement around the best point.
    double best = 1.0;
    double bestResidual = residual(1.0);
    constexpr double kStep = 0.002;
    for (double f = 0.95; f <= 1.05; f += kStep) {
        const double r = residual(f);
        if (r < bestResidual) {
            best = f;
            bestResidual = r;
        }
    }
    double lo = best - kStep, hi = best + kStep;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    double a = hi - g * (hi - lo), b = lo + g * (hi - lo);
    double ra = residual(a), rb = residual(b);
    for (int i = 0; i < 30; ++i) {
        if (ra < rb) {
            hi = b;
            b = a;
            rb = ra;
            a = hi - g * (hi - lo);
            ra = residual(a);
        } else {
            lo = a;
            a = b;
            ra = rb;
            b = lo + g * (hi - lo);
            rb = residual(b);
        }
    }
    return (lo + hi) / 2.0;
}
