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
    return std::min(orDefault(request) / 2 + m_margin, m_capacity / 2);
}

uint64_t BusFillControl::largestMargin(uint64_t request) const
{
    const uint64_t halfBus = m_capacity / 2;
    const uint64_t halfRead = orDefault(request) / 2;
    return halfBus > halfRead ? halfBus - halfRead : 0;
}

bool BusFillControl::widenMargin(uint64_t shortfall, uint64_t request)
{
    const uint64_t steps = (shortfall + kMarginStepSamples - 1) / kMarginStepSamples;
    const uint64_t widened = m_margin + std::max<uint64_t>(steps, 1) * kMarginStepSamples;
    if (widened > largestMargin(request))
        return false;
    m_margin = widened;
    return true;
}

double BusFillControl::update(double fillSamples, uint64_t request, size_t blockSamples)
{
    const double target = static_cast<double>(targetSamples(request));
    const double excessLimit = target + static_cast<double>(orDefault(request));
    const bool firstRead = request > 0 && !m_consumerSeen;
    m_consumerSeen = request > 0;
    if (firstRead && fillSamples > excessLimit) {
        m_cutting = true;
        m_fill.clear();
    }
    m_fill.add(fillSamples, static_cast<double>(blockSamples));
    if (m_consumerSeen && m_fill.seen() >= kAverageSamples && m_fill.value() > excessLimit) {
        m_cutting = true;
        m_fill.clear();
    }
    const double error = m_fill.value() - target;
    // Too full: make fewer samples.
    m_trim = 1.0 - std::clamp(error / kFullTrimError, -1.0, 1.0) * kMaxTrim;
    return m_trim;
}

uint64_t BusFillControl::samplesToDrop(double fillSamples, uint64_t request, size_t blockSamples)
{
    if (!m_cutting)
        return 0;
    // Whole blocks go until the one that, written in part, leaves the bus at its target; the
    // reads come in whole requests, so it lands within half a read of it and the trim does the rest.
    const double beyond = fillSamples + static_cast<double>(blockSamples) - static_cast<double>(targetSamples(request));
    const auto drop = static_cast<uint64_t>(std::clamp(beyond, 0.0, static_cast<double>(blockSamples)));
    if (drop < blockSamples)
        m_cutting = false;
    return drop;
}

void BusFillControl::reset()
{
    m_fill.clear();
    m_trim = 1.0;
    m_consumerSeen = false;
    m_cutting = false;
}
