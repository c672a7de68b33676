// Renders known frames through the real scene graph (OpenGL under Xvfb) and reads back pixels.
#include "display/Palettes.h"
#include "tests/display/EditPicture.h"
#include "display/SpectrumItem.h"
#include "display/WindowGraphics.h"
#include "tests/support/EventWait.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;

bool near(QRgb a, QRgb b, int tolerance = 2)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1, %2, %3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

SpectrumFrame flatFrame(float levelDb)
{
    SpectrumFrame frame;
    frame.trace.assign(512, levelDb);
    return frame;
}

// Rows in column x whose colour matches, scanning the whole height.
QList<int> rowsWithColour(const QImage& image, int x, QRgb colour, int yBegin = 0, int yEnd = kHeight)
{
    QList<int> rows;
    for (int y = yBegin; y < yEnd; ++y)
        if (near(image.pixel(x, y), colour))
            rows.append(y);
    return rows;
}

} // namespace

class SpectrumRenderTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rendersWithOpenGl();
    void backgroundTraceAndGrid();
    void drawsInsideItsPlaceInTheWindowOnly();
    void peakLineDrawnOnlyWhenEnabled();
    void minHoldAndStoredTracesInTheirColours();
    void waterfallNewestRowAtTopOfStrip_data();
    void waterfallNewestRowAtTopOfStrip();
    void densityTransparentWhereByteIsZero();
    void densityHighestLevelOnTopAndNewPicturesReplaceIt();
    void densityRecolouredWhenItsPaletteChanges();
    void zoomSpreadsItsPartOfTheBandOverTheView();
    void waterfallClearsWhileNoFramesCome();
    void waterfallRecolouredWholeWhenItsRangeChanges();
    void redrawsOnlyWhatChanged();

private:
    QImage renderFrame(const SpectrumFrame& frame);

    std::unique_ptr<QQuickWindow> m_window;
    SpectrumItem* m_item = nullptr; // owned by the window's content item
};

