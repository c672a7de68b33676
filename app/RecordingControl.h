#pragma once

#include "recording/IqRecorder.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class MarkerModel;

// IQ recording as the window sees it (the controller's `recording`): start and stop, the figures
// of the recording under way, and where it goes. The recorder is the acquisition session's tap;
// this object polls its figures while it records and hands it the markers, which become the
// recording's annotations.
class RecordingControl : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool recording READ recording NOTIFY recordingChanged)
    Q_PROPERTY(double elapsedSec READ elapsedSec NOTIFY figuresChanged)
    Q_PROPERTY(double bytesWritten READ bytesWritten NOTIFY figuresChanged)
    Q_PROPERTY(double freeBytes READ freeBytes NOTIFY figuresChanged)
    Q_PROPERTY(double lostSamples READ lostSamples NOTIFY figuresChanged)
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(QString folder READ folder WRITE setFolder NOTIFY folderChanged)
    Q_PROPERTY(QString fileName READ fileName WRITE setFileName NOTIFY fileNameChanged)
    Q_PROPERTY(QString description READ description WRITE setDescription NOTIFY descriptionChanged)
    Q_PROPERTY(QString defaultFileName READ defaultFileName NOTIFY figuresChanged)
    Q_PROPERTY(QString recordingPath READ recordingPath NOTIFY recordingChanged)

public:
    // Half the band each marker is stated with in the annotations.
    static constexpr double kMarkerHalfSpanHz = 12'500.0;
    static constexpr int kPollMs = 250;

    using CenterHz = std::function<double()>;
    RecordingControl(CenterHz centerHz, const MarkerModel& markers, QObject* parent = nullptr);
    ~RecordingControl() override;

    // What the acquisition session hands every block to.
    IqTap& tap() { return *m_recorder; }

    bool recording() const { return m_recording; }
    double elapsedSec() const;
    double bytesWritten() const { return static_cast<double>(m_figures.bytesWritten); }
    double freeBytes() const { return m_freeBytes; }
    double lostSamples() const
    {
        return static_cast<double>(m_figures.droppedSamples + m_figures.receiverLostSamples);
    }
    QString message() const { return m_message; }
    // The folder recordings go to; the home folder until one is chosen. Kept between runs.
    QString folder() const { return m_folder; }
    void setFolder(const QString& folder);
    // Without extension; empty: defaultFileName.
    QString fileName() const { return m_fileName; }
    void setFileName(const QString& name);
    QString description() const { return m_description; }
    void setDescription(const QString& text);
    // From the date, time and centre frequency, e.g. "rtsa-20261208-101542-99.400MHz".
    QString defaultFileName() const;
    // NAME.sigmf-data of the recording under way or last made.
    QString recordingPath() const { return m_figures.dataPath; }

    // True when recording began; otherwise message says why not.
    Q_INVOKABLE bool start();
    Q_INVOKABLE void stop();

signals:
    void recordingChanged();
    void figuresChanged();
    void messageChanged();
    void folderChanged();
    void fileNameChanged();
    void descriptionChanged();

private:
    void poll();
    void passMarkers();
    void setMessage(const QString& message);

    CenterHz m_centerHz;
    const MarkerModel& m_markers;
    std::unique_ptr<IqRecorder> m_recorder;
    QTimer m_poll;
    QElapsedTimer m_elapsed;
    double m_elapsedAtEndSec = 0.0;
    bool m_recording = false;
    RecordingFigures m_figures;
    double m_freeBytes = 0.0;
    QString m_message;
    QString m_folder;
    QString m_fileName;
    QString m_description;
};
