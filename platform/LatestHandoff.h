#pragma once

#include <mutex>
#include <optional>
#include <utility>

// Hands the newest of a stream of values from one thread to another. A value not yet taken
// when the next one arrives is replaced, so a taker that falls behind finds the latest value
// instead of a backlog that grows without bound and takes ever longer to work off.
template <typename T>
class LatestHandoff {
public:
    // True when nothing was waiting: the taker has to be told once.
    bool put(T value)
    {
        const std::lock_guard lock(m_mutex);
        const bool wasEmpty = !m_value.has_value();
        m_value = std::move(value);
        return wasEmpty;
    }

    std::optional<T> take()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_value, std::nullopt);
    }

private:
    std::mutex m_mutex;
    std::optional<T> m_value;
};
