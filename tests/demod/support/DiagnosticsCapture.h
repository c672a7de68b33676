#pragma once

#include "demod/DemodDiagnostics.h"

#include <mutex>
#include <string>
#include <utility>

// A diagnostics sink that keeps every line for the test to read, on a clock the test moves.
class DiagnosticsCapture : public DemodDiagnostics {
public:
    // Everything received so far.
    std::string text() const
    {
        const std::lock_guard lock(m_mutex);
        return m_text;
    }
    // Everything received since the last take.
    std::string take()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_text, {});
    }
    bool contains(const std::string& part) const { return text().find(part) != std::string::npos; }

    void advance(Clock::duration d)
    {
        const std::lock_guard lock(m_mutex);
        m_now += d;
    }

protected:
    void write(std::string_view line) override
    {
        const std::lock_guard lock(m_mutex);
        m_text.append(line);
    }
    Clock::time_point now() const override
    {
        const std::lock_guard lock(m_mutex);
        return m_now;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_text;
    Clock::time_point m_now = Clock::time_point{} + std::chrono::hours(1);
};
