#include "SimReceiver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// A host that falls this far behind has lost samples, as the hardware would drop them.
constexpr auto kMaxLag = std::chrono::milliseconds(250);
// How long a stalled receiver keeps a read waiting before it reports the timeout.
constexpr auto kStallTimeout = std::chrono::milliseconds(100);

const char* const kNames[2] = {"RZ640 USB3 (simulated)", "RZ640_N Ethernet (simulated)"};
const char* const kStoredSerial = "RZ640S-000000";
const char* const kQueriedSerials[2] = {"RZ640S-7F3A21", "RZ640S-7F3A22"};

} // namespace

SimReceiver::SimReceiver(int32_t kind, const SimConfig& config, std::optional<Recording> recording)
    : m_kind(kind), m_config(config), m_recording(std::move(recording))
{
    std::snprintf(m_record.name, sizeof m_record.name, "%s", kNames[kind]);
    std::snprintf(m_record.serial, sizeof m_record.serial, "%s", kStoredSerial);
    m_record.samplesPerTransfer = config.samplesPerTransfer;
    m_record.callbackContext = this;
    if (config.serial != SimConfig::Serial::Absent)
        m_record.querySerial = querySerial;
    m_record.refreshInfo = refreshInfo;
    // The tone gate keys the stations against the clock, so they cannot come from a loop.
    if (!m_recording)
        m_renderer = std::make_unique<SceneRenderer>(
            Scene::instance(config.testTones ? Scene::Programme::TestTones : Scene::Programme::Music),
            NoiseTable::instance(), config.seed * 0x9E3779B97F4A7C15ull + kind,
            config.toneGateMs == 0 ? SceneRenderer::kLoopBytes : 0);
}

bool SimReceiver::querySerial(void* context, char* buffer)
{
    const auto* self = static_cast<SimReceiver*>(context);
    switch (self->m_config.serial) {
    case SimConfig::Serial::Fail:
        std::memcpy(buffer, "garbage", 7);
        return false;
    case SimConfig::Serial::Empty:
        return true;
    default:
        std::snprintf(buffer, kRzSerialBufferBytes, "%s", kQueriedSerials[self->m_kind]);
        return true;
    }
}

void SimReceiver::refreshInfo(void* context, void* infoArea)
{
    // Link type, firmware major and minor version, reserved.
    const auto* self = static_cast<SimReceiver*>(context);
    const uint8_t info[4] = {static_cast<uint8_t>(self->m_kind), 2, 7, 0};
    std::memcpy(infoArea, info, sizeof info);
}

void SimReceiver::changeTuning(void (*change)(Tuning&, uint64_t), uint64_t value)
{
    std::lock_guard lock(m_mutex);
    change(m_tuning, value);
    m_retuned = true;
}

void SimReceiver::setFrequency(uint64_t hz)
{
    changeTuning([](Tuning& t, uint64_t v) { t.centerHz = v; }, hz);
}

void SimReceiver::setPort(uint8_t port)
{
    changeTuning([](Tuning& t, uint64_t v) { t.frontEnd.port = static_cast<uint8_t>(v); }, port);
}

void SimReceiver::setSampleRate(uint32_t hz)
{
    std::lock_guard lock(m_mutex);
    m_tuning.sampleRateHz = hz == 0 ? 1 : hz;
    m_retuned = true;
    // Pacing restarts on the new clock.
    m_streamStart = Clock::now();
    m_delivered = 0;
}

void SimReceiver::setAttenuation(uint8_t db)
{
    changeTuning([](Tuning& t, uint64_t v) { t.frontEnd.attenuationDb = static_cast<uint8_t>(v); }, db);
}

void SimReceiver::setIfGain(uint8_t db)
{
    changeTuning([](Tuning& t, uint64_t v) { t.frontEnd.ifGainDb = static_cast<uint8_t>(v); }, db);
}

void SimReceiver::setPreamp(uint8_t db)
{
    changeTuning([](Tuning& t, uint64_t v) { t.frontEnd.preampDb = static_cast<uint8_t>(v); }, db);
}

