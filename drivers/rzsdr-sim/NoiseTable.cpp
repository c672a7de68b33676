#include "NoiseTable.h"

#include "FrontEnd.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <utility>

namespace {

// In-place inverse radix-2 transform (unnormalised); run once when the table is built.
void inverseFft(std::vector<std::complex<double>>& x)
{
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, 2 * std::numbers::pi / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = x[i + k];
                const std::complex<double> v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

} // namespace

const NoiseTable& NoiseTable::instance()
{
    static const NoiseTable table;
    return table;
}

NoiseTable::NoiseTable()
{
    // Shape white noise in the frequency domain: each bin gets a Gaussian value scaled by the
    // band-edge response, and the inverse transform gives a seamless loop.
    std::mt19937 rng(0x5eed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<std::complex<double>> bins(kLength);
    double power = 0.0;
    for (std::size_t k = 0; k < kLength; ++k) {
        const double f = (k < kLength / 2 ? static_cast<double>(k) : static_cast<double>(k) - kLength) / kLength;
        const double gain = bandEdgeResponse(f);
        bins[k] = std::complex<double>(gauss(rng), gauss(rng)) * gain;
        power += std::norm(bins[k]);
    }
    inverseFft(bins);
    // Parseval for the unnormalised inverse: the mean power in time equals the bin power sum.
    const double scale = 1.0 / std::sqrt(power);
    m_re.resize(kLength + kMaxRead);
    m_im.resize(kLength + kMaxRead);
    for (std::size_t i = 0; i < kLength + kMaxRead; ++i) {
        const std::complex<double> v = bins[i % kLength] * scale;
        m_re[i] = static_cast<float>(v.real());
        m_im[i] = static_cast<float>(v.imag());
    }
}