void SpectrumRenderTest::init()
{
    m_window = std::make_unique<QQuickWindow>();
    drawWithoutDepthBuffer(*m_window);
    m_window->resize(kWidth, kHeight);
    m_item = new SpectrumItem(m_window->contentItem());
    m_item->setSize(QSizeF(kWidth, kHeight));
    m_item->setDemo(false);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void SpectrumRenderTest::cleanup()
{
    m_window.reset();
    m_item = nullptr;
}

QImage SpectrumRenderTest::renderFrame(const SpectrumFrame& frame)
{
    m_item->setFrame(frame);
    m_item->update();
    return m_window->grabWindow().convertToFormat(QImage::Format_RGB32);
}

void SpectrumRenderTest::rendersWithOpenGl()
{
    QCOMPARE(m_window->rendererInterface()->graphicsApi(), QSGRendererInterface::OpenGL);
}

void SpectrumRenderTest::backgroundTraceAndGrid()
{
    // -30 dB on a -120...0 scale sits a quarter of the way down the spectrum area.
    const QImage image = renderFrame(flatFrame(-30.0f));
    QCOMPARE(image.size(), QSize(kWidth, kHeight));

    const QRgb background = qRgb(0x0B, 0x0D, 0x10);
    QVERIFY2(near(image.pixel(5, 5), background), qPrintable(describe(image.pixel(5, 5))));
    QVERIFY2(near(image.pixel(kWidth - 5, kHeight - 5), background), qPrintable(describe(image.pixel(395, 295))));

    const QRgb trace = qRgb(255, 200, 66);
    const QList<int> traceRows = rowsWithColour(image, 25, trace);
    QVERIFY2(!traceRows.isEmpty(), "no trace colour in column 25");
    QVERIFY2(traceRows.first() >= kHeight / 4 - 2 && traceRows.last() <= kHeight / 4 + 1,
             qPrintable(QStringLiteral("trace rows %1...%2").arg(traceRows.first()).arg(traceRows.last())));

    // Vertical lines at W k / 10, horizontal lines at H k / 6, 1 px wide.
    const QRgb grid = qRgb(35, 40, 46);
    for (int k = 1; k <= 9; ++k) {
        const int x = kWidth * k / 10;
        int hits = 0;
        for (int dx = -1; dx <= 1; ++dx)
            hits += near(image.pixel(x + dx, 20), grid) ? 1 : 0;
        QVERIFY2(hits == 1, qPrintable(QStringLiteral("vertical grid line %1: %2 pixels").arg(k).arg(hits)));
    }
    for (int k = 1; k <= 5; ++k) {
        const int y = kHeight * k / 6;
        const QList<int> rows = rowsWithColour(image, 7, grid, y - 1, y + 2);
        QVERIFY2(rows.size() == 1, qPrintable(QStringLiteral("horizontal grid line %1").arg(k)));
    }
}

void SpectrumRenderTest::drawsInsideItsPlaceInTheWindowOnly()
{
    // The view draws straight into the window: offset and smaller, it must land in its own
    // rectangle and leave the window's colour around it.
    m_window->setColor(Qt::white);
    m_item->setPosition(QPointF(50, 40));
    m_item->setSize(QSizeF(300, 200));
    const QImage image = renderFrame(flatFrame(-30.0f));
    const QRgb background = qRgb(0x0B, 0x0D, 0x10);
    for (const QPoint outside : {QPoint(45, 100), QPoint(200, 35), QPoint(355, 100), QPoint(200, 245)})
        QVERIFY2(near(image.pixel(outside), qRgb(255, 255, 255)), qPrintable(describe(image.pixel(outside))));
    for (const QPoint inside : {QPoint(52, 42), QPoint(347, 237)})
        QVERIFY2(near(image.pixel(inside), background), qPrintable(describe(image.pixel(inside))));
    // -30 dB a quarter of the way down the item.
    const QList<int> rows = rowsWithColour(image, 80, qRgb(255, 200, 66));
    QVERIFY2(!rows.isEmpty() && rows.first() >= 40 + 50 - 2 && rows.last() <= 40 + 50 + 1,
             qPrintable(rows.isEmpty() ? QStringLiteral("no trace") : QString::number(rows.first())));
}

void SpectrumRenderTest::peakLineDrawnOnlyWhenEnabled()
{
    SpectrumFrame frame = flatFrame(-90.0f);
    frame.peakLine.assign(512, -45.0f);
    const QRgb peak = qRgb(0x4F, 0xC3, 0xF7);

    QVERIFY(rowsWithColour(renderFrame(frame), 25, peak).isEmpty());

    m_item->setPeakLineEnabled(true);
    const QList<int> rows = rowsWithColour(renderFrame(frame), 25, peak);
    QVERIFY2(!rows.isEmpty(), "peak line missing");
    // -45 dB: 37.5 % of the way down.
    QVERIFY2(rows.first() >= 112 - 2 && rows.last() <= 112 + 1, qPrintable(QString::number(rows.first())));
}

void SpectrumRenderTest::minHoldAndStoredTracesInTheirColours()
{
    const QRgb minHold = qRgb(0x79, 0xD0, 0x7B);
    const QRgb m1 = qRgb(0xE0, 0x40, 0xFB);
    // The rows drawn lie around row y (0 dB at the top, -120 dB at the bottom).
    const auto around = [](const QList<int>& rows, int y) {
        return !rows.isEmpty() && rows.first() >= y - 2 && rows.last() <= y + 2;
    };

    m_item->setMinHoldEnabled(true);
    renderFrame(flatFrame(-60.0f));
    // The live trace rises: the minimum hold stays where it was lowest, at -60 dB (row 150).
    const QImage held = renderFrame(flatFrame(-30.0f));
    QVERIFY2(around(rowsWithColour(held, 25, minHold), 150), "no minimum hold at -60 dB");

    m_item->storeTrace(0);
    QCOMPARE(m_item->storedTraces(), 1);
    const QImage stored = renderFrame(flatFrame(-90.0f));
    QVERIFY2(around(rowsWithColour(stored, 25, m1), kHeight / 4), "M1 not at -30 dB");

    // Another tuning: M1 belongs to the old one and is not drawn; the minimum hold starts again.
    SpectrumFrame retuned = flatFrame(-80.0f);
    retuned.startHz = 1e6;
    retuned.binHz = 1e3;
    const QImage elsewhere = renderFrame(retuned);
    QVERIFY(rowsWithColour(elsewhere, 25, m1).isEmpty());
    QVERIFY2(around(rowsWithColour(elsewhere, 25, minHold), 200), "the minimum hold did not start again");

    m_item->clearStoredTrace(0);
    QCOMPARE(m_item->storedTraces(), 0);
    m_item->setMinHoldEnabled(false);
    QVERIFY(rowsWithColour(renderFrame(retuned), 25, minHold).isEmpty());
}

void SpectrumRenderTest::waterfallNewestRowAtTopOfStrip_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("texture") << 16;
    // Wider than the largest texture: the ring is thinned to fit.
    QTest::newRow("wider than a texture") << 40000;
}

