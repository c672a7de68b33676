// The display item's property rules, frame hand-over and demo spectrum (no rendering).
#include "display/SpectrumItem.h"
#include "tests/display/EditPicture.h"

#include <QGuiApplication>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

SpectrumFrame snapshot(const SpectrumItem& item)
{
    SpectrumFrame frame;
    item.snapshotFrame(frame);
    return frame;
}

} // namespace

class SpectrumItemTest : public QObject {
    Q_OBJECT

private slots:
    void startsWithAFlatTraceInDemoMode();
    void fftSizeRebuildsTheTrace();
    void scalesUseFuzzyComparison();
    void clampedSetters();
    void flagsEmitOnlyOnChange();
    void setFrameEmitsChangesInOrder();
    void setFrameTreatsNanAsChanged();
    void theRmsReadingCatchesUpWithTheLastFrame();
    void changesWaitForTheNextRepaint();
    void demoFramesClipToTheScaleAndKeepTheNotches();
    void demoOffKeepsTheFrame();
    void versionedSnapshotCopiesEveryChangeOnce();
    void zoomStaysInTheBandAndMapsToFrequencies();
    void findsTheHighestUnmarkedPeakInView();
    void tracksTheNoiseFloorAndTheStrongestSignal();
};

void SpectrumItemTest::startsWithAFlatTraceInDemoMode()
{
    SpectrumItem item;
    item.setDemo(false); // keep the timer from replacing the trace
    const SpectrumFrame frame = snapshot(item);
    QCOMPARE(frame.trace.size(), 2048u);
    QVERIFY(std::all_of(frame.trace.begin(), frame.trace.end(), [](float v) { return v == -120.0f; }));
    QCOMPARE(item.rmsDb(), -120.0f);
    QCOMPARE(item.fftSize(), 2048);
    QCOMPARE(item.waterfallHeightRatio(), 0.3);
    QCOMPARE(item.densityPalette(), 0);
    QVERIFY(!item.overload());

    SpectrumItem fresh;
    QVERIFY(fresh.demo());
}

void SpectrumItemTest::fftSizeRebuildsTheTrace()
{
    SpectrumItem item;
    item.setDemo(false);
    item.setMinDb(-100.0f);
    QSignalSpy spy(&item, &SpectrumItem::fftSizeChanged);
    item.setFftSize(0);
    item.setFftSize(-5);
    item.setFftSize(2048);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(item.fftSize(), 2048);

    item.setFftSize(512);
    QCOMPARE(spy.count(), 1);
    const SpectrumFrame frame = snapshot(item);
    QCOMPARE(frame.trace.size(), 512u);
    QCOMPARE(frame.trace.front(), -100.0f);
}

void SpectrumItemTest::scalesUseFuzzyComparison()
{
    SpectrumItem item;
    QSignalSpy minSpy(&item, &SpectrumItem::minDbChanged);
    QSignalSpy maxSpy(&item, &SpectrumItem::maxDbChanged);
    QSignalSpy wfMinSpy(&item, &SpectrumItem::waterfallMinDbChanged);
    QSignalSpy wfMaxSpy(&item, &SpectrumItem::waterfallMaxDbChanged);

    item.setMinDb(-120.0001f);
    QCOMPARE(minSpy.count(), 0);
    QCOMPARE(item.minDb(), -120.0f);
    // Nothing is fuzzily equal to zero except zero.
    item.setMaxDb(0.0001f);
    QCOMPARE(maxSpy.count(), 1);
    QCOMPARE(item.maxDb(), 0.0001f);

    item.setWaterfallMinDb(-120.0001f);
    QCOMPARE(wfMinSpy.count(), 0);
    item.setWaterfallMinDb(-90.0f);
    item.setWaterfallMaxDb(-95.0f); // no ordering check
    QCOMPARE(wfMinSpy.count(), 1);
    QCOMPARE(wfMaxSpy.count(), 1);
    QCOMPARE(item.waterfallMaxDb(), -95.0f);
}

