// The controller's audio output against a scripted receiver and the scripted test driver: when
// it opens and closes, what it tells the user and in which order, which outputs play what, and
// the queries behind the audio settings. The driver's buffer switches are run by the test.
#include "app/RtsaController.h"
#include "audio/AsioBackend.h"
#include "tests/app/ScriptedReceiver.h"
#include "tests/audio/AsioTestRegistry.h"
#include "tests/support/EventWait.h"
#include "tests/support/RtsaControllerTestAccess.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numeric>
#include <thread>
#include <vector>

namespace {

const QString kNameChanged = QStringLiteral("<audioDeviceNameChanged>");

// A controller on a scripted receiver whose audio backend looks for drivers in a registry folder
// of the test's own (or that has no backend at all). Demodulation stays off, so the audio bus
// holds only what a test writes into it.
struct Rig {
    explicit Rig(bool withBackend = true)
        : script(std::make_shared<ReceiverScript>()),
          controller([script = script] { return std::make_unique<ScriptedReceiver>(script); },
                     [this, withBackend](AsioLogSink log) -> std::unique_ptr<AudioBackend> {
                         if (!withBackend)
                             return nullptr;
                         return std::make_unique<AsioBackend>(std::vector{registry.path()}, std::move(log));
                     })
    {
        QObject::connect(&controller, &RtsaController::logMessage, &controller, [this](const QString& line) {
            // The spectrum thread's periodic lines arrive whenever the event loop runs; the
            // connect and apply lines of a start are device control's.
            if (line.startsWith(QStringLiteral("DSP ")) || line.startsWith(QStringLiteral("Audio: fill=")))
                statusLines << line;
            else if (!line.startsWith(QStringLiteral("Device ")) && !line.startsWith(QStringLiteral("Applied ")))
                events << line;
        });
        QObject::connect(&controller, &RtsaController::audioDeviceNameChanged, &controller,
                         [this] { events << kNameChanged; });
    }

    void install(const std::string& key, std::map<std::string, std::string> script = {})
    {
        registry.writeEntry(key + ".conf", scriptedEntry(key, std::move(script)));
    }

    // Starts acquisition with audio on the named driver and clears what that start told.
    void play(const QString& device)
    {
        controller.setAudioDeviceName(device);
        controller.setAudioEnabled(true);
        QVERIFY(controller.startRx());
        QVERIFY2(events.filter(QStringLiteral("Audio: opened")).size() == 1, qPrintable(events.join('|')));
        events.clear();
    }

    AudioBus& bus() { return RtsaControllerTestAccess::demod(controller).audioBus(); }
    size_t leftSlot() { return RtsaControllerTestAccess::demod(controller).leftSlot(); }
    size_t rightSlot() { return RtsaControllerTestAccess::demod(controller).rightSlot(); }

    TestFolder registry{"audio-control"};
    std::shared_ptr<ReceiverScript> script;
    QStringList events;
    QStringList statusLines;
    RtsaController controller;
};

// The outputs the driver created buffers for, that is the ones the backend plays.
QList<int> activeOutputs(const ScriptedDriverProbe& probe, int outputs)
{
    QList<int> active;
    for (int c = 0; c < outputs; ++c) {
        if (probe.buffer<float>(c, 0) != nullptr)
            active << c;
    }
    return active;
}

} // namespace

class AudioControlTest : public QObject {
    Q_OBJECT

private slots:
    void bufferSizeIsClampedAndOnlyRestartsAudioThatPlays()
    {
        Rig rig;
        RtsaController& c = rig.controller;
        QSignalSpy changed(&c, &RtsaController::audioBufferFramesChanged);
        c.setAudioEnabled(true);
        c.setAudioBufferFrames(512);
        QCOMPARE(c.audioBufferFrames(), 512);
        QCOMPARE(rig.events, QStringList({"Audio: buffer size changed 256->512 (audioEn=1, running=0)",
                                          "Audio: not restarting (audio not active)"}));

        c.setAudioBufferFrames(10);
        QCOMPARE(c.audioBufferFrames(), 64);
        c.setAudioBufferFrames(10000);
        QCOMPARE(c.audioBufferFrames(), 4096);
        QCOMPARE(changed.size(), 3);
        // Equal once clamped: nothing at all.
        rig.events.clear();
        c.setAudioBufferFrames(5000);
        QCOMPARE(changed.size(), 3);
        QVERIFY(rig.events.isEmpty());

        c.setAudioEnabled(false);
        c.setAudioBufferFrames(128);
        QCOMPARE(rig.events.first(), QStringLiteral("Audio: buffer size changed 4096->128 (audioEn=0, running=0)"));
    }