void SpectrumRenderTest::waterfallNewestRowAtTopOfStrip()
{
    QFETCH(int, width);
    m_item->setWaterfallEnabled(true);
    m_item->setWaterfallHeightRatio(0.5);
    const int strip = kHeight / 2;
    const int stripTop = kHeight - strip;

    // Eight rows, row r filled with byte 30 r; the ring is about to write row 3, so row 2 is
    // the newest and row 3 the oldest.
    SpectrumFrame frame = flatFrame(-200.0f);
    WaterfallBlock& block = frame.waterfall;
    block.width = width;
    block.lines = 8;
    block.writeRow = 3;
    block.totalLines = 11;
    std::vector<uint8_t>& bytes = editPicture(block.bytes);
    for (int r = 0; r < block.lines; ++r)
        bytes.insert(bytes.end(), static_cast<std::size_t>(width), static_cast<uint8_t>(30 * r));
    const QList<QRgb> table = buildWaterfallColourTable(0, -120.0f, 0.0f, -120.0f, 0.0f);

    const QImage image = renderFrame(frame);
    const QRgb top = image.pixel(100, stripTop + 1);
    const QRgb bottom = image.pixel(100, kHeight - 1);
    QVERIFY2(near(top, table[60]), qPrintable(describe(top) + " vs " + describe(table[60])));
    QVERIFY2(near(bottom, table[90]), qPrintable(describe(bottom) + " vs " + describe(table[90])));
    // Just below the older part's upper edge sits the newest of the older rows (row 7);
    // just above it, the oldest of the newer rows (row 0).
    const int older = strip * (8 - 3) / 8;
    QVERIFY(near(image.pixel(100, kHeight - older + 1), table[210]));
    QVERIFY(near(image.pixel(100, kHeight - older - 2), table[0]));

    // A new line arrives: row 3 becomes the newest and moves to the top edge.
    std::fill_n(editPicture(block.bytes).begin() + 3 * width, width, 255);
    block.writeRow = 4;
    block.totalLines = 12;
    const QImage next = renderFrame(frame);
    QVERIFY(near(next.pixel(100, stripTop + 1), table[255]));
    QVERIFY(near(next.pixel(100, kHeight - 1), table[120]));
    // The spectrum area above the strip keeps the background.
    QVERIFY(near(next.pixel(5, stripTop - 3), qRgb(0x0B, 0x0D, 0x10)));
}

void SpectrumRenderTest::densityTransparentWhereByteIsZero()
{
    m_item->setDensityEnabled(true);
    // Left half of the columns empty, right half saturated, on every level.
    SpectrumFrame frame = flatFrame(-200.0f);
    frame.density.width = 8;
    frame.density.height = 4;
    std::vector<uint8_t>& density = editPicture(frame.density.bytes);
    for (int level = 0; level < 4; ++level)
        for (int column = 0; column < 8; ++column)
            density.push_back(column < 4 ? 0 : 255);

    const QImage image = renderFrame(frame);
    const QRgb background = qRgb(0x0B, 0x0D, 0x10);
    QVERIFY2(near(image.pixel(30, 30), background), qPrintable(describe(image.pixel(30, 30))));
    // Byte 255: palette colour (240, 40, 40) under alpha 235 over the background.
    const QRgb saturated = image.pixel(kWidth - 30, 30);
    QVERIFY2(near(saturated, qRgb(241, 41, 41), 3), qPrintable(describe(saturated)));

    m_item->setDensityEnabled(false);
    QVERIFY(near(renderFrame(frame).pixel(kWidth - 30, 30), background));
}

