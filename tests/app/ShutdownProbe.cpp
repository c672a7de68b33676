// Preloaded into the unmodified analyser (LD_PRELOAD) by shutdown-test.sh: puts it where closing
// costs the most (acquiring, FM stereo demodulation on, audio playing through the WAV writer),
// says "READY" once all of that runs, and then lets the window be closed from outside as a window
// manager closes it. When the process ends it reports how long it took from the window's close
// event, and which of the analyser's threads (and the audio driver's) were still there.
#include "tests/support/AnalyserWindow.h"
#include "tests/support/ProcessCounts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTimer>
#include <QtTest/QTest>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

int64_t monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

std::atomic<int64_t> g_closedAtMs{0};
// When the audio output, acquisition and the receiver were closed, for where the time goes.
std::atomic<int64_t> g_audioClosedAtMs{0};
std::atomic<int64_t> g_rxStoppedAtMs{0};
std::atomic<int64_t> g_disconnectedAtMs{0};

// Threads of the analyser and of the audio driver that are still there.
std::string threadsLeft()
{
    std::vector<std::string> left = process::threadNames();
    std::erase_if(left, [](const std::string& name) { return name.rfind("rtsa-", 0) != 0 && name.rfind("asio-", 0) != 0; });
    return left.empty() ? "none" : process::joined(left);
}

// Runs after main has returned: everything the analyser owns has been destroyed by then.
void reportAtExit()
{
    const int64_t closedAt = g_closedAtMs.load();
    if (closedAt == 0) {
        std::printf("SHUTDOWN: the window was never closed\n");
        return;
    }
    const auto since = [closedAt](const std::atomic<int64_t>& at) {
        return at.load() == 0 ? -1LL : static_cast<long long>(at.load() - closedAt);
    };
    std::printf("SHUTDOWN: audio closed after %lld ms, RX stopped after %lld ms, receiver closed after %lld ms\n",
                since(g_audioClosedAtMs), since(g_rxStoppedAtMs), since(g_disconnectedAtMs));
    std::printf("SHUTDOWN: %lld ms from the close event to the end of main, threads left: %s, audio %s\n",
                static_cast<long long>(monotonicMs() - closedAt), threadsLeft().c_str(),
                g_audioClosedAtMs.load() != 0 ? "closed" : "NOT closed");
    std::fflush(stdout);
}

class ShutdownProbe : public QObject {
public:
    using QObject::QObject;

    void run()
    {
        if (!findWindow())
            return abandon("no NorvaleRTSA window with a controller");
        connect(m_controller, SIGNAL(logMessage(QString)), this, SLOT(listen(QString)));
        m_window->installEventFilter(this);
        std::atexit(reportAtExit);

        bool connected = false;
        QMetaObject::invokeMethod(m_controller, "connectDevice", Q_RETURN_ARG(bool, connected));
        if (!connected)
            return abandon("the receiver did not connect");
        // The start-up view's broadcast stereo station.
        m_controller->setProperty("newDemodFreqHz", 995.6e6);
        m_controller->setProperty("newDemodFmStereoEnabled", true);
        m_controller->setProperty("newDemodEnabled", true);
        m_controller->setProperty("audioDeviceName", u"WAV File Writer"_s);
        m_controller->setProperty("audioEnabled", true);
        bool started = false;
        QMetaObject::invokeMethod(m_controller, "startRx", Q_RETURN_ARG(bool, started), Q_ARG(bool, true));
        if (!started)
            return abandon("acquisition did not start");
        if (!QTest::qWaitFor([this] { return m_audioOpened && m_demodReported; }, 30000))
            return abandon("no audio or no demodulation status within 30 s");
        std::printf("READY\n");
        std::fflush(stdout);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Close && g_closedAtMs.load() == 0)
            g_closedAtMs = monotonicMs();
        return QObject::eventFilter(watched, event);
    }

private:
    Q_OBJECT

private slots:
    void listen(const QString& line)
    {
        m_audioOpened = m_audioOpened || line.startsWith(u"Audio: opened WAV File Writer"_s);
        m_demodReported = m_demodReported || line.startsWith(u"[Demod] CPU="_s);
        if (g_closedAtMs.load() == 0)
            return;
        if (line == u"Audio: closed"_s)
            g_audioClosedAtMs = monotonicMs();
        else if (line == u"RX stopped"_s)
            g_rxStoppedAtMs = monotonicMs();
        else if (line == u"Device disconnected"_s)
            g_disconnectedAtMs = monotonicMs();
    }

private:
    bool findWindow()
    {
        m_window = analyser::waitForWindow();
        m_controller = analyser::controllerOf(m_window);
        return m_controller != nullptr;
    }

    void abandon(const char* why)
    {
        std::printf("FAILED: %s\n", why);
        std::fflush(stdout);
        QCoreApplication::exit(1);
    }

    QQuickWindow* m_window = nullptr;
    QObject* m_controller = nullptr;
    bool m_audioOpened = false;
    bool m_demodReported = false;
};

// Runs when the application object is built: the probe belongs to it and starts with its loop.
void startProbe()
{
    auto* probe = new ShutdownProbe(QCoreApplication::instance());
    QTimer::singleShot(0, probe, [probe] { probe->run(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

#include "ShutdownProbe.moc"
