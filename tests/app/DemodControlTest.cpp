// The demodulation settings on the controller's surface, and the channel's place in acquisition,
// against a scripted receiver.
#include "app/RtsaController.h"
#include "tests/app/ScriptedReceiver.h"
#include "tests/support/RtsaControllerTestAccess.h"

#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace {

struct Rig {
    Rig()
        : script(std::make_shared<ReceiverScript>()),
          controller([script = script] { return std::make_unique<ScriptedReceiver>(script); })
    {
        QObject::connect(&controller, &RtsaController::logMessage, &controller,
                         [this](const QString& line) { lines << line; });
    }
    DemodParams params() { return RtsaControllerTestAccess::demod(controller).getParams(); }

    std::shared_ptr<ReceiverScript> script;
    QStringList lines;
    RtsaController controller;
};

// One numeric row of the surface: its accessors, change signal, tolerance, default, the field
// it is forwarded into, and its log line for a value (empty when it logs nothing).
struct DoubleRow {
    const char* name;
    void (RtsaController::*set)(double);
    double (RtsaController::*get)() const;
    void (RtsaController::*changed)();
    double tolerance;
    double initial;
    double DemodParams::*field;
    QString (*line)(double);
};

QString noLine(double)
{
    return {};
}

} // namespace

class DemodControlTest : public QObject {
    Q_OBJECT

private slots:
    void numericSettingsForwardBeyondTheirTolerance()
    {
        using C = RtsaController;
        const DoubleRow rows[] = {
            {"newDemodFreqHz", &C::setNewDemodFreqHz, &C::newDemodFreqHz, &C::newDemodFreqHzChanged, 1.0, 146520000.0,
             &DemodParams::demodFreqHz,
             [](double v) { return QStringLiteral("New demod frequency: %1 MHz").arg(v / 1e6, 0, 'f', 6); }},
            {"newDemodFmDeviationHz", &C::setNewDemodFmDeviationHz, &C::newDemodFmDeviationHz,
             &C::newDemodFmDeviationHzChanged, 1.0, 150000.0, &DemodParams::fmDeviationHz,
             [](double v) { return QStringLiteral("FM deviation: %1 kHz").arg(v / 1000.0, 0, 'f', 1); }},
            {"newDemodAudioHpfHz", &C::setNewDemodAudioHpfHz, &C::newDemodAudioHpfHz, &C::newDemodAudioHpfHzChanged, 1.0,
             20.0, &DemodParams::audioHpfHz, [](double v) { return QStringLiteral("Audio HPF: %1 Hz").arg(v, 0, 'f', 0); }},
            {"newDemodAudioLpfHz", &C::setNewDemodAudioLpfHz, &C::newDemodAudioLpfHz, &C::newDemodAudioLpfHzChanged, 1.0,
             20000.0, &DemodParams::audioLpfHz,
             [](double v) { return QStringLiteral("Audio LPF: %1 Hz").arg(v, 0, 'f', 0); }},
            {"newDemodAudioGain", &C::setNewDemodAudioGain, &C::newDemodAudioGain, &C::newDemodAudioGainChanged, 0.01,
             2.0, &DemodParams::audioGain, [](double v) { return QStringLiteral("Audio gain: %1x").arg(v, 0, 'f', 1); }},
            {"squelchOpenDb", &C::setSquelchOpenDb, &C::squelchOpenDb, &C::squelchOpenDbChanged, 0.01, 3.0,
             &DemodParams::squelchOpenDb, noLine},
            {"squelchCloseDb", &C::setSquelchCloseDb, &C::squelchCloseDb, &C::squelchCloseDbChanged, 0.01, 1.0,
             &DemodParams::squelchCloseDb, noLine},
            {"squelchAttackMs", &C::setSquelchAttackMs, &C::squelchAttackMs, &C::squelchAttackMsChanged, 0.01, 4.0,
             &DemodParams::squelchAttackMs, noLine},
            {"squelchReleaseMs", &C::setSquelchReleaseMs, &C::squelchReleaseMs, &C::squelchReleaseMsChanged, 0.01, 50.0,
             &DemodParams::squelchReleaseMs, noLine},
            {"squelchHangMs", &C::setSquelchHangMs, &C::squelchHangMs, &C::squelchHangMsChanged, 0.01, 10.0,
             &DemodParams::squelchHangMs, noLine},
            {"squelchNoiseAlpha", &C::setSquelchNoiseAlpha, &C::squelchNoiseAlpha, &C::squelchNoiseAlphaChanged, 1e-4,
             0.001, &DemodParams::squelchNoiseAlpha, noLine},
            {"squelchMinFloorDb", &C::setSquelchMinFloorDb, &C::squelchMinFloorDb, &C::squelchMinFloorDbChanged, 0.01,
             -87.0, &DemodParams::squelchMinFloorDb, noLine},
        };
        for (const DoubleRow& row : rows) {
            Rig rig;
            C& c = rig.controller;
            QSignalSpy spy(&c, row.changed);
            QCOMPARE((c.*row.get)(), row.initial);

            // Within the tolerance, and not a number: nothing.
            (c.*row.set)(row.initial + 0.6 * row.tolerance);
            (c.*row.set)(std::numeric_limits<double>::quiet_NaN());
            QVERIFY2(spy.isEmpty(), row.name);
            QCOMPARE(rig.params().*row.field, row.initial);

            // Below the initial value (the close threshold may not go above the open one).
            const double value = row.initial - 1.5 * row.tolerance;
            (c.*row.set)(value);
            QVERIFY2(spy.size() == 1, row.name);
            QCOMPARE(rig.params().*row.field, value);
            QCOMPARE((c.*row.get)(), value);
            const QString line = row.line(value);
            QCOMPARE(rig.lines, line.isEmpty() ? QStringList() : QStringList{line});
        }
    }

