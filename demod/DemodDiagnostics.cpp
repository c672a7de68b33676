#include "demod/DemodDiagnostics.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr auto kMessageInterval = std::chrono::seconds(1);

} // namespace

DemodDiagnostics& DemodDiagnostics::standardOutput()
{
    static DemodDiagnostics sink;
    return sink;
}

void DemodDiagnostics::print(const char* format, ...)
{
    // Every line is short; a longer one is cut rather than allocated for.
    char text[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0)
        write(std::string_view(text, std::min(static_cast<size_t>(n), sizeof text - 1)));
}

void DemodDiagnostics::write(std::string_view line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
}

bool DemodDiagnostics::claimFirstMonoReport()
{
    const std::lock_guard lock(m_mutex);
    const bool first = !m_monoReported;
    m_monoReported = true;
    return first;
}

bool DemodDiagnostics::decimatorConfigChanged(double inputRateHz, double outputRateHz, int32_t r)
{
    const std::lock_guard lock(m_mutex);
    if (m_reportedInputHz == inputRateHz && m_reportedOutputHz == outputRateHz && m_reportedR == r)
        return false;
    m_reportedInputHz = inputRateHz;
    m_reportedOutputHz = outputRateHz;
    m_reportedR = r;
    return true;
}

bool DemodDiagnostics::claimRatioMessage()
{
    const Clock::time_point t = now();
    const std::lock_guard lock(m_mutex);
    if (m_ratioMessageSent && t - m_lastRatioMessage < kMessageInterval)
        return false;
    m_ratioMessageSent = true;
    m_lastRatioMessage = t;
    return true;
}

void DemodDiagnostics::countResamplerCall(size_t inCount, size_t used, size_t generated, size_t outCapacity,
                                          double ratio)
{
    const Clock::time_point t = now();
    std::unique_lock lock(m_mutex);
    if (!m_windowStarted) {
        m_windowStarted = true;
        m_windowStart = t;
    }
    ++m_calls;
    m_inputFrames += inCount;
    m_usedFrames += used;
    m_outputFrames += generated;
    if (generated == outCapacity || used < inCount)
        ++m_issues;
    if (t - m_windowStart < kMessageInterval)
        return;
    const uint64_t calls = m_calls;
    const uint64_t issues = m_issues;
    const auto perCall = [calls](uint64_t frames) { return static_cast<double>(frames) / static_cast<double>(calls); };
    const double avgIn = perCall(m_inputFrames);
    const double avgUsed = perCall(m_usedFrames);
    const double avgOut = perCall(m_outputFrames);
    m_calls = m_inputFrames = m_usedFrames = m_outputFrames = m_issues = 0;
    m_windowStart = t;
    lock.unlock();
    if (issues > 0)
        print("[AsrcResampler] ISSUE: calls=%llu, avgIn=%.0f, avgInUsed=%.0f, avgOut=%.0f, issues=%llu, ratio=%.6f\n",
              static_cast<unsigned long long>(calls), avgIn, avgUsed, avgOut, static_cast<unsigned long long>(issues),
              ratio);
}