void SimReceiver::startStreaming()
{
    std::lock_guard lock(m_mutex);
    m_streaming = true;
    m_reads = 0;
    m_streamStart = m_streamStarted = Clock::now();
    m_delivered = 0;
    m_stalled = false;
}

void SimReceiver::stopStreaming()
{
    {
        std::lock_guard lock(m_mutex);
        m_streaming = false;
    }
    m_wake.notify_all();
}

SimReceiver::Clock::duration SimReceiver::duration(uint64_t samples) const
{
    const double seconds = static_cast<double>(samples) / m_tuning.sampleRateHz;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void SimReceiver::renderGated(uint8_t* out, uint32_t samples)
{
    if (m_config.toneGateMs == 0) {
        m_renderer->render(out, samples);
        return;
    }
    // The tones sound in the first half of every gate period of the monotonic clock, switching
    // with the first sample that arrives at or after each half-period boundary.
    const double nsPerSample = 1e9 / m_tuning.sampleRateHz;
    const int64_t halfNs = int64_t{m_config.toneGateMs} * 500'000;
    const int64_t firstNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>((m_streamStart + duration(m_delivered)).time_since_epoch())
            .count();
    uint32_t done = 0;
    while (done < samples) {
        const int64_t half = (firstNs + static_cast<int64_t>(done * nsPerSample)) / halfNs;
        // The first sample of this read at or after the next boundary.
        const double next = std::ceil(static_cast<double>((half + 1) * halfNs - firstNs) / nsPerSample);
        const uint32_t end = static_cast<uint32_t>(std::clamp(next, done + 1.0, static_cast<double>(samples)));
        m_renderer->keyTones(half % 2 == 0);
        m_renderer->render(out + 4 * std::size_t{done}, end - done);
        done = end;
    }
}

std::optional<SimReceiver::Clock::time_point> SimReceiver::stallEnd(Clock::time_point now) const
{
    for (const SimConfig::Stall& stall : m_config.stalls) {
        const Clock::time_point from = m_streamStarted + std::chrono::milliseconds(stall.afterMs);
        const Clock::time_point to = from + std::chrono::milliseconds(stall.durationMs);
        if (now >= from && now < to)
            return to;
    }
    return std::nullopt;
}

bool SimReceiver::read(void* buffer, uint32_t lengthBytes)
{
    if (buffer == nullptr || lengthBytes == 0 || lengthBytes % 4 != 0)
        return false;
    std::unique_lock lock(m_mutex);
    if (!m_streaming)
        return false;
    ++m_reads;
    if (m_config.failAllReads || (m_config.failEveryNthRead != 0 && m_reads % m_config.failEveryNthRead == 0))
        return false;
    if (m_config.stallAfterReads != 0 && m_reads > m_config.stallAfterReads) {
        m_wake.wait_for(lock, kStallTimeout, [this] { return !m_streaming; });
        return false;
    }
    if (const std::optional<Clock::time_point> end = stallEnd(Clock::now())) {
        // A receiver that holds up: the read times out, or returns empty when the stall ends.
        m_wake.wait_until(lock, std::min(*end, Clock::now() + kStallTimeout), [this] { return !m_streaming; });
        m_stalled = true;
        return false;
    }
    if (m_stalled) {
        // The stream carries on at the current time; what the stall held is lost.
        m_streamStart = Clock::now() - duration(m_delivered);
        m_stalled = false;
    }

    const uint32_t samples = lengthBytes / 4;
    auto* out = static_cast<uint8_t*>(buffer);
    if (m_recording) {
        m_recording->read(out, samples);
    } else {
        if (m_retuned) {
            m_renderer->tune(m_tuning);
            m_retuned = false;
        }
        renderGated(out, samples);
    }

    if (m_config.realTime) {
        const Clock::time_point due = m_streamStart + duration(m_delivered + samples);
        const Clock::time_point now = Clock::now();
        if (now > due + kMaxLag)
            m_streamStart = now - duration(m_delivered + samples);
        else if (m_wake.wait_until(lock, due, [this] { return !m_streaming; }))
            return false;
    }
    m_delivered += samples;
    return true;
}