void SpectrumItemTest::clampedSetters()
{
    SpectrumItem item;
    QSignalSpy ratioSpy(&item, &SpectrumItem::waterfallHeightRatioChanged);
    item.setWaterfallHeightRatio(0.05);
    QCOMPARE(item.waterfallHeightRatio(), 0.1);
    item.setWaterfallHeightRatio(0.9);
    QCOMPARE(item.waterfallHeightRatio(), 0.7);
    item.setWaterfallHeightRatio(0.7000001);
    QCOMPARE(ratioSpy.count(), 2);

    QSignalSpy paletteSpy(&item, &SpectrumItem::densityPaletteChanged);
    item.setDensityPalette(5);
    QCOMPARE(item.densityPalette(), 2);
    item.setDensityPalette(3);
    QCOMPARE(paletteSpy.count(), 1);
    item.setDensityPalette(-1);
    QCOMPARE(item.densityPalette(), 0);
    QCOMPARE(paletteSpy.count(), 2);
}

void SpectrumItemTest::flagsEmitOnlyOnChange()
{
    SpectrumItem item;
    QSignalSpy density(&item, &SpectrumItem::densityEnabledChanged);
    QSignalSpy peak(&item, &SpectrumItem::peakLineEnabledChanged);
    QSignalSpy waterfall(&item, &SpectrumItem::waterfallEnabledChanged);
    QSignalSpy demo(&item, &SpectrumItem::demoChanged);
    for (int i = 0; i < 2; ++i) {
        item.setDensityEnabled(true);
        item.setPeakLineEnabled(true);
        item.setWaterfallEnabled(true);
        item.setDemo(false);
    }
    QCOMPARE(density.count(), 1);
    QCOMPARE(peak.count(), 1);
    QCOMPARE(waterfall.count(), 1);
    QCOMPARE(demo.count(), 1);
    QVERIFY(item.densityEnabled() && item.peakLineEnabled() && item.waterfallEnabled() && !item.demo());
}

void SpectrumItemTest::setFrameEmitsChangesInOrder()
{
    SpectrumItem item;
    item.setDemo(false);
    QStringList emitted;
    connect(&item, &SpectrumItem::rmsDbChanged, this, [&] { emitted << "rms"; });
    connect(&item, &SpectrumItem::overloadChanged, this, [&] { emitted << "overload"; });
    connect(&item, &SpectrumItem::freqRangeChanged, this, [&] { emitted << "range"; });
    connect(&item, &SpectrumItem::rbwHzChanged, this, [&] { emitted << "rbw"; });

    SpectrumFrame frame;
    frame.trace.assign(1024, -80.0f);
    frame.centerHz = 100e6;
    frame.spanHz = 20e6;
    frame.startHz = 90e6;
    frame.stopHz = 110e6;
    frame.rbwHz = 25e3;
    frame.rmsDb = -30.0f;
    frame.overload = true;
    frame.peakLine.assign(1024, -70.0f);
    frame.density.width = 2;
    frame.density.height = 2;
    editPicture(frame.density.bytes) = {1, 2, 3, 4};
    frame.waterfall.width = 1024;
    frame.waterfall.lines = 1;
    editPicture(frame.waterfall.bytes).assign(1024, 9);
    item.setFrame(frame);
    // The band and the resolution at once, the frame's own figures on the repaint that shows it.
    QCOMPARE(emitted, (QStringList{"range", "rbw"}));
    QCOMPARE(item.rmsDb(), -120.0f);
    QVERIFY(!item.overload());
    QTRY_COMPARE(emitted, (QStringList{"range", "rbw", "rms", "overload"}));
    QCOMPARE(item.rmsDb(), -30.0f);
    QVERIFY(item.overload());
    QCOMPARE(item.minFreqHz(), 90e6);
    QCOMPARE(item.maxFreqHz(), 110e6);
    QCOMPARE(item.centerFreqHz(), 100e6);
    QCOMPARE(item.rbwHz(), 25e3);

    const SpectrumFrame copy = snapshot(item);
    QCOMPARE(copy.trace.size(), 1024u);
    QCOMPARE(copy.peakLine.size(), 1024u);
    QCOMPARE(*copy.density.bytes, *frame.density.bytes);
    QCOMPARE(copy.waterfall.bytes->size(), 1024u);

    // The same values again: nothing to announce, even with new bulk data, also once shown.
    emitted.clear();
    frame.trace.assign(1024, -10.0f);
    item.setFrame(frame);
    QCOMPARE(snapshot(item).trace.front(), -10.0f);
    QSignalSpy levels(&item, &SpectrumItem::traceLevelsChanged);
    QVERIFY(levels.wait(5000)); // the repaint measured the new trace
    QVERIFY(emitted.isEmpty());

    // Only the span moves: only the range is announced.
    frame.stopHz = 111e6;
    item.setFrame(frame);
    QCOMPARE(emitted, QStringList{"range"});
    // Only the level moves: only the level is announced, on the repaint.
    emitted.clear();
    frame.rmsDb = -31.0f;
    item.setFrame(frame);
    QVERIFY(emitted.isEmpty());
    QTRY_COMPARE(emitted, QStringList{"rms"});
}

