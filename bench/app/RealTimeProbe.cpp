// Preloaded into the unmodified analyser (LD_PRELOAD) by scripts/realtime-bench.sh: switches
// everything on through the controller the window shows (density, waterfall, peak line, FM
// stereo demodulation with audio), runs for a given time and writes every user-facing log line
// with its time to a file, for the script to read the analyser's own statistics from. Once a
// second it adds the number of frames the window has drawn so far ("bench: frames drawn N").
//
// Settings, from the environment of the run (the analyser itself reads none):
//   RTSA_BENCH_LOG      file for the log lines (required)
//   RTSA_BENCH_SECONDS  how long to acquire (default 600)
//   RTSA_BENCH_RATE     sample rate in MS/s (default 30)
//   RTSA_BENCH_CENTER   centre frequency in MHz (default 100)
//   RTSA_BENCH_DEMOD    station to demodulate in MHz (default 99.4; 0 leaves demodulation off)
//   RTSA_BENCH_FFT      FFT size instead of the resolution target the window sets (default: keep)
//   RTSA_BENCH_AUDIO    audio device (default "WAV File Writer"; empty leaves audio off)
//   RTSA_BENCH_WINDOW   window size as WIDTHxHEIGHT (default: the window's own)
//   RTSA_BENCH_SCREENSHOT  file to save a picture of the window into before stopping (default: none)
//   RTSA_BENCH_HIDE     comma-separated object names of items to hide, to measure what the rest
//                       of the window costs to draw (default: none)
//   RTSA_BENCH_RECORD   folder to record the receiver's IQ into for the whole run, a second
//                       after the start (default: no recording); its size and losses are logged
#include "engine/SpectrumSettingTable.h"
#include "tests/support/AnalyserWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTextStream>
#include <QTimer>
#include <QtTest/QTest>

#include <atomic>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

double setting(const char* name, double fallback)
{
    bool ok = false;
    const double value = qEnvironmentVariable(name).toDouble(&ok);
    return ok ? value : fallback;
}

class RealTimeProbe : public QObject {
public:
    using QObject::QObject;

