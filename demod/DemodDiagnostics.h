#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string_view>

// Where the demodulation stages' bracketed console lines go, together with the records that
// keep some of them to once per process or once per second. The process has one, writing to
// standard output; a test hands its blocks a sink of its own and reads what arrived there.
// Lines may come from several threads (the channel's thread, the controller's threads).
class DemodDiagnostics {
public:
    using Clock = std::chrono::steady_clock;

    DemodDiagnostics() = default;
    virtual ~DemodDiagnostics() = default;
    DemodDiagnostics(const DemodDiagnostics&) = delete;
    DemodDiagnostics& operator=(const DemodDiagnostics&) = delete;

    // The process's sink: every line unchanged on standard output.
    static DemodDiagnostics& standardOutput();

    // Formats one line by printf rules and writes it.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // True exactly once: the demodulator describes its first mono input and no later one.
    bool claimFirstMonoReport();
    // True when the decimator configuration differs from the one reported last, which it then
    // becomes.
    bool decimatorConfigChanged(double inputRateHz, double outputRateHz, int32_t r);
    // True when no "Ratio changed" line went out within the last second; the caller prints one.
    bool claimRatioMessage();
    // Adds one resampler call to the statistics window and prints the issue line when a window
    // of at least 1 s with an issue ends. An issue is a full output or an unconsumed input.
    void countResamplerCall(size_t inCount, size_t used, size_t generated, size_t outCapacity, double ratio);

protected:
    // One formatted line, its newline included.
    virtual void write(std::string_view line);
    // The clock of the once-per-second limits.
    virtual Clock::time_point now() const { return Clock::now(); }

private:
    std::mutex m_mutex;
    bool m_monoReported = false;
    double m_reportedInputHz = -1.0;
    double m_reportedOutputHz = -1.0;
    int32_t m_reportedR = 0;
    bool m_ratioMessageSent = false;
    Clock::time_point m_lastRatioMessage{};
    bool m_windowStarted = false;
    Clock::time_point m_windowStart{};
    uint64_t m_calls = 0;
    uint64_t m_inputFrames = 0;
    uint64_t m_usedFrames = 0;
    uint64_t m_outputFrames = 0;
    uint64_t m_issues = 0;
};
