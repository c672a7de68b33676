#include "demod/BusFillControl.h"

#include <algorithm>

namespace {

uint64_t orDefault(uint64_t request)
{
    return request > 0 ? request : BusFillControl::kDefaultRequest;
}

} // namespace

BusFillControl::BusFillControl(uint64_t capacity)
    : m_capacity(capacity)
{
}

uint64_t BusFillControl::targetSamples(uint64_t request) const
{
    // A consumer reading more than the bus can steer holds half of it.
    return std::min(orDefault(request) / 2 + kJitterMarginSamples, m_capacity / 2);
}

double BusFillControl::update(double fillSamples, uint64_t request, size_t blockSamples)
{
    m_fill.add(fillSamples, static_cast<double>(blockSamples));
    const double error = m_fill.value() - static_cast<double>(targetSamples(request));
    // Too full: make fewer samples.
    m_trim = 1.0 - std::clamp(error / kFullTrimError, -1.0, 1.0) * kMaxTrim;
    return m_trim;
}

void BusFillControl::reset()
{
    m_fill.clear();
    m_trim = 1.0;
}
