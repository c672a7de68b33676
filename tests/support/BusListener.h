#pragma once

// The audio a demodulation channel puts on its bus, read as the audio output would read it.
#include "demod/SingleDemodChannel.h"
#include "tests/support/EventWait.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

struct Audio {
    std::vector<float> left;
    std::vector<float> right;
};

// Reads the channel's bus on a thread of its own every 2 ms, taking what each slot holds.
class BusListener {
public:
    explicit BusListener(SingleDemodChannel& channel) : m_channel(channel), m_thread([this] { run(); }) {}
    ~BusListener()
    {
        m_running = false;
        m_thread.join();
    }

    // Audio collected since the last take.
    Audio take()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_audio, {});
    }

    // The next `seconds` of audio, from now on: however long a busy machine takes to make them,
    // up to the wait for an event, after which it is what came.
    Audio next(double seconds)
    {
        take();
        const auto wanted = static_cast<size_t>(seconds * 48000.0);
        (void)QTest::qWaitFor([&] { return held() >= wanted; }, kEventWaitMs);
        return take();
    }

private:
    // The left side's: the right one holds audio only in stereo.
    size_t held()
    {
        const std::lock_guard lock(m_mutex);
        return m_audio.left.size();
    }

    void run()
    {
        AudioBus& bus = m_channel.audioBus();
        std::vector<float> chunk(bus.capacity());
        while (m_running.load()) {
            for (auto [slot, side] : {std::pair{m_channel.leftSlot(), &Audio::left}, {m_channel.rightSlot(), &Audio::right}}) {
                // Exactly what is there: reading more would move the reader past the writer.
                const auto available = static_cast<size_t>(std::lround(bus.fill(slot) * bus.capacity()));
                const size_t got = bus.read(slot, chunk.data(), available);
                const std::lock_guard lock(m_mutex);
                (m_audio.*side).insert((m_audio.*side).end(), chunk.begin(), chunk.begin() + got);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    SingleDemodChannel& m_channel;
    std::mutex m_mutex;
    Audio m_audio;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};

