#include "demod/CicDecimator.h"

#include "demod/SimdKernels.h"

#include <algorithm>
#include <cmath>

CicDecimator::CicDecimator(int32_t r, int32_t n, DemodDiagnostics& diagnostics)
    : m_r(std::max(r, 1))
    , m_n(std::clamp(n, 1, kMaxStages))
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

template <int N>
inline size_t CicDecimator::runPair(CicDecimator& cicI, CicDecimator& cicQ, const int16_t* iq, size_t pairs, float* outI,
                             float* outQ, size_t outCapacity, size_t& consumed)
{
    // I and Q side by side in two-lane integer vectors, the state in locals so that the
    // per-sample loop stays in registers.
    using v2di = uint64_t __attribute__((vector_size(16)));
    v2di acc[N];
    v2di comb[N];
    for (size_t i = 0; i < N; ++i) {
        acc[i] = v2di{cicI.m_integrators[i], cicQ.m_integrators[i]};
        comb[i] = v2di{cicI.m_combs[i], cicQ.m_combs[i]};
    }
    const int32_t r = cicI.m_r;
    const double scale = cicI.m_scale;
    int32_t phase = cicI.m_phase;
    size_t produced = 0;
    size_t k = 0;
    while (k < pairs) {
        const size_t steps = std::min(pairs - k, static_cast<size_t>(r - phase));
        for (size_t j = 0; j < steps; ++j) {
            v2di v = {static_cast<uint64_t>(static_cast<int64_t>(iq[2 * (k + j)])),
                      static_cast<uint64_t>(static_cast<int64_t>(iq[2 * (k + j) + 1]))};
            for (size_t i = 0; i < N; ++i) {
                acc[i] += v;
                v = acc[i];
            }
        }
        k += steps;
        phase += static_cast<int32_t>(steps);
        if (phase < r)
            break;
        phase = 0;
        if (produced == outCapacity)
            break;
        v2di v = acc[N - 1];
        for (size_t j = 0; j < N; ++j) {
            const v2di t = comb[j];
            comb[j] = v;
            v -= t;
        }
        outI[produced] = static_cast<float>(static_cast<double>(static_cast<int64_t>(v[0])) * scale);
        outQ[produced] = static_cast<float>(static_cast<double>(static_cast<int64_t>(v[1])) * scale);
        ++produced;
    }
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
    switch (cicI.m_n) {
    case 1:
        return runPair<1>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    case 2:
        return runPair<2>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    case 3:
        return runPair<3>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    default:
        return runPair<4>(cicI, cicQ, iq, pairs, outI, outQ, outCapacity, consumed);
    }
}