void SpectrumItemTest::setFrameTreatsNanAsChanged()
{
    SpectrumItem item;
    item.setDemo(false);
    QSignalSpy rms(&item, &SpectrumItem::rmsDbChanged);
    QSignalSpy rbw(&item, &SpectrumItem::rbwHzChanged);
    SpectrumFrame frame;
    frame.rmsDb = std::numeric_limits<float>::quiet_NaN();
    frame.rbwHz = std::numeric_limits<double>::quiet_NaN();
    item.setFrame(frame);
    QTRY_COMPARE(rms.count(), 1);
    item.setFrame(frame);
    QTRY_COMPARE(rms.count(), 2);
    QCOMPARE(rbw.count(), 2);
}

void SpectrumItemTest::theRmsReadingCatchesUpWithTheLastFrame()
{
    SpectrumItem item;
    item.setDemo(false);
    QCOMPARE(item.rmsReadingDb(), -120.0f);
    QSignalSpy reading(&item, &SpectrumItem::rmsReadingDbChanged);
    SpectrumFrame frame;
    frame.rmsDb = -30.0f;
    item.setFrame(frame);
    QTRY_COMPARE(item.rmsReadingDb(), -30.0f);
    // A new level right after the reading moved, and no frame after it: the reading still
    // reaches it, and stays there.
    frame.rmsDb = -40.0f;
    item.setFrame(frame);
    QTRY_COMPARE(item.rmsReadingDb(), -40.0f);
    QCOMPARE(reading.count(), 2);
    QTest::qWait(400);
    QCOMPARE(reading.count(), 2);
    QCOMPARE(item.rmsDb(), -40.0f);
}

void SpectrumItemTest::changesWaitForTheNextRepaint()
{
    SpectrumItem item;
    item.setDemo(false);
    QStringList ran;
    auto gone = std::make_unique<QObject>();
    item.atNextRepaint(this, [&] { ran << "first"; });
    item.atNextRepaint(gone.get(), [&] { ran << "gone"; });
    item.atNextRepaint(this, [&] {
        ran << "second";
        item.atNextRepaint(this, [&] { ran << "asked by the second"; });
    });
    gone.reset();
    QVERIFY(ran.isEmpty());
    QTRY_COMPARE(ran, (QStringList{"first", "second", "asked by the second"}));
}

