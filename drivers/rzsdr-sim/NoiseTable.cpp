#include "NoiseTable.h"

#include "Fft.h"
#include "FrontEnd.h"

#include <cmath>
#include <complex>
#include <random>

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
    radix2Fft(bins, true);
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