void SpectrumRenderTest::densityHighestLevelOnTopAndNewPicturesReplaceIt()
{
    m_item->setDensityEnabled(true);
    // Four levels over the 300-pixel area: level 3 covers rows 0...74, level 0 rows 225...299.
    SpectrumFrame frame = flatFrame(-200.0f);
    frame.density.width = 8;
    frame.density.height = 4;
    std::vector<uint8_t>& density = editPicture(frame.density.bytes);
    density.assign(8 * 4, 0);
    std::fill_n(density.begin() + 3 * 8, 8, 255);
    const QRgb background = qRgb(0x0B, 0x0D, 0x10);
    const QRgb saturated = qRgb(241, 41, 41);

    const QImage highest = renderFrame(frame);
    QVERIFY2(near(highest.pixel(200, 30), saturated, 3), qPrintable(describe(highest.pixel(200, 30))));
    QVERIFY2(near(highest.pixel(200, 270), background), qPrintable(describe(highest.pixel(200, 270))));

    // The next picture moves everything to the lowest level and lights one column of level 2;
    // level 1 stays empty in both.
    std::vector<uint8_t>& next = editPicture(frame.density.bytes);
    std::fill(next.begin(), next.end(), 0);
    std::fill_n(next.begin(), 8, 255);
    next[2 * 8 + 6] = 255;
    const QImage lowest = renderFrame(frame);
    QVERIFY2(near(lowest.pixel(200, 30), background), qPrintable(describe(lowest.pixel(200, 30))));
    QVERIFY2(near(lowest.pixel(200, 270), saturated, 3), qPrintable(describe(lowest.pixel(200, 270))));
    QVERIFY2(near(lowest.pixel(325, 110), saturated, 3), qPrintable(describe(lowest.pixel(325, 110))));
    QVERIFY2(near(lowest.pixel(200, 110), background), qPrintable(describe(lowest.pixel(200, 110))));
}

void SpectrumRenderTest::densityRecolouredWhenItsPaletteChanges()
{
    m_item->setDensityEnabled(true);
    m_item->setDensityPalette(0);
    SpectrumFrame frame = flatFrame(-200.0f);
    frame.density.width = 8;
    frame.density.height = 4;
    editPicture(frame.density.bytes).assign(8 * 4, 255);
    // The cell's colour counts as premultiplied: added to what its alpha leaves of the background.
    const auto over = [](QRgb cell) {
        const double left = 1.0 - qAlpha(cell) / 255.0;
        return qRgb(qRed(cell) + static_cast<int>(0x0B * left), qGreen(cell) + static_cast<int>(0x0D * left),
                    qBlue(cell) + static_cast<int>(0x10 * left));
    };
    const QRgb first = over(densityPixel(255, 0));
    const QRgb second = over(densityPixel(255, 1));
    QVERIFY(!near(first, second, 3));
    const QRgb before = renderFrame(frame).pixel(200, 150);
    QVERIFY2(near(before, first, 3), qPrintable(describe(before) + " vs " + describe(first)));

    // The same picture, nothing new in it: only the palette changes.
    m_item->setDensityPalette(1);
    const QRgb after = renderFrame(frame).pixel(200, 150);
    QVERIFY2(near(after, second, 3), qPrintable(describe(after) + " vs " + describe(second)));
}

void SpectrumRenderTest::zoomSpreadsItsPartOfTheBandOverTheView()
{
    // A step at three quarters of the band: -90 dB below it, -30 dB from it on.
    SpectrumFrame frame = flatFrame(-90.0f);
    for (std::size_t i = frame.trace.size() * 3 / 4; i < frame.trace.size(); ++i)
        frame.trace[i] = -30.0f;
    const QRgb trace = qRgb(255, 200, 66);
    const auto highAt = [&](const QImage& image, int x) {
        const QList<int> rows = rowsWithColour(image, x, trace);
        return !rows.isEmpty() && rows.first() < kHeight / 2;
    };
    const QImage whole = renderFrame(frame);
    QVERIFY(!highAt(whole, kWidth * 5 / 8));
    QVERIFY(highAt(whole, kWidth * 7 / 8));

    // The right half of the band over the whole view: the step moves to the middle.
    m_item->setView(0.5, 1.0);
    const QImage zoomed = renderFrame(frame);
    QVERIFY(!highAt(zoomed, kWidth / 2 - 10));
    QVERIFY(highAt(zoomed, kWidth / 2 + 10));
}