    void run()
    {
        m_log.setFileName(qEnvironmentVariable("RTSA_BENCH_LOG"));
        if (!m_log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
            return abandon("cannot write the log file given by RTSA_BENCH_LOG");
        m_clock.start();
        if (!findWindow())
            return abandon("no NorvaleRTSA window with a controller");
        connect(m_controller, SIGNAL(logMessage(QString)), this, SLOT(record(QString)));
        record(u"bench: configuring"_s);
        if (!configure())
            return abandon("the receiver did not connect or start");
        record(u"bench: running"_s);
        // Counted on the render thread, which swaps the frames.
        connect(m_window, &QQuickWindow::frameSwapped, this, [this] { ++m_framesDrawn; }, Qt::DirectConnection);
        connect(&m_frameReport, &QTimer::timeout, this,
                [this] { record(u"bench: frames drawn "_s + QString::number(m_framesDrawn.load())); });
        m_frameReport.start(1000);
        const int seconds = static_cast<int>(setting("RTSA_BENCH_SECONDS", 600));
        QTimer::singleShot(seconds * 1000, this, [this] { finish(); });
    }

private:
    Q_OBJECT

private slots:
    void record(const QString& line)
    {
        QTextStream(&m_log) << m_clock.elapsed() << ' ' << line << '\n';
        m_log.flush();
    }

private:
    bool findWindow()
    {
        m_window = analyser::waitForWindow();
        m_controller = analyser::controllerOf(m_window);
        return m_controller != nullptr;
    }

    void set(const char* property, const QVariant& value)
    {
        if (!m_controller->setProperty(property, value))
            record(u"bench: the controller has no property "_s + QString::fromLatin1(property));
    }

    void resizeWindow()
    {
        const QStringList size = qEnvironmentVariable("RTSA_BENCH_WINDOW").split(u'x');
        if (size.size() == 2)
            m_window->resize(size[0].toInt(), size[1].toInt());
        record(u"bench: window "_s + QString::number(m_window->width()) + u'x' + QString::number(m_window->height()));
    }

    void hideItems()
    {
        for (const QString& name : qEnvironmentVariable("RTSA_BENCH_HIDE").split(u',', Qt::SkipEmptyParts)) {
            // From the window: the items declared in it are its children, not its content item's.
            if (QQuickItem* item = m_window->findChild<QQuickItem*>(name))
                item->setVisible(false);
            else
                record(u"bench: no item named "_s + name);
        }
    }

    bool configure()
    {
        bool connected = false;
        QMetaObject::invokeMethod(m_controller, "connectDevice", Q_RETURN_ARG(bool, connected));
        if (!connected)
            return false;
        QMetaObject::invokeMethod(m_controller, "applyParams", Q_ARG(double, setting("RTSA_BENCH_CENTER", 100.0)),
                                  Q_ARG(double, setting("RTSA_BENCH_RATE", 30.0)), Q_ARG(int, 0), Q_ARG(int, 0),
                                  Q_ARG(int, 20), Q_ARG(int, 30));
        if (const double fft = setting("RTSA_BENCH_FFT", 0.0); fft > 0) {
            set("rbwTargetHz", 0.0);
            set("fftSize", static_cast<int>(fft));
        }
        resizeWindow();
        hideItems();
        set("detectorMode", static_cast<int>(DetectorMode::Avg));
        set("densityEnabled", true);
        set("waterfallEnabled", true);
        if (QQuickItem* view = m_window->contentItem()->findChild<QQuickItem*>(u"spectrumView"_s))
            view->setProperty("peakLineEnabled", true);

        const double demodMHz = setting("RTSA_BENCH_DEMOD", 99.4);
        const QString audio = qEnvironmentVariableIsSet("RTSA_BENCH_AUDIO") ? qEnvironmentVariable("RTSA_BENCH_AUDIO")
                                                                            : u"WAV File Writer"_s;
        if (demodMHz > 0) {
            set("newDemodFreqHz", demodMHz * 1e6);
            set("newDemodFmStereoEnabled", true);
            if (!audio.isEmpty()) {
                set("audioDeviceName", audio);
                set("audioEnabled", true);
            }
            set("newDemodEnabled", true);
        }
        // The retune is queued on the device worker; starting waits for nothing but the device.
        QTest::qWait(500);
        bool started = false;
        QMetaObject::invokeMethod(m_controller, "startRx", Q_RETURN_ARG(bool, started), Q_ARG(bool, true));
        if (started && !qEnvironmentVariable("RTSA_BENCH_RECORD").isEmpty())
            QTimer::singleShot(1000, this, [this] { startRecording(); });
        return started;
    }

    QObject* recording() { return m_controller->property("recording").value<QObject*>(); }

    void startRecording()
    {
        QObject* recorder = recording();
        recorder->setProperty("folder", qEnvironmentVariable("RTSA_BENCH_RECORD"));
        bool started = false;
        QMetaObject::invokeMethod(recorder, "start", Q_RETURN_ARG(bool, started));
        record(started ? u"bench: recording"_s : u"bench: recording refused: "_s + recorder->property("message").toString());
    }

    void stopRecording()
    {
        QObject* recorder = recording();
        if (!recorder->property("recording").toBool())
            return;
        QMetaObject::invokeMethod(recorder, "stop");
        record(u"bench: recorded "_s + QString::number(recorder->property("bytesWritten").toDouble(), 'f', 0) +
               u" bytes in "_s + QString::number(recorder->property("elapsedSec").toDouble(), 'f', 1) + u" s, lost "_s +
               QString::number(recorder->property("lostSamples").toDouble(), 'f', 0) + u" samples: "_s +
               recorder->property("recordingPath").toString());
    }

    void finish()
    {
        m_frameReport.stop();
        if (const QString file = qEnvironmentVariable("RTSA_BENCH_SCREENSHOT"); !file.isEmpty())
            m_window->grabWindow().save(file);
        stopRecording();
        record(u"bench: stopping"_s);
        QMetaObject::invokeMethod(m_controller, "stopRx");
        record(u"bench: done"_s);
        m_window->close();
    }

    void abandon(const char* why)
    {
        std::fprintf(stderr, "bench: %s\n", why);
        QCoreApplication::exit(1);
    }

    QQuickWindow* m_window = nullptr;
    QObject* m_controller = nullptr;
    QFile m_log;
    QElapsedTimer m_clock;
    std::atomic<long long> m_framesDrawn{0};
    QTimer m_frameReport;
};

// Runs when the application object is built: the probe belongs to it and starts with its loop.
void startProbe()
{
    auto* probe = new RealTimeProbe(QCoreApplication::instance());
    QTimer::singleShot(0, probe, [probe] { probe->run(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

#include "RealTimeProbe.moc"
