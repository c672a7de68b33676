#include "display/TraceMemories.h"

namespace {

bool isSlot(int slot)
{
    return slot >= 0 && slot < TraceMemories::kStoredSlots;
}

} // namespace

void TraceMemories::store(int slot, const TraceView& trace)
{
    if (!isSlot(slot) || trace.levelsDb == nullptr)
        return;
    Stored& s = m_stored[static_cast<std::size_t>(slot)];
    s.levels.assign(trace.levelsDb, trace.levelsDb + trace.bins);
    s.startHz = trace.startHz;
    s.binHz = trace.binHz;
}

void TraceMemories::clear(int slot)
{
    if (isSlot(slot))
        m_stored[static_cast<std::size_t>(slot)].levels.clear();
}

bool TraceMemories::holds(int slot) const
{
    return isSlot(slot) && !m_stored[static_cast<std::size_t>(slot)].levels.empty();
}

const std::vector<float>* TraceMemories::storedAt(int slot, double startHz, double binHz) const
{
    if (!holds(slot))
        return nullptr;
    const Stored& s = m_stored[static_cast<std::size_t>(slot)];
    return s.startHz == startHz && s.binHz == binHz ? &s.levels : nullptr;
}
