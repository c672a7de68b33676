#include "demod/ProgrammeFilter.h"

#include "demod/FirDesign.h"

#include <algorithm>
#include <array>
#include <complex>
#include <vector>

namespace {

// Half-way between the programme's 15 kHz and the pilot's 19 kHz, a little below so that the
// transition ends before the pilot.
constexpr double kCutoffHz = 16800.0;
constexpr double kBandStopDb = 90.0;
// The decimating stage's cut-off is the output's Nyquist frequency: what it lets fold lies
// above the band's edge, where the second stage takes it out.
constexpr double kDecimatorStopDb = 100.0;
// The rate the audio is taken to: at least five times the cut-off.
constexpr double kLowestOutputHz = 100000.0;

} // namespace

ProgrammeFilter::ProgrammeFilter()
    : m_decimator(1, std::vector<double>(kDecimatorTaps, 0.0))
    , m_band(1, std::vector<double>(kBandTaps, 0.0))
{
}

void ProgrammeFilter::configure(double inputRateHz)
{
    // The largest factor that divides the decimator's taps and keeps the output rate at 100 kHz
    // or more.
    int factor = std::max(1, static_cast<int>(inputRateHz / kLowestOutputHz));
    while (kDecimatorTaps % factor != 0)
        --factor;
    m_outputRateHz = inputRateHz / factor;
    const double nyquist = std::min(0.5 / factor, 0.45);
    m_decimator.design(factor, kaiserLowpass(kDecimatorTaps, nyquist, kaiserBeta(kDecimatorStopDb)));
    const double cutoff = std::min(kCutoffHz / m_outputRateHz, 0.4);
    m_band.design(1, kaiserLowpass(kBandTaps, cutoff, kaiserBeta(kBandStopDb)));
}

void ProgrammeFilter::reset()
{
    m_decimator.reset();
    m_band.reset();
}

size_t ProgrammeFilter::process(float* left, float* right, size_t count)
{
    // A stretch of at most kOut outputs at a time. Outputs lag their inputs by the factor, so
    // they overwrite only inputs the filters have already taken in.
    constexpr size_t kOut = 256;
    std::array<std::complex<float>, kOut> decimated;
    std::array<std::complex<float>, kOut> band;
    const auto factor = static_cast<size_t>(m_decimator.factor());
    size_t produced = 0;
    for (size_t pos = 0; pos < count;) {
        const size_t n = std::min(count - pos, kOut * factor);
        const size_t got = m_decimator.process(left + pos, right ? right + pos : nullptr, n, decimated.data(), kOut);
        m_band.process(decimated.data(), got, band.data(), kOut);
        for (size_t k = 0; k < got; ++k)
            left[produced + k] = band[k].real();
        if (right)
            for (size_t k = 0; k < got; ++k)
                right[produced + k] = band[k].imag();
        produced += got;
        pos += n;
    }
    return produced;
}
