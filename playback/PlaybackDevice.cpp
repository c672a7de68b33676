#include "playback/PlaybackDevice.h"

#include "acquisition/IqSample.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Further behind the clock than this (the analysis was busy), paced playback goes on from
// where it is instead of racing to catch up.
constexpr int64_t kMaxLagNs = 250'000'000;

std::string fileName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

PlaybackDevice::PlaybackDevice(std::unique_ptr<PlaybackClock> clock) : m_clock(std::move(clock)) {}

void PlaybackDevice::load(std::unique_ptr<RecordingFile> file)
{
    m_playing = false;
    const std::lock_guard lock(m_mutex);
    m_name = file ? "Recording " + fileName(file->info().dataPath) : std::string();
    m_file = std::move(file);
    m_atEnd = false;
    m_error.clear();
    restartPacing();
}

void PlaybackDevice::restartPacing()
{
    m_paceStartNs = m_clock->nowNs();
    m_pacedSamples = 0;
}

void PlaybackDevice::play()
{
    const std::lock_guard lock(m_mutex);
    if (!m_file)
        return;
    // Play at the end starts over.
    if (m_atEnd || m_file->position() >= m_file->lengthSamples())
        m_file->seek(0);
    m_atEnd = false;
    restartPacing();
    m_playing = true;
}

void PlaybackDevice::pause()
{
    m_playing = false;
}

void PlaybackDevice::seek(uint64_t sample)
{
    const std::lock_guard lock(m_mutex);
    if (!m_file)
        return;
    m_file->seek(sample);
    m_atEnd = false;
    restartPacing();
}

void PlaybackDevice::setSpeed(double multiple)
{
    const std::lock_guard lock(m_mutex);
    m_speed = multiple;
    restartPacing();
}

uint64_t PlaybackDevice::centerAtPosition() const
{
    const std::size_t capture = m_file->captureAt(std::min(m_file->position(), m_file->lengthSamples() - 1));
    return m_file->info().captures[capture].frequencyHz;
}

PlaybackStatus PlaybackDevice::status()
{
    const std::lock_guard lock(m_mutex);
    PlaybackStatus status;
    status.playing = m_playing.load();
    status.streaming = m_streaming.load();
    status.deliveredSamples = m_delivered.load();
    status.error = m_error;
    if (!m_file)
        return status;
    status.loaded = true;
    status.atEnd = m_atEnd;
    status.positionSamples = m_file->position();
    status.lengthSamples = m_file->lengthSamples();
    status.sampleRateHz = m_file->info().sampleRateHz;
    const RecordingCapture& capture =
        m_file->info().captures[m_file->captureAt(std::min(status.positionSamples, status.lengthSamples - 1))];
    status.centerHz = capture.frequencyHz;
    status.captureUtcMicroseconds = capture.utcMicroseconds;
    status.captureStartSample = capture.sampleStart;
    status.retuneNeeded = m_streaming.load() && capture.frequencyHz != m_runCenterHz;
    return status;
}

bool PlaybackDevice::open()
{
    const std::lock_guard lock(m_mutex);
    if (!m_file)
        throw std::runtime_error("Recording: no file chosen");
    return true;
}

void PlaybackDevice::close()
{
    stopStreaming();
}

bool PlaybackDevice::startStreaming()
{
    const std::lock_guard lock(m_mutex);
    if (!m_file)
        return false;
    m_runCenterHz = centerAtPosition();
    restartPacing();
    m_streaming = true;
    return true;
}

void PlaybackDevice::stopStreaming()
{
    m_streaming = false;
}

int32_t PlaybackDevice::actualSampleRate()
{
    const std::lock_guard lock(m_mutex);
    return m_file ? static_cast<int32_t>(m_file->info().sampleRateHz) : 0;
}

uint64_t PlaybackDevice::actualCenterFrequency()
{
    const std::lock_guard lock(m_mutex);
    return m_file ? centerAtPosition() : 0;
}

std::string PlaybackDevice::deviceName()
{
    const std::lock_guard lock(m_mutex);
    return m_name;
}

FrontEndInfo PlaybackDevice::frontEnd()
{
    FrontEndInfo info;
    info.backend = kBackend;
    const std::lock_guard lock(m_mutex);
    if (m_file) {
        const double rate = m_file->info().sampleRateHz;
        info.rates.push_back({rate, rate, 0.0});
    }
    return info;
}

bool PlaybackDevice::waitForTurn(std::size_t pairs)
{
    while (m_streaming.load() && m_playing.load()) {
        const double speed = m_speed.load();
        if (speed == kSpeedMax) {
            if (!m_room || m_room(pairs * kIqSampleBytes))
                return true;
            m_clock->sleepFor(kRoomWaitNs);
            continue;
        }
        int64_t waitNs = 0;
        {
            const std::lock_guard lock(m_mutex);
            if (!m_file)
                return false;
            const double samplesPerNs = m_file->info().sampleRateHz * speed * 1e-9;
            const int64_t now = m_clock->nowNs();
            const auto due =
                m_paceStartNs + static_cast<int64_t>(static_cast<double>(m_pacedSamples + pairs) / samplesPerNs);
            waitNs = due - now;
            if (waitNs <= 0) {
                if (-waitNs > kMaxLagNs)
                    restartPacing();
                m_pacedSamples += pairs;
                return true;
            }
        }
        m_clock->sleepFor(std::min(waitNs, kIdleWaitNs));
    }
    return false;
}

bool PlaybackDevice::readRun(int16_t* out, std::size_t pairs)
{
    std::size_t done = 0;
    while (done < pairs) {
        uint64_t position = m_file->position();
        if (position >= m_file->lengthSamples()) {
            if (!m_loop.load()) {
                m_atEnd = true;
                break;
            }
            m_file->seek(0);
            position = 0;
        }
        const std::size_t capture = m_file->captureAt(position);
        if (m_file->info().captures[capture].frequencyHz != m_runCenterHz)
            break;
        const auto n = static_cast<std::size_t>(std::min<uint64_t>(pairs - done, m_file->captureEnd(capture) - position));
        done += m_file->read(out + 2 * done, n);
    }
    if (done == pairs)
        return true;
    m_lostSamples += done;
    return false;
}

bool PlaybackDevice::readSamples(uint8_t* buffer, uint32_t lengthBytes)
{
    if (!m_streaming.load() || buffer == nullptr || lengthBytes % kIqSampleBytes != 0)
        return false;
    const std::size_t pairs = lengthBytes / kIqSampleBytes;
    bool waiting = !m_playing.load();
    {
        const std::lock_guard lock(m_mutex);
        waiting = waiting || !m_file || m_atEnd || !m_error.empty() || centerAtPosition() != m_runCenterHz;
    }
    if (waiting) {
        m_clock->sleepFor(kIdleWaitNs);
        return false;
    }
    if (!waitForTurn(pairs))
        return false;
    const std::lock_guard lock(m_mutex);
    if (!m_file)
        return false;
    try {
        if (!readRun(reinterpret_cast<int16_t*>(buffer), pairs))
            return false;
    } catch (const std::runtime_error& e) {
        m_error = e.what();
        m_playing = false;
        return false;
    }
    m_delivered += pairs;
    return true;
}
