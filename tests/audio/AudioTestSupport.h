#pragma once

#include "audio/AsioBackend.h"
#include "audio/AsioLog.h"
#include "demod/AudioBus.h"
#include "tests/audio/AsioTestRegistry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// Keeps what the backend logs.
class LogCapture {
public:
    AsioLogSink sink()
    {
        return [this](AsioLogLevel level, const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back({level, text});
        };
    }
    std::vector<std::string> texts() const
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> texts;
        for (const auto& line : m_lines)
            texts.push_back(line.text);
        return texts;
    }
    bool contains(const std::string& text, AsioLogLevel level = AsioLogLevel::Info) const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& line : m_lines) {
            if (line.text == text && line.level == level)
                return true;
        }
        return false;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    struct Line {
        AsioLogLevel level;
        std::string text;
    };
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
};

// A backend over a registry folder of the test's own, playing a two-slot bus.
class BackendTest : public testing::Test {
protected:
    bool open(const std::string& name, int frames, const std::vector<int>& map)
    {
        return backend.open(name, 48000, frames, &bus, map, &underruns);
    }

    TestFolder registry{"asio-backend"};
    LogCapture log;
    AudioBus bus{2400};
    size_t left = bus.addSlot();
    size_t right = bus.addSlot();
    std::atomic<uint64_t> underruns{0};
    AsioBackend backend{{registry.path()}, log.sink()};
};
