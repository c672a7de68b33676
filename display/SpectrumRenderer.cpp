#include "display/SpectrumRenderer.h"

#include "display/SpectrumItem.h"
#include "display/TraceStroke.h"
#include "display/WaterfallRows.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QQuickOpenGLUtils>

namespace {

const QColor kBackground(0x0B, 0x0D, 0x10);
const QColor kGrid(35, 40, 46);
const QColor kTrace(255, 200, 66);
const QColor kPeakLine(0x4F, 0xC3, 0xF7);
const QColor kMinHold(0x79, 0xD0, 0x7B);
// M1 and M2.
const std::array<QColor, TraceMemories::kStoredSlots> kStored{QColor(0xE0, 0x40, 0xFB), QColor(0xFF, 0x8A, 0x65)};

} // namespace

SpectrumRenderer::SpectrumRenderer() = default;

SpectrumRenderer::~SpectrumRenderer() = default;

void SpectrumRenderer::synchronize(const SpectrumItem& item)
{
    item.snapshotFrameIfChanged(m_frame, m_frameVersion);
    m_settings = item.displaySettings();
    const TraceMemories& memories = item.traceMemories();
    // Assigned in place, so that the copies reuse their buffers from one render to the next.
    const auto copy = [](std::vector<float>& to, const std::vector<float>* from) {
        if (from)
            to = *from;
        else
            to.clear();
    };
    copy(m_minHold, m_settings.minHoldEnabled ? &memories.minHold() : nullptr);
    for (int slot = 0; slot < TraceMemories::kStoredSlots; ++slot)
        copy(m_stored[static_cast<std::size_t>(slot)], memories.storedAt(slot, m_frame.startHz, m_frame.binHz));
}

void SpectrumRenderer::render(const QSize& targetSize, const QRect& area)
{
    if (area.width() < 1 || area.height() < 1)
        return;
    m_target = targetSize;
    m_area = area;
    const SpectrumLayout layout = computeLayout(area.width(), area.height(), m_settings.waterfallEnabled,
                                                m_settings.waterfallHeightRatio);
    clearBackground(0, layout.spectrumHeight);
    {
        QOpenGLPaintDevice device(targetSize);
        QPainter painter(&device);
        painter.translate(area.topLeft());
        painter.setRenderHint(QPainter::Antialiasing, false);

        // A drawn waterfall covers its whole strip: only an empty one needs the background.
        if (!drawWaterfall(painter, layout) && layout.waterfallHeight > 0) {
            beginNativePainting(painter);
            clearBackground(layout.spectrumHeight, layout.waterfallHeight);
            painter.endNativePainting();
        }
        drawGrid(painter, layout);
        drawDensity(painter, layout);
        for (std::size_t slot = 0; slot < m_stored.size(); ++slot)
            drawTrace(painter, layout, m_stored[slot], kStored[slot], 1.2f);
        drawTrace(painter, layout, m_frame.trace, kTrace, 1.5f);
        if (m_settings.peakLineEnabled)
            drawTrace(painter, layout, m_frame.peakLine, kPeakLine, 1.2f);
        drawTrace(painter, layout, m_minHold, kMinHold, 1.2f);
    }
    QQuickOpenGLUtils::resetOpenGLState();
}

