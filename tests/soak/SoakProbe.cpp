// Preloaded into the unmodified analyser (LD_PRELOAD) by scripts/soak.sh: drives it for a given
// time through a random sequence of what a user does (SoakActions), fixed by a seed it prints,
// after a first minute that tours every setting. SoakWatch samples the process once a second and
// watches the GUI thread and the workers for a deadlock. Every so many actions the probe stops
// acquisition and takes a checkpoint of what the process holds; after the first minute, every
// checkpoint must show the threads and descriptors of the first one, and the resident memory of
// the second half of the run less than 5 % above that of the first half (medians: what the
// process holds at a stop depends on the settings it was left with, a 1200-line waterfall at
// 8192 points against 400 lines at 2048, so single checkpoints swing both ways by some 10 %).
// Prints "PASSED" and closes the window, or prints each "FAILED: ..." and exits with code 1.
//
// Settings, from the environment of the run (the analyser itself reads none):
//   RTSA_SOAK_SECONDS   how long to drive the analyser (default 180)
//   RTSA_SOAK_SEED      the seed of the sequence (default: taken from the clock, and printed)
//   RTSA_SOAK_SAMPLES   file for the once-a-second samples (required)
//   RTSA_SOAK_STALL     seconds of silence that count as a deadlock (default 20)
#include "tests/soak/SoakActions.h"
#include "tests/soak/SoakWatch.h"
#include "tests/support/AnalyserWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kActionsPerCheckpoint = 30;
constexpr int kWarmUpStepMs = 1500;
constexpr double kWarmUpSeconds = 60.0;
constexpr double kMaxResidentGrowth = 0.05;
// Long enough for what a stop ends to be gone from the process.
constexpr int kCheckpointSettleMs = 2000;

long long setting(const char* name, long long fallback)
{
    bool ok = false;
    const long long value = qEnvironmentVariable(name).toLongLong(&ok);
    return ok ? value : fallback;
}

class SoakProbe : public QObject {
public:
    using QObject::QObject;

    void run()
    {
        m_seed = static_cast<uint64_t>(setting("RTSA_SOAK_SEED", QDateTime::currentMSecsSinceEpoch() % 1000000));
        m_seconds = static_cast<double>(setting("RTSA_SOAK_SECONDS", 180));
        std::printf("soak: seed %llu, %.0f s\n", static_cast<unsigned long long>(m_seed), m_seconds);
        std::fflush(stdout);
        const QString samples = qEnvironmentVariable("RTSA_SOAK_SAMPLES");
        if (samples.isEmpty())
            return abandon(u"RTSA_SOAK_SAMPLES is not set"_s);
        m_watch = std::make_unique<SoakWatch>(samples.toStdString(),
                                              std::chrono::seconds(setting("RTSA_SOAK_STALL", 20)));
        m_clock.start();
        auto* heartbeat = new QTimer(this);
        connect(heartbeat, &QTimer::timeout, this, [this] { m_watch->heard(SoakWatch::Gui); });
        heartbeat->start(100);

        QObject* controller = findController();
        if (!controller)
            return abandon(u"no NorvaleRTSA window with a controller"_s);
        connect(controller, SIGNAL(logMessage(QString)), this, SLOT(listen(QString)));
        connect(controller, SIGNAL(runningChanged()), this, SLOT(followRunning()));
        m_actions = std::make_unique<SoakActions>(
            controller, *m_watch, m_seed, [this](const QString& what) { say(what); },
            [this](const QString& what) { fail(what); });
        if (!m_actions->configure())
            return abandon(u"the receiver did not connect or start"_s);
        step();
    }

private:
    Q_OBJECT

private slots:
    void listen(const QString& line)
    {
        std::printf("log:  %7.1f s  %s\n", elapsed(), qPrintable(line));
        if (line.startsWith(u"RX "_s))
            m_watch->heard(SoakWatch::Rx);
        else if (line.startsWith(u"DSP "_s) && line.contains(u" fps, dropFrames="_s))
            m_watch->heard(SoakWatch::Spectrum);
        else if (line.startsWith(u"[Demod] CPU="_s))
            m_watch->heard(SoakWatch::Demod);
    }

    // The RX and spectrum threads start anew with every run, a retune's too.
    void followRunning()
    {
        const bool running = sender()->property("running").toBool();
        for (const SoakWatch::Source source : {SoakWatch::Rx, SoakWatch::Spectrum}) {
            m_watch->expect(source, running);
            m_watch->restart(source);
        }
    }

private:
    double elapsed() const { return static_cast<double>(m_clock.elapsed()) / 1000.0; }

    void say(const QString& what)
    {
        std::printf("soak: %7.1f s  %s\n", elapsed(), qPrintable(what));
        std::fflush(stdout);
    }

    QObject* findController()
    {
        m_window = analyser::waitForWindow();
        return analyser::controllerOf(m_window);
    }

