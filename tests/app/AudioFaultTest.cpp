// Audio driver faults, through the scripted test driver and the demodulator running on a scripted
// receiver: a driver whose start or buffer creation fails, and one that stops calling back while
// it plays. For each: what the analyser tells, that it neither crashes nor hangs, that audio
// plays again after a restart once the driver is sound, and that no thread outlives the run.
#include "app/RtsaController.h"
#include "audio/AsioBackend.h"
#include "tests/app/ScriptedReceiver.h"
#include "tests/audio/AsioTestRegistry.h"
#include "tests/support/EventWait.h"
#include "tests/support/ThreadBaseline.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <map>
#include <memory>
#include <string>

namespace {

const QRegularExpression kAudioLine(
    QStringLiteral("^Audio: fill=([0-9.]+)%, demodRing=[0-9.]+%, underruns=([0-9]+), overruns=0$"));

struct AudioReport {
    double fillPercent;
    unsigned long long underruns;
};

// A controller on a scripted receiver with demodulation on, playing through the scripted driver
// "Driver" of a registry folder of the test's own, whose script the test rewrites between runs.
struct Rig {
    Rig()
    {
        QObject::connect(&controller, &RtsaController::logMessage, &controller, [this](const QString& line) {
            if (line.startsWith(QStringLiteral("Audio: fill=")))
                audioLines << line;
            else if (line.startsWith(QStringLiteral("Audio")) || line.startsWith(QStringLiteral("RX st")))
                events << line;
        });
        controller.setNewDemodEnabled(true);
        controller.setAudioDeviceName(QStringLiteral("Driver"));
    }

    void script(std::map<std::string, std::string> values)
    {
        values.emplace("thread", "free");
        registry.writeEntry("driver.conf", scriptedEntry("Driver", std::move(values)));
    }

    // The next audio status line from now on, or nullopt when none comes within the time.
    std::optional<AudioReport> nextAudioReport(int ms = kEventWaitMs)
    {
        const qsizetype from = audioLines.size();
        if (!QTest::qWaitFor([&] { return audioLines.size() > from; }, ms))
            return std::nullopt;
        const QRegularExpressionMatch m = kAudioLine.match(audioLines[from]);
        if (!m.hasMatch())
            return std::nullopt;
        return AudioReport{m.captured(1).toDouble(), m.captured(2).toULongLong()};
    }

    // The driver calls back: its buffer switches keep coming.
    bool driverCallsBack()
    {
        const long before = probe.counts().switches;
        return QTest::qWaitFor([&] { return probe.counts().switches > before + 10; }, kEventWaitMs);
    }

    TestFolder registry{"audio-fault"};
    ScriptedDriverProbe probe;
    QStringList events;
    QStringList audioLines;
    std::shared_ptr<ReceiverScript> receiver = std::make_shared<ReceiverScript>();
    RtsaController controller{[this] { return std::make_unique<ScriptedReceiver>(receiver); },
                              [this](AsioLogSink log) {
                                  return std::make_unique<AsioBackend>(std::vector{registry.path()}, std::move(log));
                              }};
    const ThreadBaseline threadsBefore;
};

} // namespace

class AudioFaultTest : public QObject {
    Q_OBJECT

private slots:
    void aDriverThatFailsToOpenPlaysAfterARestart_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("start") << QStringLiteral("start");
        QTest::newRow("createBuffers") << QStringLiteral("createBuffers");
    }

    void aDriverThatFailsToOpenPlaysAfterARestart()
    {
        QFETCH(QString, failing);
        Rig rig;
        rig.script({{"fail", failing.toStdString()}});
        rig.controller.setAudioEnabled(true);
        QVERIFY(rig.controller.startRx());
        QVERIFY2(rig.events.filter(QRegularExpression(QStringLiteral("^Audio: (waiting|open failed)")))
                     == QStringList({"Audio: waiting for demod prefill...",
                                     failing == QStringLiteral("start") ? QStringLiteral("Audio: open failed: ASIO: start failed")
                                                                        : QStringLiteral("Audio: open failed")}),
                 qPrintable(rig.events.join('|')));
        QCOMPARE(rig.events.last(), QStringLiteral("RX started"));
        // Reception goes on without audio, and says nothing about an output that is not there.
        QVERIFY(rig.controller.running());
        QTest::qWait(1500);
        QVERIFY(rig.audioLines.isEmpty());

        // Switched off and on again once the driver is sound, audio plays.
        rig.script({});
        rig.events.clear();
        rig.controller.setAudioEnabled(false);
        rig.controller.setAudioEnabled(true);
        QVERIFY2(rig.events.filter(QStringLiteral("Audio: opened")).size() == 1, qPrintable(rig.events.join('|')));
        QVERIFY(rig.driverCallsBack());
        QVERIFY(rig.nextAudioReport().has_value());

        rig.events.clear();
        rig.controller.stopRx();
        QCOMPARE(rig.events, QStringList({"Audio: closed", "RX stopped"}));
        QVERIFY2(rig.threadsBefore.restored(), qPrintable(rig.threadsBefore.report()));
    }

    void aDriverThatStopsCallingBackIsSeenAndRestarted()
    {
        Rig rig;
        rig.script({{"stallafter", "50"}});
        rig.controller.setAudioEnabled(true);
        QVERIFY(rig.controller.startRx());
        QVERIFY2(rig.events.filter(QStringLiteral("Audio: opened")).size() == 1, qPrintable(rig.events.join('|')));

        // Nothing reads the bus any more: the status line shows it filling while the underruns
        // stand still.
        std::optional<AudioReport> report;
        QVERIFY(QTest::qWaitFor(
            [&] {
                report = rig.nextAudioReport();
                return report && report->fillPercent > 50.0;
            },
            15000));
        const std::optional<AudioReport> later = rig.nextAudioReport();
        QVERIFY(later.has_value());
        QCOMPARE(later->underruns, report->underruns);

        // A restart (here a new buffer size) closes the stalled driver without waiting on it and
        // opens it again.
        rig.script({});
        rig.events.clear();
        const long switchesBefore = rig.probe.counts().switches;
        rig.controller.setAudioBufferFrames(512);
        QVERIFY2(rig.events.contains(QStringLiteral("Audio: closed"))
                     && rig.events.filter(QStringLiteral("Audio: opened")).size() == 1,
                 qPrintable(rig.events.join('|')));
        QVERIFY(rig.driverCallsBack());
        QVERIFY(rig.probe.counts().switches > switchesBefore);
        QVERIFY(QTest::qWaitFor(
            [&] {
                report = rig.nextAudioReport();
                return report && report->fillPercent < 50.0;
            },
            15000));

        rig.controller.stopRx();
        QVERIFY2(rig.threadsBefore.restored(), qPrintable(rig.threadsBefore.report()));
    }
};

QTEST_GUILESS_MAIN(AudioFaultTest)
#include "AudioFaultTest.moc"