void SpectrumRenderTest::waterfallClearsWhileNoFramesCome()
{
    m_item->setWaterfallEnabled(true);
    m_item->setWaterfallHeightRatio(0.5);
    SpectrumFrame frame = flatFrame(-200.0f);
    const int middle = kHeight * 3 / 4;
    // Before the first line the strip shows the background.
    QVERIFY(near(renderFrame(frame).pixel(100, middle), qRgb(0x0B, 0x0D, 0x10)));

    WaterfallBlock& block = frame.waterfall;
    block.width = 16;
    block.lines = 8;
    block.totalLines = 8;
    editPicture(block.bytes).assign(16 * 8, 200);
    const QList<QRgb> table = buildWaterfallColourTable(0, -120.0f, 0.0f, -120.0f, 0.0f);
    QVERIFY(near(renderFrame(frame).pixel(100, middle), table[200]));

    // No new frame: the clear alone repaints the strip with the lowest colour.
    m_item->clearWaterfall();
    QTRY_VERIFY(near(m_window->grabWindow().pixel(100, middle), table[0]));
}

void SpectrumRenderTest::waterfallRecolouredWholeWhenItsRangeChanges()
{
    m_item->setWaterfallEnabled(true);
    m_item->setWaterfallHeightRatio(0.5);
    m_item->setWaterfallMinDb(-120.0f);
    m_item->setWaterfallMaxDb(0.0f);
    // Rows 0 ... 3 (the older half, at the bottom) hold byte 60, rows 4 ... 7 byte 200.
    SpectrumFrame frame = flatFrame(-200.0f);
    WaterfallBlock& block = frame.waterfall;
    block.width = 16;
    block.lines = 8;
    block.totalLines = 8;
    std::vector<uint8_t>& bytes = editPicture(block.bytes);
    bytes.assign(16 * 4, 60);
    bytes.insert(bytes.end(), 16 * 4, 200);
    const int top = kHeight / 2 + 2;
    const int bottom = kHeight - 2;
    const QList<QRgb> wide = buildWaterfallColourTable(0, -120.0f, 0.0f, -120.0f, 0.0f);
    const QImage before = renderFrame(frame);
    QVERIFY2(near(before.pixel(100, top), wide[200]), qPrintable(describe(before.pixel(100, top))));
    QVERIFY2(near(before.pixel(100, bottom), wide[60]), qPrintable(describe(before.pixel(100, bottom))));

    // No new line: every row already shown takes the colours of the new range.
    m_item->setWaterfallMinDb(-60.0f);
    const QList<QRgb> narrow = buildWaterfallColourTable(0, -120.0f, 0.0f, -60.0f, 0.0f);
    QVERIFY(!near(narrow[200], wide[200]) && !near(narrow[60], wide[60]));
    const QImage after = renderFrame(frame);
    QVERIFY2(near(after.pixel(100, top), narrow[200]), qPrintable(describe(after.pixel(100, top))));
    QVERIFY2(near(after.pixel(100, bottom), narrow[60]), qPrintable(describe(after.pixel(100, bottom))));
}

void SpectrumRenderTest::redrawsOnlyWhatChanged()
{
    // Counted on whichever thread renders; the connection must not outlive the counter.
    std::atomic<int> frames{0};
    const QMetaObject::Connection counting = connect(
        m_window.get(), &QQuickWindow::frameSwapped, this, [&frames] { ++frames; }, Qt::DirectConnection);
    const auto stopCounting = qScopeGuard([&counting] { disconnect(counting); });
    // Once the first frames are drawn, several repaint timer periods pass with nothing new, and
    // nothing is drawn: the window falls quiet. However late a busy machine draws the first
    // frames, that comes within the wait, unless every tick draws.
    const auto fallsQuiet = [&frames] {
        return QTest::qWaitFor(
            [&frames] {
                frames = 0;
                QTest::qWait(300);
                return frames.load() == 0;
            },
            kEventWaitMs);
    };
    QVERIFY(fallsQuiet());

    // A new frame is drawn at the next timer tick, once.
    m_item->setFrame(flatFrame(-60.0f));
    QTRY_VERIFY_WITH_TIMEOUT(frames >= 1, kEventWaitMs);
    QTest::qWait(300);
    QCOMPARE(frames.load(), 1);

    // A property change repaints too.
    frames = 0;
    m_item->setPeakLineEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(frames >= 1, kEventWaitMs);
    QVERIFY(fallsQuiet());

    // The demonstration spectrum changes every tick, so it keeps being drawn.
    frames = 0;
    m_item->setDemo(true);
    QTRY_VERIFY_WITH_TIMEOUT(frames >= 5, kEventWaitMs);
}

int main(int argc, char** argv)
{
    chooseWindowGraphics();
    QGuiApplication app(argc, argv);
    SpectrumRenderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SpectrumRenderTest.moc"
