#include "display/SpectrumItem.h"

#include <algorithm>
#include <cmath>
#include <mutex>

// What the view shows and how: its level scales, its layers and the traces stored beside the live one.

namespace {

template <typename T>
bool assignIfChanged(T& member, T value)
{
    if (member == value)
        return false;
    member = value;
    return true;
}

} // namespace

bool SpectrumItem::assignScale(float& member, float value)
{
    if (qFuzzyCompare(member, value))
        return false;
    member = value;
    return true;
}

void SpectrumItem::setMinDb(float minDb)
{
    if (!assignScale(m_settings.minDb, minDb))
        return;
    emit minDbChanged();
    update();
}

void SpectrumItem::setMaxDb(float maxDb)
{
    if (!assignScale(m_settings.maxDb, maxDb))
        return;
    emit maxDbChanged();
    update();
}

void SpectrumItem::setWaterfallMinDb(float minDb)
{
    if (!assignScale(m_settings.waterfallMinDb, minDb))
        return;
    emit waterfallMinDbChanged();
    update();
}

void SpectrumItem::setWaterfallMaxDb(float maxDb)
{
    if (!assignScale(m_settings.waterfallMaxDb, maxDb))
        return;
    emit waterfallMaxDbChanged();
    update();
}

void SpectrumItem::setDemo(bool demo)
{
    if (!assignIfChanged(m_demo, demo))
        return;
    emit demoChanged();
}

void SpectrumItem::setDensityEnabled(bool enabled)
{
    if (!assignIfChanged(m_settings.densityEnabled, enabled))
        return;
    emit densityEnabledChanged();
    update();
}

void SpectrumItem::setDensityPalette(int palette)
{
    palette = std::clamp(palette, 0, 2);
    if (!assignIfChanged(m_settings.densityPalette, palette))
        return;
    emit densityPaletteChanged();
    update();
}

void SpectrumItem::setMinHoldEnabled(bool enabled)
{
    if (!assignIfChanged(m_settings.minHoldEnabled, enabled))
        return;
    m_memories.resetMinHold();
    update();
    emit minHoldEnabledChanged();
}

void SpectrumItem::resetMinHold()
{
    m_memories.resetMinHold();
    update();
}

int SpectrumItem::storedTraces() const
{
    int bits = 0;
    for (int slot = 0; slot < TraceMemories::kStoredSlots; ++slot)
        bits |= m_memories.holds(slot) ? 1 << slot : 0;
    return bits;
}

void SpectrumItem::storeTrace(int slot)
{
    {
        std::lock_guard lock(m_frameMutex);
        m_memories.store(slot, traceViewOf(m_frame));
    }
    update();
    emit storedTracesChanged();
}

void SpectrumItem::clearStoredTrace(int slot)
{
    m_memories.clear(slot);
    update();
    emit storedTracesChanged();
}

void SpectrumItem::setPeakLineEnabled(bool enabled)
{
    if (!assignIfChanged(m_settings.peakLineEnabled, enabled))
        return;
    emit peakLineEnabledChanged();
    update();
}

void SpectrumItem::setWaterfallEnabled(bool enabled)
{
    if (!assignIfChanged(m_settings.waterfallEnabled, enabled))
        return;
    emit waterfallEnabledChanged();
    update();
}

void SpectrumItem::setWaterfallHeightRatio(double ratio)
{
    ratio = std::clamp(ratio, 0.1, 0.7);
    if (std::abs(ratio - m_settings.waterfallHeightRatio) < 1e-6)
        return;
    m_settings.waterfallHeightRatio = ratio;
    emit waterfallHeightRatioChanged();
    update();
}