    void switchesForwardAndLog()
    {
        Rig rig;
        RtsaController& c = rig.controller;
        QSignalSpy filter(&c, &RtsaController::newDemodFilterEnabledChanged);
        QSignalSpy squelch(&c, &RtsaController::squelchEnabledChanged);
        QSignalSpy demod(&c, &RtsaController::newDemodEnabledChanged);
        c.setNewDemodFilterEnabled(true);
        c.setSquelchEnabled(true);
        c.setNewDemodEnabled(false);
        QVERIFY(filter.isEmpty() && squelch.isEmpty() && demod.isEmpty());

        c.setNewDemodFilterEnabled(false);
        c.setSquelchEnabled(false);
        c.setNewDemodEnabled(true);
        QCOMPARE(filter.size(), 1);
        QCOMPARE(squelch.size(), 1);
        QCOMPARE(demod.size(), 1);
        const DemodParams p = rig.params();
        QVERIFY(!p.filterEnabled && !p.squelchEnabled && p.enabled);
        QVERIFY(RtsaControllerTestAccess::demod(c).enabledNow());
        c.setNewDemodEnabled(false);
        QCOMPARE(rig.lines, QStringList({"Audio filters: DISABLED", "Squelch: DISABLED", "New NFM demodulator: ENABLED",
                                         "New NFM demodulator: DISABLED"}));
    }

    void stereoNeedsABroadcastDeviation()
    {
        Rig rig;
        RtsaController& c = rig.controller;
        QSignalSpy stereo(&c, &RtsaController::newDemodFmStereoEnabledChanged);
        c.setNewDemodFmDeviationHz(75000.0);
        rig.lines.clear();
        c.setNewDemodFmStereoEnabled(true);
        QVERIFY(!c.newDemodFmStereoEnabled());
        QVERIFY(stereo.isEmpty());
        QCOMPARE(rig.lines, QStringList{"FM stereo: requires 150 kHz or 300 kHz deviation"});

        c.setNewDemodFmDeviationHz(300000.4);
        c.setNewDemodFmStereoEnabled(true);
        QVERIFY(c.newDemodFmStereoEnabled());
        QVERIFY(rig.params().fmStereoEnabled);
        QVERIFY(RtsaControllerTestAccess::demod(c).stereoActive());
        QCOMPARE(rig.lines.last(), QStringLiteral("FM stereo: ENABLED"));
        c.setNewDemodFmStereoEnabled(false);
        QCOMPARE(rig.lines.last(), QStringLiteral("FM stereo: DISABLED"));
        QCOMPARE(stereo.size(), 2);
    }