    void bufferChangeWhilePlayingReopensWithTheNewSize()
    {
        Rig rig;
        rig.install("Scripted");
        ScriptedDriverProbe probe;
        RtsaController& c = rig.controller;
        c.setAudioDeviceName(QStringLiteral("Scripted"));
        c.setAudioEnabled(true);
        rig.events.clear();
        QVERIFY(c.startRx());
        // No demodulated audio arrives, so the wait runs out without a prefill line.
        QCOMPARE(rig.events, QStringList({"Audio: waiting for demod prefill...",
                                          "Audio: opened Scripted buf=256 (prefill: 0.0% -> 0.0%)", "RX started"}));
        QCOMPARE(probe.counts().lastBufferFrames, 256);

        rig.events.clear();
        c.setAudioBufferFrames(512);
        QCOMPARE(rig.events,
                 QStringList({"Audio: buffer size changed 256->512 (audioEn=1, running=1)",
                              "Audio: restarting audio system...", "Audio: closed", "Audio: starting new instance...",
                              "Audio: waiting for demod prefill...",
                              "Audio: opened Scripted buf=512 (prefill: 0.0% -> 0.0%)"}));
        QCOMPARE(probe.counts().lastBufferFrames, 512);

        // The output stops before acquisition does.
        rig.events.clear();
        c.stopRx();
        QCOMPARE(rig.events, QStringList({"Audio: closed", "RX stopped"}));
    }

    void startAndStopFollowTheSwitchAndTheFrontEnd()
    {
        Rig rig;
        rig.install("Scripted");
        RtsaController& c = rig.controller;
        QVERIFY(c.startRx());
        c.setAudioDeviceName(QStringLiteral("Scripted"));
        QVERIFY(rig.events.filter(QStringLiteral("Audio:")).isEmpty()); // not enabled: no restart

        c.setAudioEnabled(true);
        QVERIFY(rig.events.contains(QStringLiteral("Audio: opened Scripted buf=256 (prefill: 0.0% -> 0.0%)")));

        rig.events.clear();
        rig.script->clearCalls();
        c.setDeviceChannel(1);
        QCOMPARE(rig.events, QStringList({"Audio: restarting for RX front-end switch...", "Audio: closed",
                                          "Audio: waiting for demod prefill...",
                                          "Audio: opened Scripted buf=256 (prefill: 0.0% -> 0.0%)"}));
        const std::vector<std::string> calls = rig.script->calls();
        QVERIFY(std::find(calls.begin(), calls.end(), "setChannel 1") != calls.end());

        // A closed output is not closed again, but its bus is emptied all the same.
        rig.events.clear();
        c.setAudioEnabled(false);
        QCOMPARE(rig.events, QStringList{"Audio: closed"});
        rig.bus().write(rig.leftSlot(), ramp(100, 0.1f, 0.0f).data(), 100);
        c.stopRx();
        QCOMPARE(rig.events, QStringList({"Audio: closed", "RX stopped"}));
        QCOMPARE(rig.bus().fill(rig.leftSlot()), 0.0);
    }

    void anEmptyDeviceNameTakesTheFirstDriver()
    {
        Rig rig;
        rig.install("Alpha");
        rig.install("Beta");
        RtsaController& c = rig.controller;
        c.setAudioEnabled(true);
        QVERIFY(c.startRx());
        QCOMPARE(c.audioDeviceName(), QStringLiteral("Alpha"));
        QCOMPARE(rig.events, QStringList({kNameChanged, "Audio: waiting for demod prefill...",
                                          "Audio: opened Alpha buf=256 (prefill: 0.0% -> 0.0%)", "RX started"}));
        c.stopRx();
    }

