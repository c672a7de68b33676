#include "demod/AudioBus.h"

#include <algorithm>

AudioBusSlot::AudioBusSlot(uint64_t capacity)
    : m_capacity(capacity)
    , m_storage(std::make_unique<std::atomic<float>[]>(capacity))
{
    for (uint64_t k = 0; k < capacity; ++k)
        m_storage[k].store(0.0f, std::memory_order_relaxed);
}

uint64_t AudioBusSlot::available() const
{
    const uint64_t w = m_writePos.load(std::memory_order_acquire);
    const uint64_t r = m_readPos.load(std::memory_order_relaxed);
    return w < r ? 0 : std::min(m_capacity, w - r);
}

uint64_t AudioBusSlot::deficit() const
{
    const uint64_t w = m_writePos.load(std::memory_order_acquire);
    const uint64_t r = m_readPos.load(std::memory_order_relaxed);
    return r > w ? r - w : 0;
}

void AudioBusSlot::skipAhead(uint64_t n)
{
    const uint64_t w = m_writePos.load(std::memory_order_relaxed);
    // Whatever the reader may still reach of the skipped stretch must be silence; beyond the
    // last capacity samples the storage holds nothing else.
    const uint64_t zeros = std::min(n, m_capacity);
    uint64_t at = (w + n - zeros) % m_capacity;
    for (uint64_t k = 0; k < zeros; ++k) {
        m_storage[at].store(0.0f, std::memory_order_relaxed);
        at = at + 1 == m_capacity ? 0 : at + 1;
    }
    m_writePos.store(w + n, std::memory_order_release);
}

size_t AudioBusSlot::write(const float* samples, size_t count)
{
    const uint64_t w = m_writePos.load(std::memory_order_relaxed);
    uint64_t r = m_readPos.load(std::memory_order_relaxed);
    uint64_t a = w < r ? 0 : w - r;
    if (a + count > m_capacity) {
        // Drop only audio that is actually held: moving the reader past the writer would
        // make it skip the start of the very block stored now.
        r += std::min<uint64_t>(a, a + count - m_capacity);
        m_readPos.store(r, std::memory_order_relaxed);
        a = w < r ? 0 : w - r;
    }
    const uint64_t space = a < m_capacity ? m_capacity - a : 0;
    const auto n = static_cast<size_t>(std::min<uint64_t>(count, space));
    uint64_t at = w % m_capacity;
    for (size_t k = 0; k < n; ++k) {
        m_storage[at].store(samples[k], std::memory_order_relaxed);
        at = at + 1 == m_capacity ? 0 : at + 1;
    }
    m_writePos.store(w + n, std::memory_order_release);
    return n;
}

size_t AudioBusSlot::read(float* out, size_t count)
{
    const uint64_t r = m_readPos.load(std::memory_order_relaxed);
    const uint64_t w = m_writePos.load(std::memory_order_acquire);
    const uint64_t a = w < r ? 0 : std::min(m_capacity, w - r);
    const auto m = static_cast<size_t>(std::min<uint64_t>(a, count));
    uint64_t at = r % m_capacity;
    for (size_t k = 0; k < m; ++k) {
        out[k] = m_storage[at].load(std::memory_order_relaxed);
        at = at + 1 == m_capacity ? 0 : at + 1;
    }
    std::fill(out + m, out + count, 0.0f);
    m_readPos.store(r + count, std::memory_order_relaxed);
    m_lastRequest.store(count, std::memory_order_relaxed);
    return m;
}

void AudioBusSlot::clear()
{
    m_writePos.store(0, std::memory_order_relaxed);
    m_readPos.store(0, std::memory_order_relaxed);
    m_lastRequest.store(0, std::memory_order_relaxed);
    for (uint64_t k = 0; k < m_capacity; ++k)
        m_storage[k].store(0.0f, std::memory_order_relaxed);
}

AudioBus::AudioBus(uint64_t capacity)
    : m_capacity(capacity)
{
}

size_t AudioBus::addSlot()
{
    std::lock_guard lock(m_mutex);
    m_slots.push_back(std::make_unique<AudioBusSlot>(m_capacity));
    return m_slots.size() - 1;
}

AudioBusSlot* AudioBus::find(size_t slot) const
{
    std::lock_guard lock(m_mutex);
    return slot < m_slots.size() ? m_slots[slot].get() : nullptr;
}

size_t AudioBus::write(size_t slot, const float* samples, size_t count)
{
    if (!samples || count == 0 || m_capacity == 0)
        return 0;
    AudioBusSlot* s = find(slot);
    return s ? s->write(samples, count) : 0;
}

size_t AudioBus::read(size_t slot, float* out, size_t count)
{
    if (!out || count == 0 || m_capacity == 0)
        return 0;
    AudioBusSlot* s = find(slot);
    if (!s) {
        std::fill(out, out + count, 0.0f);
        return 0;
    }
    return s->read(out, count);
}

double AudioBus::fill(size_t slot) const
{
    if (m_capacity == 0)
        return 0.0;
    const AudioBusSlot* s = find(slot);
    return s ? static_cast<double>(s->available()) / static_cast<double>(m_capacity) : 0.0;
}

uint64_t AudioBus::deficit(size_t slot) const
{
    const AudioBusSlot* s = find(slot);
    return s ? s->deficit() : 0;
}

void AudioBus::clear()
{
    std::lock_guard lock(m_mutex);
    for (auto& s : m_slots)
        s->clear();
}

bool AudioBus::realignAfterUnderrun(size_t leadSlot, uint64_t lead)
{
    if (m_capacity == 0)
        return false;
    std::lock_guard lock(m_mutex);
    if (leadSlot >= m_slots.size())
        return false;
    const uint64_t behind = m_slots[leadSlot]->deficit();
    if (behind == 0)
        return false;
    for (auto& s : m_slots)
        s->skipAhead(behind + lead);
    return true;
}

uint64_t AudioBus::lastRequest(size_t slot) const
{
    const AudioBusSlot* s = find(slot);
    return s ? s->lastRequest() : 0;
}
