#pragma once

#include "playback/PlaybackDevice.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <functional>

// The recording being played, as the window sees it (the controller's `playback`): opening a
// file, the transport, and where playback stands. It follows the device with a timer, and asks
// for a retune when playback reaches a capture at another frequency.
class PlaybackControl : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool loaded READ loaded NOTIFY stateChanged)
    Q_PROPERTY(QString fileName READ fileName NOTIFY stateChanged)
    Q_PROPERTY(bool playing READ playing NOTIFY stateChanged)
    Q_PROPERTY(bool atEnd READ atEnd NOTIFY stateChanged)
    Q_PROPERTY(bool loop READ loop WRITE setLoop NOTIFY stateChanged)
    Q_PROPERTY(double speed READ speed WRITE setSpeed NOTIFY stateChanged)
    Q_PROPERTY(double positionSeconds READ positionSeconds NOTIFY stateChanged)
    Q_PROPERTY(double lengthSeconds READ lengthSeconds NOTIFY stateChanged)
    Q_PROPERTY(QString captureTime READ captureTime NOTIFY stateChanged)
    Q_PROPERTY(double centerHz READ centerHz NOTIFY stateChanged)
    Q_PROPERTY(double sampleRateHz READ sampleRateHz NOTIFY stateChanged)
    Q_PROPERTY(double achievedSpeed READ achievedSpeed NOTIFY stateChanged)
    Q_PROPERTY(QString message READ message NOTIFY stateChanged)
    Q_PROPERTY(bool messageIsError READ messageIsError NOTIFY stateChanged)
    // The file loaded, kept between runs: {path, sampleRateHz, centerHz} (the last two for a
    // raw file), empty with none.
    Q_PROPERTY(QVariantMap keptFile READ keptFile WRITE restoreFile NOTIFY stateChanged)

public:
    // What playback needs of the rest of the analyser.
    struct Hooks {
        // Makes the recording the receiver and starts acquisition on it.
        std::function<void()> startPlayback;
        // Restarts the run at the centre of the capture reached.
        std::function<void(double hz)> retune;
        std::function<void(const QString& line, bool error)> log;
    };
    // How often the position is followed.
    static constexpr int kFollowMs = 200;
    static constexpr double kSpeedMax = PlaybackDevice::kSpeedMax;

    PlaybackControl(PlaybackDevice& device, Hooks hooks, QObject* parent = nullptr);

    // A SigMF recording (its .sigmf-meta, .sigmf-data or name without suffix) or a raw .cs16
    // file at the rate and centre given; a path or a file URL. False with the reason in
    // `message` when it cannot be played.
    Q_INVOKABLE bool openFile(const QString& path, double sampleRateHz = 0.0, double centerHz = 0.0);
    Q_INVOKABLE void play();
    Q_INVOKABLE void pause();
    Q_INVOKABLE void seekSeconds(double seconds);
    Q_INVOKABLE void seekFraction(double fraction);

    bool loaded() const { return m_status.loaded; }
    QString fileName() const { return m_fileName; }
    bool playing() const { return m_status.playing; }
    bool atEnd() const { return m_status.atEnd; }
    bool loop() const { return m_device.loop(); }
    void setLoop(bool on);
    double speed() const { return m_device.speed(); }
    // 0.5, 1, 2, 4, or kSpeedMax; anything else is refused.
    void setSpeed(double multiple);
    double positionSeconds() const;
    double lengthSeconds() const;
    // The UTC date and time of the sample at the position, when the recording says.
    QString captureTime() const;
    double centerHz() const { return static_cast<double>(m_status.centerHz); }
    double sampleRateHz() const { return m_status.sampleRateHz; }
    // Samples analysed per second as a multiple of the recording's rate, over the last second.
    double achievedSpeed() const { return m_achievedSpeed; }
    QString message() const { return m_message; }
    bool messageIsError() const { return m_messageIsError; }
    QVariantMap keptFile() const { return m_keptFile; }
    // Loads the file kept from an earlier run, paused at its start, without starting a run: the
    // recording plays once it is the receiver and the user starts it.
    void restoreFile(const QVariantMap& kept);

    // Reads the device's state now (the timer does it every kFollowMs).
    void follow();

signals:
    void stateChanged();

private:
    void say(const QString& text, bool error);
    // Makes the file the recording to play, paused at its start; false with the reason said.
    bool load(const QString& path, double sampleRateHz, double centerHz);

    PlaybackDevice& m_device;
    Hooks m_hooks;
    QTimer m_followTimer;
    PlaybackStatus m_status;
    QString m_fileName;
    QVariantMap m_keptFile;
    QString m_message;
    bool m_messageIsError = false;
    double m_retuneAskedHz = 0.0;
    double m_achievedSpeed = 0.0;
    QElapsedTimer m_speedClock;
    uint64_t m_speedDelivered = 0;
};
