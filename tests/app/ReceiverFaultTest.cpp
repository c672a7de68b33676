// Receiver faults, injected through the simulated receiver's RZSIM_* settings (read at every open):
// reads that fail now and then or always, a receiver that stops delivering in the middle of a
// run, a recording that cannot be replayed, a serial number that cannot be read. For each: what
// the analyser tells, that it neither crashes nor hangs, that reception comes back after a
// restart or a reconnect, and that no thread outlives the run.
#include "app/RtsaController.h"
#include "tests/support/EventWait.h"
#include "tests/support/ThreadBaseline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <string>

namespace {

const QRegularExpression kRxLine(
    QStringLiteral("^RX ([0-9]+\\.[0-9]{2}) MB/s, timeouts=([0-9]+), fftDrop=[0-9]+, demodOvf=[0-9]+$"));

// A simulator setting for one scenario, cleared again when it ends.
class SimulatorSetting {
public:
    SimulatorSetting(const char* name, const QByteArray& value) : m_name(name) { qputenv(m_name, value); }
    ~SimulatorSetting() { clear(); }
    SimulatorSetting(const SimulatorSetting&) = delete;
    SimulatorSetting& operator=(const SimulatorSetting&) = delete;
    void clear() { qunsetenv(m_name); }

private:
    const char* m_name;
};

struct RxReport {
    double mbPerSecond;
    int timeouts;
};

// A controller on the simulated receiver at 2 MS/s, its log kept; and the threads the process had
// before the first connect, which it must have again whenever the receiver is closed.
struct Rig {
    Rig()
    {
        QObject::connect(&controller, &RtsaController::logMessage, &controller,
                         [this](const QString& line) { lines << line; });
    }

    // Connects and sets the rate; false when the connect failed.
    bool connect()
    {
        if (!controller.connectDevice())
            return false;
        const qsizetype applied = lines.filter(QStringLiteral("Applied RZ640")).size();
        controller.applyParams(1000.0, 2.0, 0, 0, 20, 30);
        return QTest::qWaitFor(
            [&] { return lines.filter(QStringLiteral("Applied RZ640")).size() > applied; }, kEventWaitMs);
    }

    // The next RX report from now on, or nullopt when none comes within the time.
    std::optional<RxReport> nextRxReport(int ms = kEventWaitMs)
    {
        const qsizetype from = lines.size();
        std::optional<RxReport> report;
        (void)QTest::qWaitFor(
            [&] {
                for (qsizetype i = from; i < lines.size() && !report; ++i) {
                    const QRegularExpressionMatch m = kRxLine.match(lines[i]);
                    if (m.hasMatch())
                        report = RxReport{m.captured(1).toDouble(), m.captured(2).toInt()};
                }
                return report.has_value();
            },
            ms);
        return report;
    }

    // Waits for a report that satisfies the condition; false when none does within the time.
    template <typename Condition>
    bool rxReportWhere(Condition condition, int ms = kEventWaitMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            const std::optional<RxReport> report = nextRxReport(static_cast<int>(ms - clock.elapsed()));
            if (report && condition(*report))
                return true;
        }
        return false;
    }

    bool spectrumRuns(int ms = kEventWaitMs)
    {
        const qsizetype from = lines.size();
        return QTest::qWaitFor(
            [&] {
                return !lines.mid(from).filter(QRegularExpression(QStringLiteral("^DSP [1-9][0-9]* fps"))).isEmpty();
            },
            ms);
    }

    // Closes the receiver; true when the process is back at the threads it had before.
    bool disconnectAndCountThreads()
    {
        controller.disconnectDevice();
        return threadsBefore.restored();
    }

    // Before the controller, whose destruction still logs.
    QStringList lines;
    RtsaController controller;
    const ThreadBaseline threadsBefore;
};

} // namespace

