// Audio output: when the backend is opened and closed, with which driver, buffer size and
// channel map; the wait for the demodulator's first audio; the restarts after a change of an
// audio setting; and the queries the user interface fills its audio settings from.
#include "app/RtsaController.h"

#include "audio/AudioSettingTable.h"
#include "demod/AudioRate.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kAudioRate = static_cast<int>(kAudioRateHz);
// The prefill wait: polls of the audio bus, until it holds more than this fraction.
constexpr int kPrefillPolls = 30;
constexpr auto kPrefillPoll = 10ms;
constexpr double kPrefillTarget = 0.05;
constexpr auto kRestartPause = AudioControlState::kRestartPause;

// Which bus slot each driver output plays: the left and right signals on their own outputs in
// stereo, else the mono signal on the chosen output (or the first, when the driver lacks it).
struct ChannelRouting {
    std::vector<int> map;
    bool sameStereoOutputs = false;
};

struct RoutingRequest {
    std::size_t outputs;
    bool stereo;
    int left;
    int right;
    int mono;
    int leftSlot;
    int rightSlot;
};

ChannelRouting routeChannels(const RoutingRequest& r)
{
    ChannelRouting routing;
    routing.map.assign(r.outputs, -1);
    if (r.outputs == 0)
        return routing;
    const auto exists = [&r](int output) { return output >= 0 && static_cast<std::size_t>(output) < r.outputs; };
    const auto at = [&routing](int output) -> int& { return routing.map[static_cast<std::size_t>(output)]; };
    if (r.stereo && r.left >= 0 && r.right >= 0) {
        routing.sameStereoOutputs = r.left == r.right;
        if (exists(r.left))
            at(r.left) = r.leftSlot;
        if (!routing.sameStereoOutputs && exists(r.right))
            at(r.right) = r.rightSlot;
    } else {
        at(exists(r.mono) ? r.mono : 0) = r.leftSlot;
    }
    return routing;
}

QString percent(double fraction)
{
    return QString::number(fraction * 100.0, 'f', 1);
}

// Gives the demodulator up to 300 ms to put audio into the bus; a start without it goes on
// anyway and plays what there is.
void waitForPrefill(const AudioBus& bus, std::size_t slot, AudioNotices& notices)
{
    for (int i = 1; i <= kPrefillPolls; ++i) {
        std::this_thread::sleep_for(kPrefillPoll);
        const double fill = bus.fill(slot);
        const auto elapsedMs = static_cast<int>(kPrefillPoll.count()) * i;
        if (fill > kPrefillTarget) {
            notices.lines << QStringLiteral("Audio: prefill reached %1% after %2ms").arg(percent(fill)).arg(elapsedMs);
            return;
        }
    }
}

// Told only once the audio lock is released: a receiver in this thread may call straight back
// in (a new device name makes the interface query its buffer sizes, which takes the lock).
void tell(RtsaController& controller, const AudioNotices& notices)
{
    if (notices.deviceNameChanged)
        emit controller.audioDeviceNameChanged();
    for (const QString& line : notices.lines)
        controller.log().log(line == notices.error ? LogLevel::Error : LogLevel::Info, line);
}

} // namespace

void RtsaController::startAudio()
{
    AudioNotices notices;
    // A new attempt: the last failure is no longer news.
    noteError(QString());
    {
        const std::lock_guard lock(m_audio.mutex);
        openAudio(notices);
    }
    tell(*this, notices);
    if (!notices.error.isEmpty())
        noteError(notices.error);
}

