#include "app/RtsaController.h"
#include "tests/app/ScriptedReceiver.h"
#include "tests/support/RtsaControllerTestAccess.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <memory>
#include <thread>

namespace {

// A controller on a scripted receiver, with every log line it emits.
struct Rig {
    explicit Rig(std::shared_ptr<ReceiverScript> s = std::make_shared<ReceiverScript>())
        : script(std::move(s)),
          controller(std::make_unique<RtsaController>(
              [script = script] { return std::make_unique<ScriptedReceiver>(script); }))
    {
        // Bound to the controller, so lines from other threads arrive queued in this one.
        QObject::connect(controller.get(), &RtsaController::logMessage, controller.get(),
                         [this](const QString& line) { lines << line; });
        QObject::connect(controller.get(), &RtsaController::centerFreqChanged, controller.get(),
                         [this](double mhz) { centres << mhz; });
    }

    int countCalls(const std::string& call) const
    {
        const std::vector<std::string> calls = script->calls();
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }

    std::shared_ptr<ReceiverScript> script;
    // Before the controller: its destructor still logs.
    QStringList lines;
    QList<double> centres;
    std::unique_ptr<RtsaController> controller;
};

std::vector<std::string> applyCalls(const std::vector<std::string>& calls)
{
    std::vector<std::string> out;
    for (const std::string& call : calls) {
        if (call.rfind("set", 0) == 0 && call.rfind("setChannel", 0) != 0)
            out.push_back(call);
    }
    return out;
}

} // namespace