class ReceiverFaultTest : public QObject {
    Q_OBJECT

private slots:
    void failingReadsAreCountedAndClearedByAReconnect()
    {
        Rig rig;
        {
            SimulatorSetting everyFourth("RZSIM_READ_FAIL", "4");
            QVERIFY(rig.connect());
            QVERIFY(rig.controller.startRx());
            // Every fourth read fails; the others keep the picture going.
            QVERIFY2(rig.rxReportWhere([](const RxReport& r) { return r.timeouts > 0 && r.mbPerSecond > 0.0; }),
                     qPrintable(rig.lines.join('|')));
            QVERIFY(rig.spectrumRuns());
            QVERIFY2(rig.disconnectAndCountThreads(), qPrintable(rig.threadsBefore.report()));
        }
        {
            // A receiver whose every read fails still reports, once a second, that nothing arrives.
            SimulatorSetting all("RZSIM_READ_FAIL", "all");
            QVERIFY(rig.connect());
            QVERIFY(rig.controller.startRx());
            QVERIFY(rig.controller.running());
            QVERIFY2(rig.rxReportWhere([](const RxReport& r) { return r.mbPerSecond == 0.0 && r.timeouts > 0; }),
                     qPrintable(rig.lines.join('|')));
            QVERIFY2(rig.disconnectAndCountThreads(), qPrintable(rig.threadsBefore.report()));
        }
        // Reconnected with the fault gone, the receiver delivers again with no timeouts.
        QVERIFY(rig.connect());
        QVERIFY(rig.controller.startRx());
        QVERIFY(rig.rxReportWhere([](const RxReport& r) { return r.timeouts == 0 && r.mbPerSecond > 0.0; }));
        QVERIFY(rig.spectrumRuns());
        QVERIFY2(rig.disconnectAndCountThreads(), qPrintable(rig.threadsBefore.report()));
    }

    void aReceiverThatStallsIsReportedAndRecovers()
    {
        Rig rig;
        // About a second of data at 2 MS/s (16384 samples a read), then every read waits and fails.
        SimulatorSetting stall("RZSIM_STALL_AFTER", "120");
        QVERIFY(rig.connect());
        QVERIFY(rig.controller.startRx());
        QVERIFY(rig.rxReportWhere([](const RxReport& r) { return r.mbPerSecond > 0.0; }));
        QVERIFY2(rig.rxReportWhere([](const RxReport& r) { return r.mbPerSecond == 0.0 && r.timeouts > 0; }),
                 qPrintable(rig.lines.join('|')));

        // A retune while stalled stops, applies and starts again on the device worker.
        rig.lines.clear();
        rig.controller.applyParams(1001.0, 2.0, 0, 0, 20, 30);
        QTRY_VERIFY_WITH_TIMEOUT(rig.lines.contains(QStringLiteral("RX started")), kEventWaitMs);
        QCOMPARE(rig.lines.filter(QRegularExpression(QStringLiteral("^(RX st|Applied)"))),
                 QStringList({"RX stopped",
                              "Applied RZ640: f=1001.000 MHz bw=2.000 MHz port=0 att=0 dB pre=20 dB if=30 dB",
                              "RX started"}));
        // The restarted stream delivers again until it stalls once more.
        QVERIFY(rig.rxReportWhere([](const RxReport& r) { return r.mbPerSecond > 0.0; }));
        QVERIFY(rig.rxReportWhere([](const RxReport& r) { return r.mbPerSecond == 0.0; }));

        rig.controller.stopRx();
        QVERIFY(!rig.controller.running());
        QVERIFY2(rig.disconnectAndCountThreads(), qPrintable(rig.threadsBefore.report()));
        stall.clear();
        QVERIFY(rig.connect());
        QVERIFY(rig.controller.startRx());
        // Long past the point where it stalled before.
        QTest::qWait(2000);
        QVERIFY(rig.rxReportWhere([](const RxReport& r) { return r.timeouts == 0 && r.mbPerSecond > 0.0; }));
        QVERIFY2(rig.disconnectAndCountThreads(), qPrintable(rig.threadsBefore.report()));
    }