void RtsaController::openAudio(AudioNotices& notices)
{
    AudioBackend* backend = m_audio.backend.get();
    if (!m_rxRunning.load() || !audioEnabled()) {
        m_log.debug(QStringLiteral("Audio: start skipped, audio off or acquisition stopped"));
        return;
    }
    if (backend && backend->isOpen()) {
        m_log.debug(QStringLiteral("Audio: start skipped, already open"));
        return;
    }
    if (!backend) {
        notices.fail(QStringLiteral("Audio: backend unavailable"));
        return;
    }
    const int frames = audioBufferFrames();

    m_audio.underrunCount = 0;
    m_audio.overrunCount = 0;
    backend->setOutputChannel(audioOutputChannel());

    QString name = audioDeviceName();
    if (name.isEmpty()) {
        const std::vector<std::string> names = backend->deviceNames();
        if (!names.empty()) {
            name = QString::fromStdString(names.front());
            notices.deviceNameChanged = m_audio.storeDeviceName(name);
        }
    }
    if (name.isEmpty()) {
        notices.fail(QStringLiteral("Audio: no device"));
        return;
    }

    notices.lines << QStringLiteral("Audio: waiting for demod prefill...");
    AudioBus& bus = m_demod.audioBus();
    const std::size_t leftSlot = m_demod.leftSlot();
    // Audio demodulated while nothing played is stale, and with the demodulator only thinning it
    // out at 85 % fill there may be 40 ms of it: played first, it would stay as delay for the
    // whole session. The output starts from what arrives now.
    bus.clear();
    waitForPrefill(bus, leftSlot, notices);

    const double fillBefore = bus.fill(leftSlot);
    const std::string device = name.toStdString();
    const DemodParams params = m_demod.getParams();
    const ChannelRouting routing = routeChannels({backend->outputChannels(device).size(), isStereoActive(params),
                                                  audioOutputChannelLeft(), audioOutputChannelRight(),
                                                  audioOutputChannel(), static_cast<int>(leftSlot),
                                                  static_cast<int>(m_demod.rightSlot())});
    if (routing.sameStereoOutputs)
        notices.lines << QStringLiteral("Audio: L/R output channels must be different");

    m_log.debug(QStringLiteral("Audio: opening %1 with %2 frames").arg(name).arg(frames));
    m_audio.takeBackendWarning();
    if (!backend->open(device, kAudioRate, frames, &bus, routing.map, &m_audio.underrunCount)) {
        // The driver's own words, when it gave any, tell the user what to fix.
        const std::string cause = m_audio.takeBackendWarning();
        notices.fail(cause.empty() ? QStringLiteral("Audio: open failed")
                                   : QStringLiteral("Audio: open failed: %1").arg(QString::fromStdString(cause)));
        return;
    }
    backend->setTestTone(audioTestTone());
    const double fillAfter = bus.fill(leftSlot);
    notices.lines << QStringLiteral("Audio: opened %1 buf=%2 (prefill: %3% -> %4%)")
                         .arg(name)
                         .arg(frames)
                         .arg(percent(fillBefore), percent(fillAfter));
}

void RtsaController::stopAudio()
{
    bool closed = false;
    {
        const std::lock_guard lock(m_audio.mutex);
        AudioBackend* backend = m_audio.backend.get();
        if (backend && backend->isOpen()) {
            backend->close();
            closed = true;
        }
        // Every start waits for fresh audio.
        m_demod.audioBus().clear();
    }
    if (closed)
        m_log.info(QStringLiteral("Audio: closed"));
}

void RtsaController::restartAudio(const QString& message, std::chrono::milliseconds pause)
{
    if (!audioEnabled() || !m_rxRunning.load())
        return;
    stopAudio();
    std::this_thread::sleep_for(pause);
    if (!message.isEmpty())
        m_log.info(message);
    startAudio();
}

void RtsaController::setAudioEnabled(bool enabled)
{
    if (m_audio.enabled.exchange(enabled) == enabled)
        return;
    if (!enabled)
        stopAudio();
    else if (m_rxRunning.load())
        startAudio();
    emit audioEnabledChanged();
}

void RtsaController::setAudioDeviceName(const QString& name)
{
    if (!m_audio.storeDeviceName(name))
        return;
    emit audioDeviceNameChanged();
    if (audioEnabled() && m_rxRunning.load()) {
        m_log.info(QStringLiteral("Audio: changing device to %1, restarting...").arg(name));
        restartAudio(QStringLiteral("Audio: starting new instance..."), kRestartPause);
    }
}

