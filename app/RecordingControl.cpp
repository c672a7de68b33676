#include "app/RecordingControl.h"

#include "markers/MarkerModel.h"

#include <QDateTime>
#include <QDir>
#include <QStorageInfo>

RecordingControl::RecordingControl(CenterHz centerHz, const MarkerModel& markers, QObject* parent)
    : QObject(parent),
      m_centerHz(std::move(centerHz)),
      m_markers(markers),
      m_recorder(std::make_unique<IqRecorder>()),
      m_folder(QDir::homePath())
{
    setObjectName(QStringLiteral("recording"));
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &RecordingControl::poll);
    m_freeBytes = static_cast<double>(QStorageInfo(m_folder).bytesAvailable());
}

RecordingControl::~RecordingControl() = default;

double RecordingControl::elapsedSec() const
{
    return m_recording ? static_cast<double>(m_elapsed.elapsed()) / 1000.0 : m_elapsedAtEndSec;
}

void RecordingControl::setFolder(const QString& folder)
{
    if (folder == m_folder || folder.isEmpty())
        return;
    m_folder = folder;
    m_freeBytes = static_cast<double>(QStorageInfo(m_folder).bytesAvailable());
    emit folderChanged();
    emit figuresChanged();
}

void RecordingControl::setFileName(const QString& name)
{
    if (name == m_fileName)
        return;
    m_fileName = name;
    emit fileNameChanged();
}

void RecordingControl::setDescription(const QString& text)
{
    if (text == m_description)
        return;
    m_description = text;
    emit descriptionChanged();
}

QString RecordingControl::defaultFileName() const
{
    return QStringLiteral("rtsa-%1-%2MHz")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")),
             QString::number(m_centerHz() / 1e6, 'f', 3));
}

bool RecordingControl::start()
{
    if (m_recording)
        return true;
    passMarkers();
    const QString name = m_fileName.trimmed().isEmpty() ? defaultFileName() : m_fileName.trimmed();
    const QString error = m_recorder->start({m_folder, name, m_description});
    if (!error.isEmpty()) {
        setMessage(QStringLiteral("Recording: %1").arg(error));
        return false;
    }
    setMessage(QString());
    m_recording = true;
    m_elapsed.start();
    m_poll.start();
    poll();
    emit recordingChanged();
    return true;
}

void RecordingControl::stop()
{
    if (!m_recording)
        return;
    passMarkers();
    m_recorder->stop();
    m_elapsedAtEndSec = static_cast<double>(m_elapsed.elapsed()) / 1000.0;
    m_recording = false;
    m_poll.stop();
    m_figures = m_recorder->figures();
    m_freeBytes = static_cast<double>(QStorageInfo(m_folder).bytesAvailable());
    // A name typed for one recording is not offered to the next, which would find it taken.
    setFileName(QString());
    setMessage(m_figures.message.isEmpty()
                   ? QStringLiteral("Recorded %1").arg(QFileInfo(m_figures.dataPath).completeBaseName())
                   : m_figures.message);
    emit recordingChanged();
    emit figuresChanged();
}

void RecordingControl::poll()
{
    m_figures = m_recorder->figures();
    m_freeBytes = static_cast<double>(QStorageInfo(m_folder).bytesAvailable());
    passMarkers();
    emit figuresChanged();
    // Ended by itself (a failed write, a new sample rate): what is written is put away.
    if (!m_figures.recording)
        stop();
}

void RecordingControl::passMarkers()
{
    std::vector<SigmfAnnotation> annotations;
    for (const Marker& marker : m_markers.snapshot()) {
        SigmfAnnotation annotation;
        annotation.freqLowerEdge = marker.freqHz - kMarkerHalfSpanHz;
        annotation.freqUpperEdge = marker.freqHz + kMarkerHalfSpanHz;
        annotation.label = QStringLiteral("M%1").arg(marker.id);
        annotations.push_back(annotation);
    }
    m_recorder->setMarkers(std::move(annotations));
}

void RecordingControl::setMessage(const QString& message)
{
    if (message == m_message)
        return;
    m_message = message;
    emit messageChanged();
}