    void aStartThatCannotOpenSaysWhy()
    {
        {
            Rig rig; // no driver installed
            rig.controller.setAudioEnabled(true);
            QVERIFY(rig.controller.startRx());
            QCOMPARE(rig.events, QStringList({"Audio: no device", "RX started"}));
            QCOMPARE(rig.controller.lastError(), QStringLiteral("Audio: no device"));
            QVERIFY(rig.controller.audioDeviceName().isEmpty());
        }
        {
            Rig rig;
            rig.install("Broken", {{"fail", "init"}});
            rig.controller.setAudioDeviceName(QStringLiteral("Broken"));
            rig.controller.setAudioEnabled(true);
            rig.events.clear();
            QVERIFY(rig.controller.startRx());
            // The driver's own reason comes with the failure.
            const QString failure =
                QStringLiteral("Audio: open failed: ASIO: ASIOInit failed (scripted init failure), removing driver");
            QCOMPARE(rig.events, QStringList({"Audio: waiting for demod prefill...", failure, "RX started"}));
            QCOMPARE(rig.controller.lastError(), failure);
            // Nothing opened, so nothing closes.
            rig.events.clear();
            rig.controller.stopRx();
            QCOMPARE(rig.events, QStringList{"RX stopped"});
        }
        {
            Rig rig(false);
            RtsaController& c = rig.controller;
            c.setAudioEnabled(true);
            QVERIFY(c.startRx());
            QCOMPARE(rig.events, QStringList({"Audio: backend unavailable", "RX started"}));
            QVERIFY(c.audioDevices().isEmpty());
            QVERIFY(c.audioBufferSizeInfo(QStringLiteral("Any")).isEmpty());
            QVERIFY(c.audioOutputChannels(QStringLiteral("Any")).isEmpty());
            QVERIFY(!c.showAudioControlPanel(QStringLiteral("Any")));
            c.setAudioTestTone(true);
            rig.events.clear();
            c.setAudioOutputChannel(1);
            QCOMPARE(rig.events, QStringList({"Audio: restarting for output channel change...",
                                              "Audio: backend unavailable"}));
            QCOMPARE(c.audioOutputChannel(), 1);
        }
    }

    void prefillIsWaitedForAndPlayedFirst()
    {
        Rig rig;
        rig.install("Scripted", {{"sampletype", "19"}});
        ScriptedDriverProbe probe;
        RtsaController& c = rig.controller;
        QVERIFY(c.startRx());
        // Stale audio waits in the bus; once the start has emptied it, 152 fresh samples of 2400
        // arrive: more than 5 % at the next poll.
        const std::vector<float> stale(2000, 0.5f);
        rig.bus().write(rig.leftSlot(), stale.data(), stale.size());
        const std::vector<float> audio = ramp(152, 0.001f, 0.001f);
        std::thread demodulator([&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEventWaitMs);
            while (rig.bus().fill(rig.leftSlot()) > 0.5 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::yield();
            rig.bus().write(rig.leftSlot(), audio.data(), audio.size());
        });
        c.setAudioDeviceName(QStringLiteral("Scripted"));
        rig.events.clear();
        c.setAudioEnabled(true);
        demodulator.join();
        QCOMPARE(rig.events.size(), 3);
        QCOMPARE(rig.events[0], QStringLiteral("Audio: waiting for demod prefill..."));
        QVERIFY2(QRegularExpression("^Audio: prefill reached 6\\.3% after \\d+0ms$").match(rig.events[1]).hasMatch(),
                 qPrintable(rig.events[1]));
        QCOMPARE(rig.events[2], QStringLiteral("Audio: opened Scripted buf=256 (prefill: 6.3% -> 6.3%)"));

        // The first buffer plays the prefill, then silence, and counts the shortfall once.
        QVERIFY(probe.runSwitch(0));
        const float* out = probe.buffer<float>(0, 0);
        QVERIFY(out != nullptr);
        QCOMPARE(out[0], 0.001f);
        QCOMPARE(out[151], audio[151]);
        QCOMPARE(out[152], 0.0f);
        QCOMPARE(RtsaControllerTestAccess::underruns(c), uint64_t{1});

        // A restart starts counting anew.
        c.setAudioOutputChannel(0); // unchanged: no restart
        c.setAudioOutputChannelLeft(0);
        QCOMPARE(RtsaControllerTestAccess::underruns(c), uint64_t{0});
        c.stopRx();
    }