void SpectrumItemTest::demoFramesClipToTheScaleAndKeepTheNotches()
{
    SpectrumItem item;
    item.setMinDb(-90.0f);
    // Wait for the 33 ms timer to replace the initial -120 dB trace with a demo trace.
    QTRY_VERIFY(snapshot(item).trace.front() >= -90.0f);
    const std::vector<float> trace = snapshot(item).trace;
    QCOMPARE(trace.size(), 2048u);
    QVERIFY(std::all_of(trace.begin(), trace.end(), [](float v) { return v >= -90.0f && v <= 0.0f; }));
    const auto clipped = std::count(trace.begin(), trace.end(), -90.0f);
    QVERIFY2(clipped > 1024, qPrintable(QString::number(clipped)));
    // Both notches lie wholly on the bottom of the scale, while the floor around them pokes above it.
    const auto notch = [&](double c) {
        const auto centre = static_cast<std::ptrdiff_t>(c * 2047);
        return std::all_of(trace.begin() + centre - 20, trace.begin() + centre + 20,
                           [](float v) { return v == -90.0f; });
    };
    QVERIFY(notch(0.35));
    QVERIFY(notch(0.72));
    QVERIFY(std::any_of(trace.begin(), trace.begin() + 500, [](float v) { return v > -90.0f; }));
}

void SpectrumItemTest::demoOffKeepsTheFrame()
{
    SpectrumItem item;
    item.setDemo(false);
    SpectrumFrame frame;
    frame.trace.assign(16, -42.0f);
    item.setFrame(frame);
    QTest::qWait(100);
    const std::vector<float> trace = snapshot(item).trace;
    QCOMPARE(trace.size(), 16u);
    QCOMPARE(trace.front(), -42.0f);
}

// The renderer copies the frame only when it changed since its last copy; each kind of change
// (a published frame, a new FFT size, a demo tick) must count as one.
void SpectrumItemTest::versionedSnapshotCopiesEveryChangeOnce()
{
    SpectrumItem item;
    item.setDemo(false);
    SpectrumFrame copy;
    uint64_t version = 0;
    QVERIFY(item.snapshotFrameIfChanged(copy, version));
    QCOMPARE(copy.trace.size(), 2048u);
    QVERIFY(!item.snapshotFrameIfChanged(copy, version));

    SpectrumFrame frame;
    frame.trace.assign(16, -42.0f);
    frame.waterfall.width = 4;
    frame.waterfall.lines = 2;
    editPicture(frame.waterfall.bytes).assign(8, 7);
    item.setFrame(frame);
    QVERIFY(item.snapshotFrameIfChanged(copy, version));
    QCOMPARE(copy.trace, frame.trace);
    QCOMPARE(*copy.waterfall.bytes, *frame.waterfall.bytes);
    // The same frame published again is still a change: the item does not compare contents.
    item.setFrame(frame);
    QVERIFY(item.snapshotFrameIfChanged(copy, version));
    QVERIFY(!item.snapshotFrameIfChanged(copy, version));

    item.setFftSize(64);
    QVERIFY(item.snapshotFrameIfChanged(copy, version));
    QCOMPARE(copy.trace.size(), 64u);

    // A second reader with its own version is not affected by the first one's copies.
    SpectrumFrame other;
    uint64_t otherVersion = 0;
    QVERIFY(item.snapshotFrameIfChanged(other, otherVersion));
    QCOMPARE(other.trace.size(), 64u);

    item.setDemo(true);
    // The wait re-checks its condition once more after success: keep the first copy's result.
    bool copied = false;
    QTRY_VERIFY((copied = copied || item.snapshotFrameIfChanged(copy, version)));
    QVERIFY(copy.trace.front() != -120.0f || copy.trace.back() != -120.0f);
}

namespace {

// 1000 bins from 99 MHz in 2 kHz steps (a 2 MHz span around 100 MHz), a floor at -90 dB,
// a station at -20 dB on bin 250 and one at -40 dB on bin 750.
SpectrumFrame twoStationFrame()
{
    SpectrumFrame frame;
    frame.trace.assign(1000, -90.0f);
    frame.trace[250] = -20.0f;
    frame.trace[750] = -40.0f;
    frame.centerHz = 100e6;
    frame.startHz = 99e6;
    frame.stopHz = 101e6;
    frame.binHz = 2e3;
    return frame;
}

} // namespace