class DeviceControlTest : public QObject {
    Q_OBJECT

private slots:
    void connectingTwiceOpensOnce()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QSignalSpy connected(&c, &RtsaController::connectedChanged);
        QVERIFY(c.connectDevice());
        QVERIFY(c.connectDevice());
        QCOMPARE(rig.script->opens.load(), 1);
        QCOMPARE(connected.count(), 1);
        QCOMPARE(rig.lines, QStringList({"Device connected"}));
        QVERIFY(c.connected());
        QCOMPARE(c.deviceName(), QStringLiteral("RZ640 USB3 FT601"));
        QCOMPARE(c.deviceSerial(), QStringLiteral("RZ640-0042"));
        QCOMPARE(c.deviceBackend(), QStringLiteral("RZ640"));
    }

    void autoSelectionPicksTheFirstListedReceiverOnce()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QSignalSpy selection(&c, &RtsaController::deviceSelectionChanged);
        QVERIFY(c.connectDevice());
        QCOMPARE(c.deviceSelection(), QStringLiteral("RZ640"));
        QCOMPARE(selection.count(), 1);
        QCOMPARE(rig.script->calls(),
                 std::vector<std::string>({"selectDevice RZ640", "setChannel 0", "setChannel 0", "open"}));

        // The selection made stays: a reconnect neither lists nor selects again.
        c.disconnectDevice();
        rig.script->clearCalls();
        QVERIFY(c.connectDevice());
        QCOMPARE(selection.count(), 1);
        QCOMPARE(rig.script->calls(), std::vector<std::string>({"setChannel 0", "open"}));
    }

    void noListedReceiverLeavesTheSelectionEmpty()
    {
        auto script = std::make_shared<ReceiverScript>();
        script->ids.clear();
        Rig rig(script);
        QSignalSpy selection(rig.controller.get(), &RtsaController::deviceSelectionChanged);
        QVERIFY(rig.controller->connectDevice());
        QCOMPARE(rig.controller->deviceSelection(), QString());
        QCOMPARE(selection.count(), 0);
    }

    void linkClassification_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("usb3Ok");
        QTest::newRow("usb3 in capitals") << "RZ640 USB3" << true;
        QTest::newRow("usb 3 mixed case") << "Receiver uSb 3.0" << true;
        QTest::newRow("bridge chip") << "rz640 (Ft600)" << true;
        QTest::newRow("ethernet") << "RZ640 ETHERNET" << false;
        QTest::newRow("network model") << "Rz640_N" << false;
        QTest::newRow("net") << "LabNet receiver" << false;
        QTest::newRow("both hints") << "Ethernet to USB3 bridge" << true;
        QTest::newRow("no hint") << "RZ640" << true;
    }

    void linkClassification()
    {
        QFETCH(QString, name);
        QFETCH(bool, usb3Ok);
        auto script = std::make_shared<ReceiverScript>();
        script->name = name.toStdString();
        Rig rig(script);
        RtsaController& c = *rig.controller;
        QSignalSpy info(&c, &RtsaController::deviceInfoChanged);
        QVERIFY(!c.usb3Known());
        QVERIFY(c.connectDevice());
        QVERIFY(c.usb3Known());
        QCOMPARE(c.usb3Ok(), usb3Ok);
        QCOMPARE(info.count(), 1);

        c.disconnectDevice();
        QVERIFY(!c.usb3Known());
        QVERIFY(!c.usb3Ok());
        QCOMPARE(c.deviceName(), QString());
        QCOMPARE(c.deviceSerial(), QString());
        QCOMPARE(info.count(), 2);
    }

    void emptySerialIsShownAsUnknown()
    {
        auto script = std::make_shared<ReceiverScript>();
        script->serial.clear();
        Rig rig(script);
        QVERIFY(rig.controller->connectDevice());
        QCOMPARE(rig.controller->deviceSerial(), QStringLiteral("unknown"));
    }

    void openFailuresLeaveTheControllerIdleAndATryLaterWorks()
    {
        auto script = std::make_shared<ReceiverScript>();
        script->openResult = false;
        Rig rig(script);
        RtsaController& c = *rig.controller;
        QSignalSpy info(&c, &RtsaController::deviceInfoChanged);
        QSignalSpy connected(&c, &RtsaController::connectedChanged);
        QSignalSpy error(&c, &RtsaController::lastErrorChanged);
        QVERIFY(!c.connectDevice());
        QCOMPARE(rig.lines, QStringList({"Device open failed"}));
        QCOMPARE(c.lastError(), QStringLiteral("Device open failed"));

        script->openError = "Failed to load librzsdr.so";
        QVERIFY(!c.connectDevice());
        QCOMPARE(rig.lines.last(), QStringLiteral("Device open error: Failed to load librzsdr.so"));
        QCOMPARE(c.lastError(), QStringLiteral("Device open error: Failed to load librzsdr.so"));
        // Each attempt clears the last failure before it reports its own.
        QCOMPARE(error.count(), 3);
        QCOMPARE(info.count(), 0);
        QCOMPARE(connected.count(), 0);
        QVERIFY(!c.connected());
        QVERIFY(!c.usb3Known());
        QCOMPARE(c.deviceName(), QString());

        // A start that cannot connect says only why it could not.
        rig.lines.clear();
        QVERIFY(!c.startRx());
        QCOMPARE(rig.lines, QStringList({"Device open error: Failed to load librzsdr.so"}));
        QVERIFY(!c.running());

        script->openError.clear();
        script->openResult = true;
        QVERIFY(c.connectDevice());
        QCOMPARE(rig.script->opens.load(), 4);
        QCOMPARE(rig.lines.last(), QStringLiteral("Device connected"));
    }

    void selectionAndChannelGoToTheReceiver()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QSignalSpy channel(&c, &RtsaController::deviceChannelChanged);
        c.setDeviceChannel(5);
        QCOMPARE(c.deviceChannel(), 1);
        c.setDeviceChannel(1);
        QCOMPARE(channel.count(), 1);
        c.setDeviceChannel(-3);
        QCOMPARE(c.deviceChannel(), 0);
        QCOMPARE(channel.count(), 2);

        QSignalSpy selection(&c, &RtsaController::deviceSelectionChanged);
        c.setDeviceSelection(QStringLiteral("RZ640-B"));
        c.setDeviceSelection(QStringLiteral("RZ640-B"));
        QCOMPARE(selection.count(), 1);
        QCOMPARE(rig.script->calls(), std::vector<std::string>({"setChannel 1", "setChannel 0",
                                                                "selectDevice RZ640-B", "setChannel 0"}));
        // An explicit selection is not replaced by the first listed receiver.
        QVERIFY(c.connectDevice());
        QCOMPARE(c.deviceSelection(), QStringLiteral("RZ640-B"));
        QCOMPARE(selection.count(), 1);
    }

    void deviceListStartsWithAuto()
    {
        auto script = std::make_shared<ReceiverScript>();
        script->ids = {"RZ640", "RZ640-B"};
        Rig rig(script);
        const QVariantList list = rig.controller->deviceList();
        QCOMPARE(list.size(), 3);
        const QStringList expected{"Auto", "", "RZ640", "RZ640", "RZ640-B", "RZ640-B"};
        for (int i = 0; i < list.size(); ++i) {
            const QVariantMap entry = list[i].toMap();
            QCOMPARE(entry.value("label").toString(), expected[2 * i]);
            QCOMPARE(entry.value("args").toString(), expected[2 * i + 1]);
        }

        RtsaController without([] { return std::unique_ptr<IDevice>(); });
        QVERIFY(without.deviceList().isEmpty());
        QVERIFY(!without.connectDevice());
    }

    void applyStoresWhileDisconnectedAndSendsInOrderOnceConnected()
    {
        auto script = std::make_shared<ReceiverScript>();
        Rig rig(script);
        RtsaController& c = *rig.controller;
        // Only the low 8 bits of the front-end values are kept.
        c.applyParams(433.92, 10.0, 257, 266, 20, 30);
        QTRY_COMPARE(rig.centres, QList<double>({433.92}));
        QCOMPARE(rig.script->calls(), std::vector<std::string>());
        QVERIFY(rig.lines.isEmpty());

        // The start sends the stored values; the receiver runs at a rate of its own.
        script->actualRate = 9'999'000;
        QVERIFY(c.connectDevice());
        rig.script->clearCalls();
        QVERIFY(c.startRx());
        QCOMPARE(applyCalls(rig.script->calls()),
                 std::vector<std::string>({"setPort 1", "setCenterFrequency 433920000", "setSampleRate 10000000",
                                           "setAttenuation 10", "setPreamp 20", "setIfGain 30"}));
        QVERIFY(rig.lines.contains(
            "Applied RZ640: f=433.920 MHz bw=10.000 MHz port=1 att=10 dB pre=20 dB if=30 dB"));
        // The same centre again: no change to report.
        QCOMPARE(rig.centres.size(), 1);

        // A later apply sends the receiver's own rate back as the bandwidth.
        c.stopRx();
        rig.lines.clear();
        QVERIFY(c.startRx());
        QVERIFY(rig.lines.contains(
            "Applied RZ640: f=433.920 MHz bw=9.999 MHz port=1 att=10 dB pre=20 dB if=30 dB"));
    }

    void retuneToMarkerKeepsTheRestAndIgnoresNoFrequency()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QVERIFY(c.connectDevice());
        c.applyParams(100.0, 5.0, 1, 10, 20, 30);
        QTRY_VERIFY(rig.lines.contains("Applied RZ640: f=100.000 MHz bw=5.000 MHz port=1 att=10 dB pre=20 dB if=30 dB"));

        rig.lines.clear();
        rig.centres.clear();
        c.retuneCenterTo(0.0);
        c.retuneCenterTo(-1e6);
        QTest::qWait(50);
        QVERIFY(rig.lines.isEmpty());
        QVERIFY(rig.centres.isEmpty());

        c.retuneCenterTo(101.25e6);
        QTRY_COMPARE(rig.centres, QList<double>({101.25}));
        QCOMPARE(rig.lines, QStringList({"Applied RZ640: f=101.250 MHz bw=5.000 MHz port=1 att=10 dB pre=20 dB if=30 dB"}));
    }

    // A retune or a new FFT size restarts the run under the hood; for the window the analyser
    // keeps running, so its Start/Stop button never offers Start halfway through.
    void restartsKeepTheAnalyserRunningThroughout()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QVERIFY(c.startRx());
        QSignalSpy running(&c, &RtsaController::runningChanged);
        c.retuneCenterTo(101.25e6);
        QTRY_COMPARE(rig.countCalls("startStreaming"), 2);
        c.setFftSize(4096);
        QCOMPARE(rig.countCalls("startStreaming"), 3);
        QCOMPARE(rig.countCalls("stopStreaming"), 2);
        QVERIFY(c.running());
        QVERIFY(RtsaControllerTestAccess::hasRings(c));
        QCOMPARE(running.count(), 0);
        // The retune's lines come from the device worker, queued.
        QTRY_COMPARE(rig.lines.count("RX started"), 3);

        c.stopRx();
        QCOMPARE(running.count(), 1);
        QVERIFY(!c.running());
    }

    void startAndStopAreIdempotent()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QSignalSpy running(&c, &RtsaController::runningChanged);
        c.stopRx();
        QCOMPARE(running.count(), 0);
        QVERIFY(rig.lines.isEmpty());

        // Not connected yet: the start connects first.
        QVERIFY(c.startRx());
        QVERIFY(c.connected());
        QVERIFY(c.startRx());
        QCOMPARE(running.count(), 1);
        QCOMPARE(rig.countCalls("startStreaming"), 1);
        QCOMPARE(rig.lines.count("RX started"), 1);
        QVERIFY(RtsaControllerTestAccess::hasRings(c));
        QTRY_VERIFY(rig.script->reads.load() > 5);

        c.stopRx();
        c.stopRx();
        QCOMPARE(running.count(), 2);
        QCOMPARE(rig.lines.count("RX stopped"), 1);
        QCOMPARE(rig.countCalls("stopStreaming"), 1);
        QVERIFY(!RtsaControllerTestAccess::hasRings(c));
        // The RX thread is gone: the receiver is read no more.
        const int reads = rig.script->reads.load();
        QTest::qWait(20);
        QCOMPARE(rig.script->reads.load(), reads);
    }

    void failedStreamingStartLeavesTheReceiverConnectedButStopped()
    {
        auto script = std::make_shared<ReceiverScript>();
        script->startResult = false;
        Rig rig(script);
        RtsaController& c = *rig.controller;
        QSignalSpy running(&c, &RtsaController::runningChanged);
        QVERIFY(!c.startRx());
        QCOMPARE(rig.lines.last(), QStringLiteral("Device start RX failed"));
        QCOMPARE(c.lastError(), QStringLiteral("Device start RX failed"));
        QVERIFY(c.connected());
        QVERIFY(!c.running());
        QCOMPARE(running.count(), 0);
        QVERIFY(!RtsaControllerTestAccess::hasRings(c));
    }

    void disconnectStopsAcquisitionFirst()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QVERIFY(c.startRx());
        rig.lines.clear();
        c.disconnectDevice();
        QCOMPARE(rig.lines, QStringList({"RX stopped", "Device disconnected"}));
        QVERIFY(!c.connected());
        QVERIFY(!c.running());

        // Idle: nothing to close, but the device information is still cleared.
        QSignalSpy info(&c, &RtsaController::deviceInfoChanged);
        c.disconnectDevice();
        QCOMPARE(rig.lines.size(), 2);
        QCOMPARE(info.count(), 1);
        QCOMPARE(rig.countCalls("close"), 1);
    }

    void destroyingWhileAcquiringClosesTheReceiverOnce()
    {
        Rig rig;
        QVERIFY(rig.controller->startRx());
        rig.controller.reset();
        QCOMPARE(rig.lines.filter(QRegularExpression("^RX st")), QStringList({"RX started", "RX stopped"}));
        QCOMPARE(rig.lines.count("Device disconnected"), 1);
        QCOMPARE(rig.countCalls("close"), 1);
    }

    void retuneHeldInTheReceiverAtDestructionDropsThePendingOne()
    {
        // The destructor must drop the pending retune before it waits for the one in progress;
        // the window is narrow, so the race is run many times.
        for (int round = 0; round < 25; ++round) {
            Rig rig;
            QVERIFY(rig.controller->connectDevice());
            rig.script->holdNextRetune();
            rig.controller->applyParams(100.0, 20.0, 0, 0, 0, 0);
            QTRY_VERIFY(rig.script->retuneHeld());
            rig.controller->applyParams(200.0, 20.0, 0, 0, 0, 0);
            std::thread release([script = rig.script, round] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1 + round % 5));
                script->releaseRetune();
            });
            rig.controller.reset();
            release.join();
            QCOMPARE(rig.countCalls("setCenterFrequency 200000000"), 0);
            QCOMPARE(rig.countCalls("setCenterFrequency 100000000"), 1);
        }
    }

    void retuneThatClampsTheResolutionTargetReportsIt()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QSignalSpy target(&c, &RtsaController::rbwTargetHzChanged);
        QSignalSpy adjusted(&c, &RtsaController::autoAdjustmentChanged);
        c.setRbwTargetHz(1000.0);
        QCOMPARE(target.count(), 1);
        QVERIFY(qAbs(c.rbwTargetHz() - 3662.109375) < 1e-3);

        // 30 MS/s cannot resolve that finely: the stored target moves, and says so.
        c.applyParams(1000.0, 30.0, 0, 0, 0, 0);
        QTRY_COMPARE(target.count(), 2);
        QVERIFY(qAbs(c.rbwTargetHz() - 5493.1640625) < 1e-3);
        QVERIFY(rig.lines.contains("RBW target too low, clamped to 5.493 kHz"));
        QCOMPARE(c.autoAdjustment(), QStringLiteral("RBW target too low, clamped to 5.493 kHz"));
        // The first clamp, to 3.662 kHz at 20 MS/s, and this one.
        QCOMPARE(adjusted.count(), 2);

        // The same rate again: the target stands, and nothing is reported.
        c.applyParams(1000.0, 30.0, 0, 0, 0, 0);
        QTest::qWait(50);
        QCOMPARE(target.count(), 2);
        QCOMPARE(adjusted.count(), 2);
    }

    void retunesRacingWithStartAndStopNeverLeaveARunHalfBuilt()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QVERIFY(c.connectDevice());
        for (int i = 0; i < 30; ++i) {
            c.applyParams(100.0 + i, 20.0, 0, 0, 20, 30);
            if (i % 2 == 0)
                QVERIFY(c.startRx());
            else
                c.stopRx();
            QTest::qWait(i % 5);
        }
        QVERIFY(c.startRx());
        QTRY_VERIFY(rig.lines.contains("Applied RZ640: f=129.000 MHz bw=20.000 MHz port=0 att=0 dB pre=20 dB if=30 dB"));
        // Let a retune still in flight finish.
        QTest::qWait(50);
        QVERIFY(c.running());
        const QStringList runs = rig.lines.filter(QRegularExpression("^RX st"));
        QCOMPARE(runs.last(), QStringLiteral("RX started"));
        QCOMPARE(runs.count("RX started") - runs.count("RX stopped"), 1);
        c.stopRx();
        QVERIFY(!RtsaControllerTestAccess::hasRings(c));
    }

    void overloadWarningAtMostEveryTwoSeconds()
    {
        Rig rig;
        RtsaController& c = *rig.controller;
        QSignalSpy adjusted(&c, &RtsaController::autoAdjustmentChanged);
        RtsaControllerTestAccess::dspOverload(c, QStringLiteral("ring=4000000/4194304"));
        RtsaControllerTestAccess::dspOverload(c, QStringLiteral("ring=4100000/4194304"));
        RtsaControllerTestAccess::dspOverload(c, QStringLiteral("ring=4100000/4194304"));
        QCOMPARE(rig.lines, QStringList({"DSP overload trigger: ring=4000000/4194304",
                                         "DSP overload detected (no auto-degrade)",
                                         "DSP overload trigger: ring=4100000/4194304",
                                         "DSP overload trigger: ring=4100000/4194304"}));
        // Each trigger is announced to the window's AUTO badge, a repeated one too.
        QCOMPARE(adjusted.count(), 3);
        QCOMPARE(c.autoAdjustment(), QStringLiteral("DSP overload trigger: ring=4100000/4194304"));
    }
};

QTEST_GUILESS_MAIN(DeviceControlTest)
#include "DeviceControlTest.moc"