    void step()
    {
        if (elapsed() >= m_seconds)
            return checkpoint([this] { finish(); });
        if (m_actions->warmUpStep()) {
            QTimer::singleShot(kWarmUpStepMs, this, [this] { step(); });
            return;
        }
        m_actions->randomAction();
        const int waitMs = m_actions->randomWaitMs();
        const auto next = [this, waitMs] { QTimer::singleShot(waitMs, this, [this] { step(); }); };
        if (++m_actionCount % kActionsPerCheckpoint == 0)
            return checkpoint(next);
        next();
    }

    // Stops acquisition (which closes the audio output) and, once what it ran has gone, notes
    // what the process holds; then acquisition starts again if it ran.
    void checkpoint(const std::function<void()>& then)
    {
        say(u"checkpoint"_s);
        const bool wasRunning = m_actions->wantRunning();
        m_actions->stop(wasRunning);
        QTimer::singleShot(kCheckpointSettleMs, this, [this, then, wasRunning] {
            const SoakWatch::Sample s = m_watch->sample();
            std::printf("soak: checkpoint at %.0f s: rss %ld kB, fds %d, threads %d\n", s.seconds, s.residentKb,
                        s.descriptors, s.threads);
            m_checkpoints.push_back(s);
            if (wasRunning && !m_actions->start())
                fail(u"the analyser did not start again"_s);
            then();
        });
    }

    void judgeCheckpoints()
    {
        const auto baseline = std::find_if(m_checkpoints.begin(), m_checkpoints.end(),
                                           [](const SoakWatch::Sample& s) { return s.seconds >= kWarmUpSeconds; });
        if (baseline == m_checkpoints.end() || baseline + 1 == m_checkpoints.end())
            return fail(u"too short a run: no two checkpoints after the first minute"_s);
        for (auto it = baseline + 1; it != m_checkpoints.end(); ++it) {
            const QString at = u"at %1 s against %2 s: "_s.arg(it->seconds, 0, 'f', 0).arg(baseline->seconds, 0, 'f', 0);
            if (it->threads != baseline->threads)
                fail(at + u"%1 threads instead of %2"_s.arg(it->threads).arg(baseline->threads));
            if (it->descriptors != baseline->descriptors)
                fail(at + u"%1 open descriptors instead of %2"_s.arg(it->descriptors).arg(baseline->descriptors));
        }
        const auto half = baseline + (m_checkpoints.end() - baseline) / 2;
        const double first = medianResidentKb(baseline, half);
        const double second = medianResidentKb(half, m_checkpoints.end());
        const double growth = (second - first) / first;
        std::printf("soak: resident memory, median of the checkpoints: %.0f kB in the first half, %.0f kB in the "
                    "second (%+.1f %%)\n",
                    first, second, growth * 100.0);
        if (growth >= kMaxResidentGrowth)
            fail(u"resident memory grew by %1 % from the first half of the run to the second"_s.arg(growth * 100.0, 0,
                                                                                                 'f', 1));
    }

    static double medianResidentKb(std::vector<SoakWatch::Sample>::const_iterator from,
                                   std::vector<SoakWatch::Sample>::const_iterator to)
    {
        std::vector<double> kb;
        for (auto it = from; it != to; ++it)
            kb.push_back(static_cast<double>(it->residentKb));
        std::sort(kb.begin(), kb.end());
        const std::size_t n = kb.size();
        return n % 2 == 1 ? kb[n / 2] : (kb[n / 2 - 1] + kb[n / 2]) / 2.0;
    }

    void finish()
    {
        say(u"done"_s);
        // Closing is the shutdown's business, with a time limit of its own.
        for (int i = 0; i < SoakWatch::kSources; ++i)
            m_watch->expect(static_cast<SoakWatch::Source>(i), false);
        judgeCheckpoints();
        for (int i = 0; i < SoakWatch::kSources; ++i) {
            const auto source = static_cast<SoakWatch::Source>(i);
            std::printf("soak: longest silence of the %s: %.1f s\n", SoakWatch::name(source),
                        m_watch->longestSilence(source));
        }
        std::printf("soak: %d actions, %zu checkpoints, seed %llu\n", m_actionCount, m_checkpoints.size(),
                    static_cast<unsigned long long>(m_seed));
        std::fflush(stdout);
        if (m_failed) {
            QCoreApplication::exit(1);
            return;
        }
        std::fprintf(stderr, "PASSED\n");
        m_window->close();
    }

    void fail(const QString& what)
    {
        m_failed = true;
        std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
    }

    void abandon(const QString& why)
    {
        fail(why);
        QCoreApplication::exit(1);
    }

    uint64_t m_seed = 0;
    double m_seconds = 0.0;
    QElapsedTimer m_clock;
    std::unique_ptr<SoakWatch> m_watch;
    std::unique_ptr<SoakActions> m_actions;
    QQuickWindow* m_window = nullptr;
    int m_actionCount = 0;
    std::vector<SoakWatch::Sample> m_checkpoints;
    bool m_failed = false;
};

// Runs when the application object is built: the probe belongs to it and starts with its loop.
void startProbe()
{
    auto* probe = new SoakProbe(QCoreApplication::instance());
    QTimer::singleShot(0, probe, [probe] { probe->run(); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

#include "SoakProbe.moc"
