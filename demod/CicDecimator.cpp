#include "demod/CicDecimator.h"

#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t clampedStages(int32_t n)
{
    return std::clamp(n, 1, CicDecimator::kMaxStages);
}

// The largest R whose R^N stays within the DC gain the int32 outputs allow.
int32_t largestDecimation(int32_t n)
{
    return static_cast<int32_t>(std::floor(std::pow(CicDecimator::kMaxDcGain, 1.0 / n) + 1e-9));
}

} // namespace

CicDecimator::CicDecimator(int32_t r, int32_t n, DemodDiagnostics& diagnostics)
    : m_r(std::clamp(r, 1, largestDecimation(clampedStages(n))))
    , m_n(clampedStages(n))
    , m_dcGain(std::pow(static_cast<double>(m_r), m_n))
    , m_scale(1.0 / (m_dcGain * 32768.0))
{
    diagnostics.print("[CIC] Created: R=%d, M=%d, N=%d\n", m_r, 1, m_n);
    diagnostics.print("[CIC] DC_gain=%.0f, scale=%.12e\n", m_dcGain, m_scale);
    diagnostics.print("[CIC] Bit growth: %.1f bits (int64 has 63 bits headroom)\n",
                      m_n * std::log2(static_cast<double>(m_r)));
}

void CicDecimator::reset()
{
    m_integrators.fill(0);
    m_combs.fill(0);
    m_phase = 0;
}

template <int N, int R>
inline size_t CicDecimator::runPair(CicDecimator& cicI, CicDecimator& cicQ, const int16_t* iq, size_t pairs,
                                    float* outI, float* outQ, size_t outCapacity, size_t& consumed)
{
    // I and Q side by side in the first two lanes of integer vectors, the state in locals so
    // that the per-sample loop stays in registers. The comb outputs are gathered as integers
    // and scaled a batch at a time, in vectors, off the integrators' path.
    using v4su = uint32_t __attribute__((vector_size(16)));
    using v4si = int32_t __attribute__((vector_size(16)));
    constexpr size_t kBatch = 256;
    v4su acc[N];
    v4su comb[N];
    for (size_t i = 0; i < N; ++i) {
        acc[i] = v4su{cicI.m_integrators[i], cicQ.m_integrators[i], 0, 0};
        comb[i] = v4su{cicI.m_combs[i], cicQ.m_combs[i], 0, 0};
    }
    int32_t rawI[kBatch];
    int32_t rawQ[kBatch];
    size_t held = 0;
    const auto flush = [&](size_t at) {
        const double scale = cicI.m_scale;
        for (size_t j = 0; j < held; ++j) {
            outI[at + j] = static_cast<float>(static_cast<double>(rawI[j]) * scale);
            outQ[at + j] = static_cast<float>(static_cast<double>(rawQ[j]) * scale);
        }
        held = 0;
    };
    const int32_t r = R > 0 ? R : cicI.m_r;
    int32_t phase = cicI.m_phase;
    size_t produced = 0;
    size_t k = 0;
    // Only lanes 0 and 1 are read out; the upper two integrate whatever they hold, harmlessly.
    const auto integrate = [&](v4su v) {
        for (size_t i = 0; i < N; ++i) {
            acc[i] += v;
            v = acc[i];
        }
    };
    while (k < pairs && produced + held < outCapacity) {
        const size_t steps = std::min(pairs - k, static_cast<size_t>(r - phase));
        // Two pairs per load, the second moved down for its turn.
        const auto run = [&](size_t count) {
            size_t j = 0;
            for (; j + 2 <= count; j += 2) {
                // Spelled element by element: GCC makes that one widening load, where it
                // splits a vector conversion.
                const int16_t* p = iq + 2 * (k + j);
                const auto v = reinterpret_cast<v4su>(v4si{p[0], p[1], p[2], p[3]});
                integrate(v);
                integrate(__builtin_shuffle(v, v4su{2, 3, 2, 3}));
            }
            if (j < count)
                integrate(
                    v4su{static_cast<uint32_t>(iq[2 * (k + j)]), static_cast<uint32_t>(iq[2 * (k + j) + 1]), 0, 0});
        };
        // A whole output's worth with R known when built: the loop unrolls.
        if (R > 0 && steps == static_cast<size_t>(R))
            run(static_cast<size_t>(R));
        else
            run(steps);
        k += steps;
        phase += static_cast<int32_t>(steps);
        if (phase < r)
            break;
        phase = 0;
        v4su v = acc[N - 1];
        for (size_t j = 0; j < N; ++j) {
            const v4su t = comb[j];
            comb[j] = v;
            v -= t;
        }
        rawI[held] = static_cast<int32_t>(v[0]);
        rawQ[held] = static_cast<int32_t>(v[1]);
        if (++held == kBatch) {
            flush(produced);
            produced += kBatch;
        }
    }
    const size_t last = held;
    flush(produced);
    produced += last;
    for (size_t i = 0; i < N; ++i) {
        cicI.m_integrators[i] = acc[i][0];
        cicQ.m_integrators[i] = acc[i][1];
        cicI.m_combs[i] = comb[i][0];
        cicQ.m_combs[i] = comb[i][1];
    }
    cicI.m_phase = cicQ.m_phase = phase;
    consumed = k;
    return produced;
}

RTSA_SIMD_CLONES size_t CicDecimator::processPair(CicDecimator& cicI, CicDecimator& cicQ, const int16_t* iq,
                                                   size_t pairs, float* outI, float* outQ, size_t outCapacity,
                                                   size_t& consumed)
{
    // The shape of the 30 MS/s mode, the busiest, with its R built in; the others take R at run time.
    if (cicI.m_n == 4 && cicI.m_r == 6)
        return runPair<4, 6>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    switch (cicI.m_n) {
    case 1:
        return runPair<1, 0>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    case 2:
        return runPair<2, 0>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    case 3:
        return runPair<3, 0>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    default:
        return runPair<4, 0>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    }
}