void SpectrumItemTest::zoomStaysInTheBandAndMapsToFrequencies()
{
    SpectrumItem item;
    item.setDemo(false);
    item.setFrame(twoStationFrame());
    QSignalSpy view(&item, &SpectrumItem::viewChanged);
    QCOMPARE(item.viewMinFreqHz(), 99e6);
    QCOMPARE(item.viewMaxFreqHz(), 101e6);

    item.setView(0.25, 0.5);
    QCOMPARE(view.count(), 1);
    QCOMPARE(item.viewMinFreqHz(), 99.5e6);
    QCOMPARE(item.viewMaxFreqHz(), 100e6);
    item.setView(0.25, 0.5);
    QCOMPARE(view.count(), 1);

    // Past the band's end: moved back inside, not narrowed.
    item.setView(0.9, 1.3);
    QCOMPARE(item.viewStop(), 1.0);
    QVERIFY(std::abs(item.viewStart() - 0.6) < 1e-12);
    // Never narrower than 32 bins of the FFT.
    item.setView(0.5, 0.5);
    QVERIFY(std::abs(item.viewStop() - item.viewStart() - 32.0 / 2048) < 1e-12);
    QCOMPARE(item.minViewWidth(), 32.0 / 2048);

    // A retune keeps the zoom and moves its frequencies with the band.
    item.setView(0.0, 0.5);
    SpectrumFrame retuned = twoStationFrame();
    retuned.centerHz = 200e6;
    retuned.startHz = 199e6;
    retuned.stopHz = 201e6;
    const int before = view.count();
    item.setFrame(retuned);
    QCOMPARE(view.count(), before + 1);
    QCOMPARE(item.viewMaxFreqHz(), 200e6);
}

void SpectrumItemTest::findsTheHighestUnmarkedPeakInView()
{
    SpectrumItem item;
    item.setDemo(false);
    QVERIFY(std::isnan(item.highestUnmarkedPeakHz({})));
    item.setFrame(twoStationFrame());
    QCOMPARE(item.highestUnmarkedPeakHz({}), 99.5e6);
    QCOMPARE(item.highestUnmarkedPeakHz({99.5e6}), 100.5e6);
    QVERIFY(std::isnan(item.highestUnmarkedPeakHz({99.5e6, 100.5e6})));
    // A marker outside the band marks nothing in it, not even the peak at its edge.
    QCOMPARE(item.highestUnmarkedPeakHz({50e6}), 99.5e6);
    // Only what is in view counts: the right half holds the weaker station alone.
    item.setView(0.5, 1.0);
    QCOMPARE(item.highestUnmarkedPeakHz({}), 100.5e6);
}

void SpectrumItemTest::tracksTheNoiseFloorAndTheStrongestSignal()
{
    SpectrumItem item;
    item.setDemo(false);
    QSignalSpy levels(&item, &SpectrumItem::traceLevelsChanged);
    QSignalSpy rms(&item, &SpectrumItem::rmsDbChanged);
    item.setFrame(twoStationFrame());
    QTRY_COMPARE(levels.count(), 1);
    QCOMPARE(item.noiseFloorDb(), -90.0f);
    QCOMPARE(item.strongestDb(), -20.0f);

    // Less than half a dB of change is not worth a new scale (the level's change shows that
    // the repaint has measured the trace).
    SpectrumFrame frame = twoStationFrame();
    frame.trace[250] = -20.3f;
    frame.rmsDb = -50.0f;
    item.setFrame(frame);
    QTRY_COMPARE(rms.count(), 1);
    QCOMPARE(levels.count(), 1);
    frame.trace[250] = -10.0f;
    item.setFrame(frame);
    QTRY_COMPARE(levels.count(), 2);
    QCOMPARE(item.strongestDb(), -10.0f);
}

int main(int argc, char** argv)
{
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    QGuiApplication app(argc, argv);
    SpectrumItemTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SpectrumItemTest.moc"
