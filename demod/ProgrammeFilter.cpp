#include "demod/ProgrammeFilter.h"

#include "demod/FirDesign.h"

#include <algorithm>
#include <array>
#include <complex>
#include <vector>

namespace {

// Half-way between the programme's 15 kHz and the pilot's 19 kHz, a little below so that the
// transition ends before the pilot at 500 kHz.
constexpr double kCutoffHz = 16800.0;
constexpr double kStopBandDb = 90.0;
// The rate the audio is taken to: at least five times the cut-off, so that nothing folds into
// the programme band.
constexpr double kLowestOutputHz = 100000.0;

} // namespace

ProgrammeFilter::ProgrammeFilter()
    : m_fir(1, std::vector<double>(kTaps, 0.0))
{
}

void ProgrammeFilter::configure(double inputRateHz)
{
    // The largest factor that divides the taps and keeps the output rate at 100 kHz or more.
    int factor = std::max(1, static_cast<int>(inputRateHz / kLowestOutputHz));
    while (kTaps % factor != 0)
        --factor;
    const double cutoff = std::min(kCutoffHz / inputRateHz, 0.4);
    m_fir.design(factor, kaiserLowpass(kTaps, cutoff, kaiserBeta(kStopBandDb)));
    m_outputRateHz = inputRateHz / factor;
}

size_t ProgrammeFilter::process(float* left, float* right, size_t count)
{
    // A stretch of at most kOut outputs at a time. Outputs lag their inputs by the factor, so
    // they overwrite only inputs the filter has already taken in.
    constexpr size_t kOut = 256;
    std::array<std::complex<float>, kOut> out;
    const auto factor = static_cast<size_t>(m_fir.factor());
    size_t produced = 0;
    for (size_t pos = 0; pos < count;) {
        const size_t n = std::min(count - pos, kOut * factor);
        const size_t got = m_fir.process(left + pos, right ? right + pos : nullptr, n, out.data(), kOut);
        for (size_t k = 0; k < got; ++k)
            left[produced + k] = out[k].real();
        if (right)
            for (size_t k = 0; k < got; ++k)
                right[produced + k] = out[k].imag();
        produced += got;
        pos += n;
    }
    return produced;
}