    void monoAndStereoPlayOnTheirOutputs()
    {
        Rig rig;
        rig.install("Stereo", {{"outputs", "2"}, {"sampletype", "19"}});
        rig.install("Quad", {{"outputs", "4"}, {"sampletype", "19"}});
        ScriptedDriverProbe probe;
        RtsaController& c = rig.controller;

        // Mono on an output the driver lacks plays on its first.
        c.setAudioOutputChannel(5);
        rig.play(QStringLiteral("Stereo"));
        QCOMPARE(activeOutputs(probe, 2), QList<int>{0});

        // Stereo from output 2: left on 2, right on 3, announced before the stereo switch.
        c.setAudioOutputChannel(2);
        QCOMPARE(activeOutputs(probe, 2), QList<int>{0});
        c.setAudioDeviceName(QStringLiteral("Quad"));
        QCOMPARE(activeOutputs(probe, 4), QList<int>{2});
        QStringList order;
        connect(&c, &RtsaController::audioOutputChannelLeftChanged, &c, [&] { order << "left"; });
        connect(&c, &RtsaController::audioOutputChannelRightChanged, &c, [&] { order << "right"; });
        connect(&c, &RtsaController::newDemodFmStereoEnabledChanged, &c, [&] { order << "stereo"; });
        rig.events.clear();
        c.setNewDemodFmStereoEnabled(true);
        QCOMPARE(order, QStringList({"left", "right", "stereo"}));
        QCOMPARE(c.audioOutputChannelLeft(), 2);
        QCOMPARE(c.audioOutputChannelRight(), 3);
        QCOMPARE(rig.events, QStringList({"FM stereo: ENABLED", "Audio: closed", "Audio: restarting for FM stereo mode...",
                                          "Audio: waiting for demod prefill...",
                                          "Audio: opened Quad buf=256 (prefill: 0.0% -> 0.0%)"}));
        QCOMPARE(activeOutputs(probe, 4), QList<int>({2, 3}));
        const std::vector<float> left = ramp(256, 0.001f, 0.001f);
        const std::vector<float> right = ramp(256, -0.001f, -0.001f);
        rig.bus().write(rig.leftSlot(), left.data(), left.size());
        rig.bus().write(rig.rightSlot(), right.data(), right.size());
        QVERIFY(probe.runSwitch(1));
        QCOMPARE(probe.buffer<float>(2, 1)[255], left[255]);
        QCOMPARE(probe.buffer<float>(3, 1)[255], right[255]);

        // The same output for both: a warning, and the left signal alone.
        rig.events.clear();
        c.setAudioOutputChannelRight(2);
        QVERIFY(rig.events.contains(QStringLiteral("Audio: L/R output channels must be different")));
        QCOMPARE(rig.events.indexOf(QStringLiteral("Audio: L/R output channels must be different")),
                 rig.events.indexOf(QStringLiteral("Audio: waiting for demod prefill...")) + 1);
        QCOMPARE(activeOutputs(probe, 4), QList<int>{2});
        rig.bus().write(rig.leftSlot(), left.data(), left.size());
        rig.bus().write(rig.rightSlot(), right.data(), right.size());
        QVERIFY(probe.runSwitch(0));
        QCOMPARE(probe.buffer<float>(2, 0)[10], left[10]);

        // Stereo asked for at a deviation it cannot be decoded at plays mono on the mono output.
        DemodParams params = RtsaControllerTestAccess::demod(c).getParams();
        params.fmDeviationHz = 75000.0;
        RtsaControllerTestAccess::demod(c).setParams(params);
        c.setAudioOutputChannel(1);
        QCOMPARE(activeOutputs(probe, 4), QList<int>{1});

        // Back to mono: the left output becomes the mono one.
        QSignalSpy mono(&c, &RtsaController::audioOutputChannelChanged);
        order.clear();
        c.setNewDemodFmStereoEnabled(false);
        QCOMPARE(mono.size(), 1);
        QCOMPARE(order, QStringList({"left", "right", "stereo"}));
        QCOMPARE(c.audioOutputChannel(), 2);
        QCOMPARE(c.audioOutputChannelLeft(), -1);
        QCOMPARE(c.audioOutputChannelRight(), -1);
        QCOMPARE(activeOutputs(probe, 4), QList<int>{2});
        c.stopRx();
    }