    void aMalformedRecordingRefusesTheConnectUntilReplaced_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("cs16 with half a pair") << QStringLiteral("odd.cs16") << QByteArray("\x01\x02\x03\x04\x05\x06", 6);
        QTest::newRow("SigMF of another type")
            << QStringLiteral("float.sigmf-meta")
            << QByteArray(R"({"global": {"core:datatype": "cf32_le", "core:version": "1.0.0"}, "captures": []})");
        QTest::newRow("SigMF metadata that is not JSON") << QStringLiteral("broken.sigmf-meta") << QByteArray("{\"global\": ");
    }

    void aMalformedRecordingRefusesTheConnectUntilReplaced()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QTemporaryDir folder;
        QFile bad(folder.filePath(fileName));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(content);
        bad.close();
        if (fileName.endsWith(QStringLiteral(".sigmf-meta"))) {
            QFile data(folder.filePath(fileName.chopped(4) + QStringLiteral("data")));
            QVERIFY(data.open(QIODevice::WriteOnly));
            data.write(QByteArray(4096, '\0'));
        }

        Rig rig;
        {
            SimulatorSetting replay("RZSIM_REPLAY", bad.fileName().toUtf8());
            QVERIFY(!rig.controller.connectDevice());
            QVERIFY(!rig.controller.startRx());
            // Both say why, in the simulated SDK's words.
            QCOMPARE(rig.lines.size(), 2);
            for (const QString& line : rig.lines)
                QVERIFY2(line.startsWith(QStringLiteral("Device open error: RZ640 device not found (find(RZ_640_1/RZ_640_N) "
                                                        "both returned null); the SDK said: [rzsdr-sim] no receiver: ")),
                         qPrintable(line));
            QVERIFY(!rig.controller.connected() && !rig.controller.running());
            QVERIFY2(rig.threadsBefore.restored(), qPrintable(rig.threadsBefore.report()));
        }
        // A recording that replays in its place.
        QFile good(folder.filePath(QStringLiteral("quiet.cs16")));
        QVERIFY(good.open(QIODevice::WriteOnly));
        good.write(QByteArray(400000, '\0'));
        good.close();
        SimulatorSetting replay("RZSIM_REPLAY", good.fileName().toUtf8());
        QVERIFY(rig.connect());
        QVERIFY(rig.controller.startRx());
        QVERIFY(rig.rxReportWhere([](const RxReport& r) { return r.timeouts == 0 && r.mbPerSecond > 0.0; }));
        QVERIFY(rig.spectrumRuns());
        QVERIFY2(rig.disconnectAndCountThreads(), qPrintable(rig.threadsBefore.report()));
    }

    // The serial number comes from the receiver's query when it answers, else from its record.
    void aSerialThatCannotBeReadFallsBackToTheStoredOne_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QString>("shown");
        QTest::newRow("query fails") << QByteArray("fail") << QStringLiteral("RZ640S-000000");
        QTest::newRow("query answers nothing") << QByteArray("empty") << QStringLiteral("RZ640S-000000");
        QTest::newRow("no query") << QByteArray("absent") << QStringLiteral("RZ640S-000000");
        QTest::newRow("query answers") << QByteArray("ok") << QStringLiteral("RZ640S-7F3A21");
    }

    void aSerialThatCannotBeReadFallsBackToTheStoredOne()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QString, shown);
        Rig rig;
        SimulatorSetting settings("RZSIM_SERIAL", serial);
        QVERIFY(rig.connect());
        QCOMPARE(rig.controller.deviceSerial(), shown);
        QCOMPARE(rig.lines.first(), QStringLiteral("Device connected"));
        QVERIFY(rig.controller.startRx());
        QVERIFY(rig.rxReportWhere([](const RxReport& r) { return r.timeouts == 0 && r.mbPerSecond > 0.0; }));
        QVERIFY2(rig.disconnectAndCountThreads(), qPrintable(rig.threadsBefore.report()));
    }
};

QTEST_GUILESS_MAIN(ReceiverFaultTest)
#include "ReceiverFaultTest.moc"