    void deviationAwayFromBroadcastSwitchesStereoOffFirst()
    {
        Rig rig;
        RtsaController& c = rig.controller;
        c.setNewDemodFmStereoEnabled(true);
        QStringList signalOrder;
        connect(&c, &RtsaController::newDemodFmStereoEnabledChanged, &c, [&] { signalOrder << "stereo"; });
        connect(&c, &RtsaController::newDemodFmDeviationHzChanged, &c, [&] { signalOrder << "deviation"; });

        // Another broadcast deviation keeps stereo on.
        rig.lines.clear();
        c.setNewDemodFmDeviationHz(300000.0);
        QVERIFY(c.newDemodFmStereoEnabled());
        QCOMPARE(signalOrder, QStringList{"deviation"});

        signalOrder.clear();
        rig.lines.clear();
        c.setNewDemodFmDeviationHz(75000.0);
        QCOMPARE(signalOrder, QStringList({"stereo", "deviation"}));
        QCOMPARE(rig.lines,
                 QStringList({"FM stereo: disabled (deviation not 150/300 kHz)", "FM deviation: 75.0 kHz"}));
        const DemodParams p = rig.params();
        QVERIFY(!p.fmStereoEnabled);
        QCOMPARE(p.fmDeviationHz, 75000.0);

        // Back at a broadcast deviation, the user's stereo comes back, also after a detour over
        // another narrow one.
        c.setNewDemodFmDeviationHz(5000.0);
        QVERIFY(!c.newDemodFmStereoEnabled());
        c.setNewDemodFmDeviationHz(150000.0);
        QVERIFY(c.newDemodFmStereoEnabled());
        QVERIFY(rig.params().fmStereoEnabled);

        // Switched off by the user, it stays off whatever the deviation does.
        c.setNewDemodFmDeviationHz(15000.0);
        c.setNewDemodFmStereoEnabled(false);
        c.setNewDemodFmDeviationHz(300000.0);
        QVERIFY(!c.newDemodFmStereoEnabled());
    }

    void closeThresholdNeverAboveTheOpenOne()
    {
        Rig rig;
        RtsaController& c = rig.controller;
        QSignalSpy close(&c, &RtsaController::squelchCloseDbChanged);
        c.setSquelchCloseDb(5.0);
        QCOMPARE(c.squelchCloseDb(), 3.0); // applied as equal to the open threshold
        QCOMPARE(close.size(), 1);
        c.setSquelchOpenDb(2.0);
        QCOMPARE(c.squelchCloseDb(), 2.0);
        QCOMPARE(close.size(), 2);
        c.setSquelchOpenDb(6.0);
        QCOMPARE(c.squelchCloseDb(), 2.0);
        QCOMPARE(close.size(), 2);
    }

    void acquisitionFeedsTheChannelOnlyWhileDemodulating()
    {
        Rig rig;
        RtsaController& c = rig.controller;
        SingleDemodChannel& channel = RtsaControllerTestAccess::demod(c);
        QVERIFY(c.startRx());
        const DemodRing* ring = RtsaControllerTestAccess::demodRing(c);
        QVERIFY(ring != nullptr);
        QTest::qWait(30);
        QCOMPARE(ring->totalWritten(), uint64_t{0});

        // On: the receiver's blocks reach the channel through the ring.
        c.setNewDemodEnabled(true);
        QTRY_VERIFY(channel.blocksProcessed() > 5);

        // Off while blocks wait unread in the ring: the ring is emptied and no longer fed.
        channel.setIqSource(nullptr, 0, 0);
        QTRY_VERIFY(ring->available() > 0);
        c.setNewDemodEnabled(false);
        QCOMPARE(ring->available(), size_t{0});
        const uint64_t written = ring->totalWritten();
        QTest::qWait(30);
        QCOMPARE(ring->totalWritten(), written);

        // A stop detaches the channel before the ring goes; a start attaches the new one.
        c.setNewDemodEnabled(true);
        c.stopRx();
        const uint64_t processed = channel.blocksProcessed();
        QTest::qWait(30);
        QCOMPARE(channel.blocksProcessed(), processed);
        QVERIFY(c.startRx());
        QTRY_VERIFY(channel.blocksProcessed() > processed + 5);
        c.stopRx();
    }

    void aRetuneResetsTheChannel()
    {
        Rig rig;
        RtsaController& c = rig.controller;
        SingleDemodChannel& channel = RtsaControllerTestAccess::demod(c);
        c.setNewDemodEnabled(true);
        QVERIFY(c.startRx());
        QTRY_VERIFY(channel.blocksProcessed() > 0);
        const uint64_t resets = channel.resetsBeforeLastBlock();

        // Same centre and rate: no reset.
        c.applyParams(1000.0, 20.0, 0, 0, 0, 0);
        QTRY_VERIFY(rig.lines.count("RX started") == 2);
        const uint64_t after = channel.blocksProcessed();
        QTRY_VERIFY(channel.blocksProcessed() > after);
        QCOMPARE(channel.resetsBeforeLastBlock(), resets);

        // A new centre: the blocks after the retune follow a reset.
        c.applyParams(1001.0, 20.0, 0, 0, 0, 0);
        QTRY_VERIFY(rig.lines.count("RX started") == 3);
        const uint64_t retuned = channel.blocksProcessed();
        QTRY_VERIFY(channel.blocksProcessed() > retuned);
        QCOMPARE(channel.resetsBeforeLastBlock(), resets + 1);
        c.stopRx();
    }
};

QTEST_GUILESS_MAIN(DemodControlTest)
#include "DemodControlTest.moc"