    void queriesAnswerFromTheDrivers()
    {
        Rig rig;
        rig.install("Alpha", {{"names", "Left,"}, {"granularity", "32"}});
        rig.install("Beta", {{"controlpanel", "-1000"}});
        RtsaController& c = rig.controller;
        QCOMPARE(c.audioDevices(), QStringList({"Alpha", "Beta"}));

        QVERIFY(c.audioBufferSizeInfo(QString()).isEmpty());
        const QVariantMap sizes = c.audioBufferSizeInfo(QStringLiteral("Alpha"));
        QCOMPARE(sizes, QVariantMap({{"minSize", 64}, {"maxSize", 2048}, {"preferredSize", 256}, {"granularity", 32}}));
        QCOMPARE(c.audioBufferSizeInfo(QStringLiteral("Missing")),
                 QVariantMap({{"minSize", 0}, {"maxSize", 0}, {"preferredSize", 0}, {"granularity", 0}}));

        QVERIFY(c.audioOutputChannels(QString()).isEmpty());
        QCOMPARE(c.audioOutputChannels(QStringLiteral("Alpha")),
                 QVariantList({QVariantMap{{"index", 0}, {"name", "Left"}}, QVariantMap{{"index", 1}, {"name", "Output 2"}}}));

        QVERIFY(!c.showAudioControlPanel(QString()));
        QVERIFY(c.showAudioControlPanel(QStringLiteral("Alpha")));
        QVERIFY(!c.showAudioControlPanel(QStringLiteral("Beta")));

        // While playing, the backend answers no queries about its drivers.
        rig.play(QStringLiteral("Alpha"));
        QCOMPARE(c.audioBufferSizeInfo(QStringLiteral("Alpha")).value("minSize").toInt(), 0);
        QVERIFY(c.audioOutputChannels(QStringLiteral("Alpha")).isEmpty());
        QVERIFY(!c.showAudioControlPanel(QStringLiteral("Alpha")));
        c.stopRx();
    }

    void statusLineReportsTheAudioPathWhilePlaying()
    {
        Rig rig;
        // The driver's own thread plays from an empty bus: every buffer comes up short.
        rig.install("Free", {{"thread", "free"}});
        RtsaController& c = rig.controller;
        QVERIFY(c.startRx());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.statusLines.isEmpty(), kEventWaitMs);
        QVERIFY(rig.statusLines.filter(QStringLiteral("Audio:")).isEmpty());

        rig.play(QStringLiteral("Free"));
        rig.statusLines.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.statusLines.filter(QStringLiteral("Audio: fill=")).isEmpty(), kEventWaitMs);
        const QString line = rig.statusLines.filter(QStringLiteral("Audio: fill=")).first();
        const QRegularExpression format(
            QStringLiteral("^Audio: fill=0\\.0%, demodRing=0\\.0%, underruns=([0-9]+), overruns=0$"));
        const QRegularExpressionMatch match = format.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QVERIFY(match.captured(1).toULongLong() > 0);
        // It follows the throughput line.
        const int at = rig.statusLines.indexOf(line);
        QVERIFY(at > 0 && rig.statusLines[at - 1].startsWith(QStringLiteral("DSP ")));
        // The window reads the same from properties.
        QVERIFY2(format.match(c.audioStatus()).hasMatch(), qPrintable(c.audioStatus()));
        QVERIFY(c.audioUnderruns() > 0);
        QCOMPARE(c.audioOverruns(), 0);
        c.stopRx();
    }
};

QTEST_GUILESS_MAIN(AudioControlTest)
#include "AudioControlTest.moc"
