#include "app/RtsaController.h"
#include "display/SpectrumItem.h"
#include "engine/SpectrumSettingTable.h"
#include "tests/app/ScriptedReceiver.h"
#include "tests/support/EventWait.h"
#include "tests/support/RtsaControllerTestAccess.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

// A receiver delivering silent blocks of 2048 samples, one per millisecond.
std::unique_ptr<IDevice> silentReceiver()
{
    auto script = std::make_shared<ReceiverScript>();
    script->samplesPerTransfer = 2048;
    return std::make_unique<ScriptedReceiver>(script);
}

} // namespace

class ControllerSpectrumTest : public QObject {
    Q_OBJECT

private slots:
    void settersClampAndSignalOnlyOnChange();
    void vbwAlphaSwitchesTheVideoFilterOff();
    void rbwTargetChoosesTheFftSize();
    void overlapAndDensitySourceReachTheSpectrumThread();
    void interceptFollowsItsSettingsAndIsStatedWhileRunning();
    void skippedSpectraAreToldWhileBlocksOverlap();
    void acquisitionPublishesToTheItemUntilItIsDestroyed();
};

void ControllerSpectrumTest::settersClampAndSignalOnlyOnChange()
{
    RtsaController c;
    QSignalSpy mode(&c, &RtsaController::detectorModeChanged);
    c.setDetectorMode(7);
    QCOMPARE(c.detectorMode(), static_cast<int>(DetectorMode::Rms));
    c.setDetectorMode(static_cast<int>(DetectorMode::Rms));
    QCOMPARE(mode.count(), 1);

    c.setDetectorWindow(0);
    QCOMPARE(c.detectorWindow(), 1);
    c.setDetectorWindow(5000);
    QCOMPARE(c.detectorWindow(), 1000);
    c.setWaterfallLines(5000);
    QCOMPARE(c.waterfallLines(), 1200);
    c.setWaterfallLines(-3);
    QCOMPARE(c.waterfallLines(), 1);
    c.setWaterfallPaletteId(9);
    QCOMPARE(c.waterfallPaletteId(), static_cast<int>(WaterfallPalette::Inferno));
    c.setWindowType(-2);
    QCOMPARE(c.windowType(), static_cast<int>(WindowType::Hann));
    c.setDensityLevels(4);
    QCOMPARE(c.densityLevels(), 16);

    QSignalSpy maxFps(&c, &RtsaController::maxFpsChanged);
    c.setMaxFps(-5.0);
    QCOMPARE(c.maxFps(), 1.0);
    c.setMaxFps(0.0);
    c.setMaxFps(1.0 + 1e-7);
    c.setMaxFps(std::numeric_limits<double>::quiet_NaN());
    QCOMPARE(maxFps.count(), 1);
    QCOMPARE(c.maxFps(), 1.0);

    QSignalSpy fftSize(&c, &RtsaController::fftSizeChanged);
    c.setFftSize(0);
    c.setFftSize(-1024);
    c.setFftSize(2048);
    QCOMPARE(fftSize.count(), 0);

    QSignalSpy tau(&c, &RtsaController::densityTauChanged);
    c.setDensityTau(100.0);
    QCOMPARE(c.densityTau(), 10.0);
    c.setDensityTau(10.0 + 5e-7);
    QCOMPARE(tau.count(), 1);

    // A narrower density map, and switching the density off, both clear the histogram.
    DensityMap& density = RtsaControllerTestAccess::engine(c).density();
    DensitySettings on;
    on.enabled = true;
    auto fill = [&density, &on] {
        density.configure(on);
        density.accumulate(std::vector<float>(512, -60.0f), 0);
        QVERIFY(density.currentImage().width > 0);
    };
    fill();
    QSignalSpy width(&c, &RtsaController::densityWidthBinsChanged);
    c.setDensityWidthBins(64);
    QCOMPARE(c.densityWidthBins(), 128);
    QCOMPARE(width.count(), 1);
    QCOMPARE(density.currentImage().width, 0);
    c.setDensityEnabled(true);
    fill();
    c.setDensityEnabled(false);
    QCOMPARE(density.currentImage().width, 0);
}

void ControllerSpectrumTest::vbwAlphaSwitchesTheVideoFilterOff()
{
    RtsaController c;
    QStringList order;
    connect(&c, &RtsaController::vbwHzChanged, this, [&order] { order << "vbwHz"; });
    connect(&c, &RtsaController::vbwAlphaChanged, this, [&order] { order << "vbwAlpha"; });
    c.setVbwHz(30.0);
    c.setVbwHz(30.0 + 1e-10);
    c.setVbwHz(-4.0);
    QCOMPARE(order, QStringList({"vbwHz", "vbwHz"}));
    QCOMPARE(c.vbwHz(), 0.0);

    c.setVbwHz(30.0);
    order.clear();
    c.setVbwAlpha(1.7);
    QCOMPARE(order, QStringList({"vbwHz", "vbwAlpha"}));
    QCOMPARE(c.vbwHz(), 0.0);
    QCOMPARE(c.vbwAlpha(), 1.0);
    c.setVbwAlpha(1.0 + 5e-7);
    QCOMPARE(order.size(), 2);
}