// A clear is far cheaper than painting every pixel on a software rasteriser.
void SpectrumRenderer::clearBackground(int top, int rows)
{
    restrictToArea();
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    gl->glScissor(m_area.x(), m_target.height() - m_area.y() - top - rows, m_area.width(), rows);
    gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl->glClearColor(kBackground.redF(), kBackground.greenF(), kBackground.blueF(), 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
}

void SpectrumRenderer::beginNativePainting(QPainter& painter)
{
    painter.beginNativePainting();
    restrictToArea();
}

// Viewport and scissor on the item's area; OpenGL counts rows from the bottom.
void SpectrumRenderer::restrictToArea()
{
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    const int bottom = m_target.height() - m_area.y() - m_area.height();
    gl->glViewport(m_area.x(), bottom, m_area.width(), m_area.height());
    gl->glEnable(GL_SCISSOR_TEST);
    gl->glScissor(m_area.x(), bottom, m_area.width(), m_area.height());
}

bool SpectrumRenderer::drawWaterfall(QPainter& painter, const SpectrumLayout& layout)
{
    const int strip = layout.waterfallHeight;
    if (!m_settings.waterfallEnabled || strip < 1)
        return false;
    const WaterfallChange change = m_waterfall.update(m_frame.waterfall, m_settings.waterfallMinDb,
                                                      m_settings.waterfallMaxDb, m_settings.waterfallClears);
    if (!change.usable)
        return false;

    beginNativePainting(painter);
    const bool onTexture = m_waterfallTexture.follow(m_waterfall.image(), change);
    if (onTexture) {
        // Upward from the strip's bottom edge: oldest row first, newest row at the top edge.
        const int lines = m_waterfall.image().height();
        const int g = m_waterfall.writeRow();
        const int bottom = layout.spectrumHeight + strip;
        const auto ndc = [&](int y) { return framebufferNdcY(static_cast<float>(y), layout.height); };
        const auto u0 = static_cast<float>(m_settings.view.start);
        const auto u1 = static_cast<float>(m_settings.view.stop);
        if (g == 0) {
            m_waterfallTexture.drawRows(0, lines, ndc(bottom), ndc(layout.spectrumHeight), u0, u1);
        } else {
            const int older = waterfallOlderPartHeight(strip, lines, g);
            m_waterfallTexture.drawRows(g, lines - g, ndc(bottom), ndc(bottom - older), u0, u1);
            m_waterfallTexture.drawRows(0, g, ndc(bottom - older), ndc(layout.spectrumHeight), u0, u1);
        }
    }
    painter.endNativePainting();
    if (!onTexture)
        drawWaterfallImage(painter, layout);
    return true;
}

// For rings longer than the largest texture, or without shaders: the painter splits the image.
void SpectrumRenderer::drawWaterfallImage(QPainter& painter, const SpectrumLayout& layout)
{
    const int strip = layout.waterfallHeight;
    const QImage& image = m_waterfall.image();
    const int lines = image.height();
    const int w = image.width();
    const int g = m_waterfall.writeRow();
    const int width = layout.width;
    const double left = m_settings.view.start * w;
    const double shown = (m_settings.view.stop - m_settings.view.start) * w;

    // Upward from the strip's bottom edge: oldest row first, newest row at the top edge.
    painter.save();
    painter.translate(0, layout.spectrumHeight + strip);
    painter.scale(1, -1);
    if (g == 0) {
        painter.drawImage(QRectF(0, 0, width, strip), image, QRectF(left, 0, shown, lines));
    } else {
        const int older = waterfallOlderPartHeight(strip, lines, g);
        painter.drawImage(QRectF(0, 0, width, older), image, QRectF(left, g, shown, lines - g));
        painter.drawImage(QRectF(0, older, width, strip - older), image, QRectF(left, 0, shown, g));
    }
    painter.restore();
}

void SpectrumRenderer::drawGrid(QPainter& painter, const SpectrumLayout& layout)
{
    buildGridTriangles(layout, m_gridTriangles);
    beginNativePainting(painter);
    const bool drawn = m_triangles.draw(m_gridTriangles, kGrid, layout.width, layout.height);
    painter.endNativePainting();
    if (drawn)
        return;
    painter.setPen(QPen(kGrid, 1));
    for (const int x : verticalGridLines(layout.width))
        painter.drawLine(x, 0, x, layout.spectrumHeight);
    for (const int y : horizontalGridLines(layout.spectrumHeight))
        painter.drawLine(0, y, layout.width, y);
}

void SpectrumRenderer::drawDensity(QPainter& painter, const SpectrumLayout& layout)
{
    if (!m_settings.densityEnabled || !holdsDensityPicture(m_frame.density)) {
        m_densityTexture.reset();
        m_density.reset();
        return;
    }
    beginNativePainting(painter);
    const bool onTexture = m_densityTexture.follow(m_frame.density, m_settings.densityPalette);
    if (onTexture) {
        placeDensityParts(m_densityTexture.visibleParts(), m_frame.density.width, m_frame.density.height, layout,
                          m_settings.view, m_densityPlaces);
        m_densityTexture.draw(m_densityPlaces, layout.width, layout.height);
    }
    painter.endNativePainting();
    if (!onTexture)
        drawDensityImage(painter, layout);
}

// For pictures larger than the largest texture, or without shaders: the painter colours and
// uploads the whole picture.
void SpectrumRenderer::drawDensityImage(QPainter& painter, const SpectrumLayout& layout)
{
    if (!m_density.update(m_frame.density, m_settings.densityPalette))
        return;
    const QImage& image = m_density.image();
    placeDensityParts(m_density.visibleParts(), image.width(), image.height(), layout, m_settings.view,
                      m_densityPlaces);
    for (const DensityPlace& place : m_densityPlaces) {
        const CellRect& cells = place.cells;
        painter.drawImage(QRectF(place.left, place.top, place.right - place.left, place.bottom - place.top), image,
                          QRectF(cells.x, cells.y, cells.width, cells.height));
    }
}

void SpectrumRenderer::drawTrace(QPainter& painter, const SpectrumLayout& layout, const std::vector<float>& values,
                                 const QColor& colour, float penWidth)
{
    const std::size_t n = values.size();
    if (n <= 1)
        return;
    const IndexRange visible = visibleTraceRange(n, m_settings.view);
    m_tracePoints.resize(visible.last - visible.first + 1);
    for (std::size_t i = visible.first; i <= visible.last; ++i)
        m_tracePoints[i - visible.first] = tracePoint(i, n, values[i], m_settings.minDb, m_settings.maxDb, layout.width,
                                                      layout.spectrumHeight, m_settings.view);
    buildStrokeTriangles(m_tracePoints, penWidth, m_traceTriangles);
    // With more segments than columns they overlap: the pixels they cover are fewer triangles.
    const bool byColumns = m_tracePoints.size() - 1 > static_cast<std::size_t>(layout.width);
    if (byColumns)
        coverColumns(m_traceTriangles, layout.width, m_traceCover, m_traceRectangles);
    beginNativePainting(painter);
    const bool drawn =
        m_triangles.draw(byColumns ? m_traceRectangles : m_traceTriangles, colour, layout.width, layout.height);
    painter.endNativePainting();
    if (drawn)
        return;
    QPainterPath path(QPointF(m_tracePoints[0].x, m_tracePoints[0].y));
    for (std::size_t i = 1; i < m_tracePoints.size(); ++i)
        path.lineTo(m_tracePoints[i].x, m_tracePoints[i].y);
    painter.strokePath(path, QPen(colour, penWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
}
