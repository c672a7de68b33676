#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

// Watches the analyser from a thread of its own. Once a second it writes what the process holds
// (resident memory, open descriptors, threads) to a file, and checks that the GUI thread and
// each worker are still heard from while they should be: a silence longer than the limit is a
// deadlock, which it reports with every thread's state before ending the process (the GUI thread
// may be the one that is stuck, so nothing else could end it).
class SoakWatch {
public:
    // The GUI thread is heard through a timer of its own; the workers through their status lines.
    enum Source { Gui, Rx, Spectrum, Demod, kSources };

    struct Sample {
        double seconds = 0.0;
        long residentKb = 0;
        int descriptors = 0;
        int threads = 0;
    };

    SoakWatch(const std::string& samplesPath, std::chrono::seconds limit);
    ~SoakWatch();
    SoakWatch(const SoakWatch&) = delete;
    SoakWatch& operator=(const SoakWatch&) = delete;

    // Called from the GUI thread.
    void heard(Source source);
    // The source must be heard within the limit (counted from when it became expected), or need
    // not be.
    void expect(Source source, bool expected);
    // The thread behind the source started again: the limit counts from now.
    void restart(Source source);

    Sample sample() const;
    // The longest silence of each source while it was expected, in seconds.
    double longestSilence(Source source) const;
    static const char* name(Source source);

private:
    void run();
    void check(int64_t now);
    [[noreturn]] void deadlock(Source source, double silentSeconds);
    int64_t nowNs() const;

    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    const int64_t m_limitNs;
    std::ofstream m_samples;
    // Monotonic ns since the start; 0 in expectedSince means not expected.
    std::array<std::atomic<int64_t>, kSources> m_lastHeard{};
    std::array<std::atomic<int64_t>, kSources> m_expectedSince{};
    std::array<std::atomic<int64_t>, kSources> m_longestSilence{};

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};
