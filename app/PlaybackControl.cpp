#include "app/PlaybackControl.h"

#include "playback/SigmfRecording.h"

#include <QDateTime>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace {

constexpr std::array<double, 5> kSpeeds{0.5, 1.0, 2.0, 4.0, PlaybackControl::kSpeedMax};
// The achieved speed is measured over periods of this length.
constexpr qint64 kSpeedPeriodMs = 1000;

} // namespace

PlaybackControl::PlaybackControl(PlaybackDevice& device, Hooks hooks, QObject* parent)
    : QObject(parent), m_device(device), m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("playback"));
    m_followTimer.setInterval(kFollowMs);
    connect(&m_followTimer, &QTimer::timeout, this, &PlaybackControl::follow);
    m_followTimer.start();
}

void PlaybackControl::say(const QString& text, bool error)
{
    m_message = text;
    m_messageIsError = error;
    if (m_hooks.log)
        m_hooks.log(text, error);
    emit stateChanged();
}

bool PlaybackControl::load(const QString& path, double sampleRateHz, double centerHz)
{
    const QUrl url(path);
    const QString local = url.isLocalFile() ? url.toLocalFile() : path;
    const bool raw = local.endsWith(QLatin1String(".cs16"), Qt::CaseInsensitive);
    try {
        RecordingInfo info;
        if (raw) {
            if (!(sampleRateHz > 0.0) || !(centerHz > 0.0))
                throw std::runtime_error("Recording: a .cs16 file needs its rate and centre frequency");
            info = rawCs16Recording(local.toStdString(), static_cast<uint32_t>(std::lround(sampleRateHz)),
                                    static_cast<uint64_t>(std::llround(centerHz)));
        } else {
            info = sigmfRecording(local.toStdString());
        }
        const uint64_t lost = info.lostSamples;
        m_device.load(std::make_unique<RecordingFile>(std::move(info)));
        m_fileName = QFileInfo(local).fileName();
        m_keptFile = {{QStringLiteral("path"), QFileInfo(local).absoluteFilePath()}};
        if (raw) {
            m_keptFile.insert(QStringLiteral("sampleRateHz"), sampleRateHz);
            m_keptFile.insert(QStringLiteral("centerHz"), centerHz);
        }
        m_retuneAskedHz = 0.0;
        follow();
        QString text = QStringLiteral("Recording: %1, %2 MS/s at %3 MHz")
                           .arg(m_fileName, QString::number(m_status.sampleRateHz / 1e6, 'g', 6),
                                QString::number(static_cast<double>(m_status.centerHz) / 1e6, 'f', 3));
        if (lost > 0)
            text += QStringLiteral(", %1 samples lost while recording").arg(lost);
        say(text, false);
        return true;
    } catch (const std::exception& e) {
        say(QString::fromStdString(e.what()), true);
        return false;
    }
}

bool PlaybackControl::openFile(const QString& path, double sampleRateHz, double centerHz)
{
    if (!load(path, sampleRateHz, centerHz))
        return false;
    if (m_hooks.startPlayback)
        m_hooks.startPlayback();
    m_device.play();
    follow();
    return true;
}

void PlaybackControl::restoreFile(const QVariantMap& kept)
{
    const QString path = kept.value(QStringLiteral("path")).toString();
    if (path.isEmpty() || m_status.loaded)
        return;
    load(path, kept.value(QStringLiteral("sampleRateHz")).toDouble(), kept.value(QStringLiteral("centerHz")).toDouble());
}

void PlaybackControl::play()
{
    // A recording loaded but not read by the run (one kept from the last run) becomes the receiver.
    if (const PlaybackStatus now = m_device.status(); now.loaded && !now.streaming && m_hooks.startPlayback)
        m_hooks.startPlayback();
    m_device.play();
    follow();
}

void PlaybackControl::pause()
{
    m_device.pause();
    follow();
}

void PlaybackControl::seekSeconds(double seconds)
{
    if (!m_status.loaded || !(seconds >= 0.0))
        seconds = 0.0;
    m_device.seek(static_cast<uint64_t>(std::llround(seconds * m_status.sampleRateHz)));
    follow();
}

void PlaybackControl::seekFraction(double fraction)
{
    seekSeconds(std::clamp(fraction, 0.0, 1.0) * lengthSeconds());
}

void PlaybackControl::setLoop(bool on)
{
    m_device.setLoop(on);
    emit stateChanged();
}

void PlaybackControl::setSpeed(double multiple)
{
    if (std::find(kSpeeds.begin(), kSpeeds.end(), multiple) == kSpeeds.end())
        return;
    m_device.setSpeed(multiple);
    emit stateChanged();
}

double PlaybackControl::positionSeconds() const
{
    return m_status.sampleRateHz > 0 ? static_cast<double>(m_status.positionSamples) / m_status.sampleRateHz : 0.0;
}

double PlaybackControl::lengthSeconds() const
{
    return m_status.sampleRateHz > 0 ? static_cast<double>(m_status.lengthSamples) / m_status.sampleRateHz : 0.0;
}

QString PlaybackControl::captureTime() const
{
    if (!m_status.captureUtcMicroseconds || m_status.sampleRateHz == 0)
        return {};
    const double offsetUs = static_cast<double>(m_status.positionSamples - m_status.captureStartSample) * 1e6 /
                            m_status.sampleRateHz;
    const qint64 ms = (*m_status.captureUtcMicroseconds + static_cast<int64_t>(offsetUs)) / 1000;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz 'UTC'"));
}

void PlaybackControl::follow()
{
    const PlaybackStatus previous = m_status;
    m_status = m_device.status();

    if (!m_speedClock.isValid() || m_status.deliveredSamples < m_speedDelivered) {
        m_speedClock.start();
        m_speedDelivered = m_status.deliveredSamples;
    } else if (const qint64 elapsedMs = m_speedClock.elapsed(); elapsedMs >= kSpeedPeriodMs) {
        const double samples = static_cast<double>(m_status.deliveredSamples - m_speedDelivered);
        m_achievedSpeed = m_status.sampleRateHz > 0 ? samples * 1000.0 / elapsedMs / m_status.sampleRateHz : 0.0;
        m_speedClock.start();
        m_speedDelivered = m_status.deliveredSamples;
    }

    if (m_status.retuneNeeded && static_cast<double>(m_status.centerHz) != m_retuneAskedHz) {
        m_retuneAskedHz = static_cast<double>(m_status.centerHz);
        if (m_hooks.retune)
            m_hooks.retune(m_retuneAskedHz);
    } else if (!m_status.retuneNeeded) {
        m_retuneAskedHz = 0.0;
    }
    if (m_status.atEnd && !previous.atEnd)
        say(QStringLiteral("End of recording"), false);
    else if (!m_status.error.empty() && m_status.error != previous.error)
        say(QString::fromStdString(m_status.error), true);
    else if (m_status.loaded || previous.loaded)
        // Without a recording nothing shown moves: a change every tick would redraw the window.
        emit stateChanged();
}