void ControllerSpectrumTest::rbwTargetChoosesTheFftSize()
{
    RtsaController c;
    QStringList events;
    connect(&c, &RtsaController::fftSizeChanged, this, [&] { events << QString::number(c.fftSize()); });
    connect(&c, &RtsaController::rbwTargetHzChanged, this, [&events] { events << "rbw"; });
    connect(&c, &RtsaController::logMessage, this, [&events](const QString& line) { events << line; });

    c.setRbwTargetHz(10e3);  // 20 MHz, Hann: 2048 points, the current size
    QCOMPARE(events, QStringList({"rbw"}));
    c.setRbwTargetHz(10e3);
    QCOMPARE(events.size(), 1);

    c.setRbwTargetHz(1e3);
    QCOMPARE(events, QStringList({"rbw", "RBW target too low, clamped to 3.662 kHz", "8192", "rbw"}));
    QVERIFY(std::abs(c.rbwTargetHz() - 20e6 / 8192 * 1.5) < 1e-6);

    c.setRbwTargetHz(0.0);
    QCOMPARE(c.rbwTargetHz(), 0.0);
    QCOMPARE(c.fftSize(), 8192);
    QCOMPARE(events.size(), 5);
    c.setRbwTargetHz(0.0);
    QCOMPARE(events.size(), 6);
}

void ControllerSpectrumTest::overlapAndDensitySourceReachTheSpectrumThread()
{
    RtsaController c;
    const auto published = [&c] { return RtsaControllerTestAccess::publishedSpectrumSettings(c); };
    QSignalSpy overlap(&c, &RtsaController::spectrumOverlapChanged);
    c.setSpectrumOverlap(70);
    QCOMPARE(c.spectrumOverlap(), 75);
    QCOMPARE(published().overlapPercent, 75);
    c.setSpectrumOverlap(200);
    QCOMPARE(overlap.count(), 1);
    c.setSpectrumOverlap(40);
    QCOMPARE(published().overlapPercent, 50);
    c.setSpectrumOverlap(-5);
    QCOMPARE(c.spectrumOverlap(), 0);
    QCOMPARE(published().overlapPercent, 0);
    QCOMPARE(overlap.count(), 3);

    QSignalSpy source(&c, &RtsaController::densitySourceChanged);
    c.setDensitySource(4);
    QCOMPARE(c.densitySource(), static_cast<int>(DensitySource::DisplayTrace));
    QCOMPARE(published().densitySource, static_cast<int>(DensitySource::DisplayTrace));
    c.setDensitySource(static_cast<int>(DensitySource::DisplayTrace));
    c.setDensitySource(-1);
    QCOMPARE(published().densitySource, static_cast<int>(DensitySource::EverySpectrum));
    QCOMPARE(source.count(), 2);
}

void ControllerSpectrumTest::interceptFollowsItsSettingsAndIsStatedWhileRunning()
{
    RtsaController c(silentReceiver);
    // Before a run the rate is not known for sure: the figure is there, the statement is not.
    const double at20 = c.interceptSeconds();
    QVERIFY(at20 > 0.0);
    QCOMPARE(c.interceptText(), QString());
    QVERIFY(c.connectDevice());
    c.applyParams(1000.0, 30.0, 0, 0, 0, 0);
    // The same samples at the new rate.
    QTRY_VERIFY_WITH_TIMEOUT(c.interceptSeconds() < at20, kEventWaitMs);
    QVERIFY(std::abs(c.interceptSeconds() * 30e6 - at20 * 20e6) < 1e-6);

    QSignalSpy changed(&c, &RtsaController::interceptChanged);
    QVERIFY(c.startRx());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(c.interceptText(), QStringLiteral("POI 100 % ≥ 100 µs"));
    c.setSpectrumOverlap(50);
    QCOMPARE(c.interceptText(), QStringLiteral("POI 100 % ≥ 65.9 µs"));
    c.setSpectrumOverlap(75);
    QCOMPARE(c.interceptText(), QStringLiteral("POI 100 % ≥ 48.9 µs"));
    c.setFftSize(8192);
    QCOMPARE(c.interceptText(), QStringLiteral("POI 100 % ≥ 196 µs"));
    c.setSpectrumOverlap(0);
    QCOMPARE(c.interceptText(), QStringLiteral("POI 100 % ≥ 400 µs"));
    QCOMPARE(changed.count(), 5);
    // The Blackman window's narrower top needs a shorter burst.
    const double hann = c.interceptSeconds();
    c.setWindowType(static_cast<int>(WindowType::Blackman));
    QVERIFY(c.interceptSeconds() < hann);

    c.stopRx();
    QCOMPARE(c.interceptText(), QString());
    QVERIFY(c.interceptSeconds() > 0.0);
}

