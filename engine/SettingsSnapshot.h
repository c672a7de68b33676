#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// The latest settings record, handed whole from the threads that change settings to a worker
// thread. The worker looks at a version number once per block and copies the record only when
// it changed, under a lock held for just the copy; a block without a change costs one atomic
// load, no lock and no allocation.
template <typename T>
class SettingsSnapshot {
public:
    explicit SettingsSnapshot(const T& initial = T{}) : m_latest(initial) {}

    void publish(const T& value)
    {
        const std::lock_guard lock(m_mutex);
        m_latest = value;
        m_version.store(m_version.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }

    T latest() const
    {
        const std::lock_guard lock(m_mutex);
        return m_latest;
    }

    // Copies the latest record into current when it is newer than the version seen, which it
    // then becomes; true when it copied. A reader starts from version 0, so its first look copies.
    bool refresh(uint64_t& seen, T& current) const
    {
        if (m_version.load(std::memory_order_acquire) == seen)
            return false;
        const std::lock_guard lock(m_mutex);
        seen = m_version.load(std::memory_order_relaxed);
        current = m_latest;
        return true;
    }

private:
    mutable std::mutex m_mutex;
    T m_latest;
    std::atomic<uint64_t> m_version{1};
};