void RtsaController::setAudioBufferFrames(int frames)
{
    frames = audio_settings::bufferFrames.clamp(frames);
    const int old = m_audio.bufferFrames.load();
    if (frames == old)
        return;
    m_audio.bufferFrames = frames;
    emit audioBufferFramesChanged();
    const bool enabled = audioEnabled();
    const bool running = m_rxRunning.load();
    m_log.info(QStringLiteral("Audio: buffer size changed %1->%2 (audioEn=%3, running=%4)")
                        .arg(old)
                        .arg(frames)
                        .arg(enabled ? 1 : 0)
                        .arg(running ? 1 : 0));
    if (enabled && running) {
        m_log.info(QStringLiteral("Audio: restarting audio system..."));
        restartAudio(QStringLiteral("Audio: starting new instance..."), kRestartPause);
    } else {
        m_log.info(QStringLiteral("Audio: not restarting (audio not active)"));
    }
}

void RtsaController::setAudioTestTone(bool on)
{
    if (m_audio.testTone.exchange(on) == on)
        return;
    if (m_audio.backend)
        m_audio.backend->setTestTone(on);
    emit audioTestToneChanged();
    m_log.info(on ? QStringLiteral("Audio test tone: ON (1 kHz)") : QStringLiteral("Audio test tone: OFF"));
}

void RtsaController::setAudioOutputChannel(int channel)
{
    if (m_audio.outputChannel.exchange(channel) == channel)
        return;
    if (m_audio.backend)
        m_audio.backend->setOutputChannel(channel);
    emit audioOutputChannelChanged();
    restartAudio(QStringLiteral("Audio: restarting for output channel change..."), kRestartPause);
}

void RtsaController::setAudioOutputChannelLeft(int channel)
{
    if (m_audio.outputChannelLeft.exchange(channel) == channel)
        return;
    emit audioOutputChannelLeftChanged();
    restartAudio(QStringLiteral("Audio: restarting for left output channel change..."), kRestartPause);
}

void RtsaController::setAudioOutputChannelRight(int channel)
{
    if (m_audio.outputChannelRight.exchange(channel) == channel)
        return;
    emit audioOutputChannelRightChanged();
    restartAudio(QStringLiteral("Audio: restarting for right output channel change..."), kRestartPause);
}

QStringList RtsaController::audioDevices()
{
    const std::lock_guard lock(m_audio.mutex);
    QStringList names;
    if (m_audio.backend) {
        for (const std::string& name : m_audio.backend->deviceNames())
            names << QString::fromStdString(name);
    }
    return names;
}

QVariantMap RtsaController::audioBufferSizeInfo(const QString& deviceName)
{
    const std::lock_guard lock(m_audio.mutex);
    if (deviceName.isEmpty() || !m_audio.backend)
        return {};
    const BufferSizeInfo info = m_audio.backend->bufferSizeInfo(deviceName.toStdString(), kAudioRate);
    return {{QStringLiteral("minSize"), info.minSize},
            {QStringLiteral("maxSize"), info.maxSize},
            {QStringLiteral("preferredSize"), info.preferredSize},
            {QStringLiteral("granularity"), info.granularity}};
}

bool RtsaController::showAudioControlPanel(const QString& deviceName)
{
    const std::lock_guard lock(m_audio.mutex);
    return !deviceName.isEmpty() && m_audio.backend && m_audio.backend->showControlPanel(deviceName.toStdString());
}

QVariantList RtsaController::audioOutputChannels(const QString& deviceName)
{
    const std::lock_guard lock(m_audio.mutex);
    QVariantList channels;
    if (deviceName.isEmpty() || !m_audio.backend)
        return channels;
    for (const OutputChannelInfo& output : m_audio.backend->outputChannels(deviceName.toStdString())) {
        channels.append(QVariantMap{{QStringLiteral("index"), output.index},
                                    {QStringLiteral("name"), QString::fromStdString(output.name)}});
    }
    return channels;
}

std::optional<QString> RtsaController::audioStatusLine()
{
    if (!audioEnabled() || !m_audio.backend || !m_audio.backend->isOpen())
        return std::nullopt;
    // The demodulation ring as the RX thread last reported it.
    return QStringLiteral("Audio: fill=%1%, demodRing=%2%, underruns=%3, overruns=%4")
        .arg(percent(audioBusFillPct() / 100.0), percent(demodRingPct() / 100.0))
        .arg(m_audio.underrunCount.load())
        .arg(m_audio.overrunCount.load());
}
