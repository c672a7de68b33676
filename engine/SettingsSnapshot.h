#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// The latest settings record, handed whole from the thread that changes settings to a worker
// thread. The worker looks at a version number once per block and copies the record only when
// it changed, so a block costs one atomic load: no lock, no allocation.
template <typename T>
class SettingsSnapshot {
public:
    explicit SettingsSnapshot(const T& initial = T{}) : m_latest(std::make_shared<const T>(initial)) {}

    void publish(const T& value)
    {
        m_latest.store(std::make_shared<const T>(value));
        m_version.fetch_add(1, std::memory_order_acq_rel);
    }

    T latest() const { return *m_latest.load(); }

    // Copies the latest record into current when it is newer than the version seen, which it
    // then becomes; true when it copied. A reader starts from version 0, so its first look copies.
    bool refresh(uint64_t& seen, T& current) const
    {
        const uint64_t version = m_version.load(std::memory_order_acquire);
        if (version == seen)
            return false;
        seen = version;
        current = *m_latest.load();
        return true;
    }

private:
    std::atomic<std::shared_ptr<const T>> m_latest;
    std::atomic<uint64_t> m_version{1};
};