void ControllerSpectrumTest::skippedSpectraAreToldWhileBlocksOverlap()
{
    RtsaController c(silentReceiver);
    QVERIFY(c.connectDevice());
    QVERIFY(c.startRx());
    QSignalSpy changed(&c, &RtsaController::spectraSkippedChanged);
    SpectrumStatus skipping;
    skipping.blocksProcessed = 900;
    skipping.discardedBlocks = 12;
    const auto report = [&c](const SpectrumStatus& status) { RtsaControllerTestAccess::spectrumStatus(c, status); };

    // Without overlap a discarded block is the spectrum thread's own catch-up, logged as before.
    report(skipping);
    QCOMPARE(c.spectraSkipped(), QString());
    c.setSpectrumOverlap(75);
    report(skipping);
    QCOMPARE(c.spectraSkipped(), QStringLiteral("Overlap 75 %: the CPU cannot keep up, spectra skipped"));
    report(skipping);
    QCOMPARE(changed.count(), 1);
    report(SpectrumStatus{});
    QCOMPARE(c.spectraSkipped(), QString());

    // Told for the overlap it was measured at.
    report(skipping);
    c.setSpectrumOverlap(50);
    QCOMPARE(c.spectraSkipped(), QString());
    report(skipping);
    QCOMPARE(c.spectraSkipped(), QStringLiteral("Overlap 50 %: the CPU cannot keep up, spectra skipped"));

    // Gone with the run, also when a report of its last second comes in after it.
    c.stopRx();
    QCOMPARE(c.spectraSkipped(), QString());
    report(skipping);
    QCOMPARE(c.spectraSkipped(), QString());
    QCOMPARE(changed.count(), 6);
}

void ControllerSpectrumTest::acquisitionPublishesToTheItemUntilItIsDestroyed()
{
    // Declared first: the controller still logs while it is destroyed.
    QStringList lines;
    RtsaController c(silentReceiver);
    QVERIFY(c.connectDevice());
    connect(&c, &RtsaController::logMessage, this, [&lines](const QString& line) { lines << line; });
    auto* item = new SpectrumItem;
    c.setSpectrumItem(item);
    c.setMaxFps(1.0);
    QSignalSpy running(&c, &RtsaController::runningChanged);

    QVERIFY(c.startRx());
    QVERIFY(c.running());
    QVERIFY(c.startRx());
    QCOMPARE(running.count(), 1);
    QCOMPARE(lines.last(), QStringLiteral("RX started"));
    {
        // At one frame per second the first one arrives after a second, with the first rate: the
        // frames over the time they took, never more than one per second however late a busy
        // machine gets to them. The processor's tests hold the figure itself to a clock of theirs.
        QTRY_VERIFY_WITH_TIMEOUT(c.fps() > 0.0, kEventWaitMs);
        QVERIFY2(c.fps() <= 1.0, qPrintable(QString::number(c.fps())));
        const auto frameOf = [&item] {
            SpectrumFrame frame;
            item->snapshotFrame(frame);
            return frame;
        };
        // The item shows its own demonstration spectrum until the first published frame.
        QTRY_COMPARE_WITH_TIMEOUT(frameOf().centerHz, 1e9, kEventWaitMs);
        QVERIFY(!item->demo());
        const SpectrumFrame frame = frameOf();
        QCOMPARE(frame.trace.size(), std::size_t{2048});
        QCOMPARE(frame.binHz, 20e6 / 2048);
        // Silence: every bin sits on the -200 dB floor, and the lowest-frequency one is the peak.
        QCOMPARE(c.getPeakValue(), -200.0);
        QCOMPARE(c.getPeakFreq(), 1e9 - 10e6);
        const QRegularExpression status(QStringLiteral("^DSP [1-9][0-9]* fps, dropFrames=0$"));
        QTRY_COMPARE_WITH_TIMEOUT(lines.filter(status).size(), 1, kEventWaitMs);

        delete item;
        QCOMPARE(c.spectrumItem(), nullptr);
        // The next second publishes nothing, but the blocks are still processed.
        QTRY_VERIFY_WITH_TIMEOUT(c.fps() == 0.0, kEventWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(lines.filter(status).size(), 2, kEventWaitMs);
    }

    lines.clear();
    c.setFftSize(1024);
    QCOMPARE(lines.first(), QStringLiteral("RX stopped"));
    QCOMPARE(lines.last(), QStringLiteral("RX started"));
    // For the window the analyser ran on through the restart.
    QCOMPARE(running.count(), 1);
    QVERIFY(c.running());
    QVERIFY(RtsaControllerTestAccess::fftRing(c)->capacity() % (1024 * 4) == 0);

    c.stopRx();
    c.stopRx();
    QVERIFY(!c.running());
    QCOMPARE(RtsaControllerTestAccess::fftRing(c), nullptr);
    QCOMPARE(lines.last(), QStringLiteral("RX stopped"));
    QCOMPARE(running.count(), 2);
}

QTEST_MAIN(ControllerSpectrumTest)
#include "ControllerSpectrumTest.moc"
