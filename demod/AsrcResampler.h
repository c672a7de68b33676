#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

struct SRC_STATE_tag;

// Rate limits for the resamplers' console messages and their statistics window. The
// channel's resamplers share one record for the process; tests give their own.
struct AsrcDiagnostics {
    using Clock = std::chrono::steady_clock;

    static AsrcDiagnostics& shared();

    bool ratioMessagePrinted = false;
    Clock::time_point lastRatioMessage{};
    uint64_t calls = 0;
    uint64_t inputFrames = 0;
    uint64_t usedFrames = 0;
    uint64_t outputFrames = 0;
    uint64_t issues = 0;
    Clock::time_point windowStart = Clock::now();
};

// One-channel asynchronous resampler with a variable ratio (output rate / input rate),
// converting with the fastest band-limited sinc of the sample-rate library.
class AsrcResampler {
public:
    explicit AsrcResampler(double outputRateHz, AsrcDiagnostics& diagnostics = AsrcDiagnostics::shared());
    ~AsrcResampler();
    AsrcResampler(const AsrcResampler&) = delete;
    AsrcResampler& operator=(const AsrcResampler&) = delete;

    void reset();
    // Returns the number of outputs; consumed (if given) receives the inputs used.
    // Input that is not consumed is the caller's to keep or lose.
    size_t process(const float* in, size_t inCount, float* out, size_t outCapacity, double ratio,
                   size_t* consumed = nullptr);

    bool valid() const { return m_state != nullptr; }
    double lastRatio() const { return m_lastRatio; }
    double outputRateHz() const { return m_outputRateHz; }

private:
    void account(size_t inCount, size_t used, size_t generated, size_t outCapacity, double ratio);

    double m_outputRateHz;
    AsrcDiagnostics& m_diag;
    SRC_STATE_tag* m_state = nullptr;
    double m_lastRatio = 0.0;
};
