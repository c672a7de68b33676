#include "display/SpectrumItem.h"

#include "display/DemoSpectrum.h"
#include "display/SpectrumNode.h"
#include "display/SpectrumRenderer.h"
#include "markers/MarkerTracking.h"
#include "markers/PeakSearch.h"

#include <QQuickWindow>
#include <QRandomGenerator64>
#include <QtNumeric>

#include <algorithm>
#include <cmath>

SpectrumItem::SpectrumItem(QQuickItem* parent) : QQuickItem(parent)
{
    setFlag(ItemHasContents);
    m_frame.trace.assign(2048, -120.0f);
    m_repaintTimer.setInterval(33);
    connect(&m_repaintTimer, &QTimer::timeout, this, &SpectrumItem::onTimer);
    m_repaintTimer.start();
}

SpectrumItem::~SpectrumItem()
{
    m_repaintTimer.stop();
}

std::unique_ptr<SpectrumRenderer> SpectrumItem::createRenderer() const
{
    return std::make_unique<SpectrumRenderer>();
}

// Runs on the render thread while the GUI thread waits: the renderer takes its copy here.
QSGNode* SpectrumItem::updatePaintNode(QSGNode* node, UpdatePaintNodeData* /*data*/)
{
    auto* spectrum = static_cast<SpectrumNode*>(node);
    if (spectrum == nullptr)
        spectrum = new SpectrumNode(createRenderer()); // owned by the scene graph
    // The scene's pixels as the window's framebuffer holds them. The node's own matrix is not
    // dependable while it renders, so the place is taken here.
    const qreal ratio = window()->effectiveDevicePixelRatio();
    const QRectF scene = mapRectToScene(QRectF(QPointF(0.0, 0.0), size()));
    const QRect area(QPoint(qRound(scene.left() * ratio), qRound(scene.top() * ratio)),
                     QPoint(qRound(scene.right() * ratio) - 1, qRound(scene.bottom() * ratio) - 1));
    spectrum->setGeometry(size(), area, (QSizeF(window()->size()) * ratio).toSize());
    spectrum->renderer().synchronize(*this);
    return spectrum;
}

double SpectrumItem::minFreqHz() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame.startHz;
}

double SpectrumItem::maxFreqHz() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame.stopHz;
}

double SpectrumItem::centerFreqHz() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame.centerHz;
}

double SpectrumItem::rbwHz() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame.rbwHz;
}

double SpectrumItem::viewMinFreqHz() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame.startHz + m_settings.view.start * (m_frame.stopHz - m_frame.startHz);
}

double SpectrumItem::viewMaxFreqHz() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame.startHz + m_settings.view.stop * (m_frame.stopHz - m_frame.startHz);
}

double SpectrumItem::minViewWidth() const
{
    return std::min(1.0, static_cast<double>(display_settings::kMinViewBins) / m_fftSize);
}

double SpectrumItem::binHz() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame.binHz;
}

void SpectrumItem::setView(double start, double stop)
{
    const ViewWindow view = clampViewWindow(start, stop, minViewWidth());
    if (view.start == m_settings.view.start && view.stop == m_settings.view.stop)
        return;
    m_settings.view = view;
    emit viewChanged();
    update();
}

void SpectrumItem::clearWaterfall()
{
    ++m_settings.waterfallClears;
    update();
}

double SpectrumItem::highestUnmarkedPeakHz(const QVariantList& markedHz) const
{
    std::lock_guard lock(m_frameMutex);
    const std::size_t n = m_frame.trace.size();
    if (n == 0 || !(m_frame.binHz > 0.0))
        return qQNaN();
    std::vector<std::size_t> marked;
    marked.reserve(static_cast<std::size_t>(markedHz.size()));
    for (const QVariant& hz : markedHz) {
        // A marker outside the band marks nothing in it.
        if (hz.toDouble() < m_frame.startHz || hz.toDouble() > m_frame.stopHz)
            continue;
        if (const auto bin = marker_tracking::nearestBin(hz.toDouble(), m_frame.startHz, m_frame.binHz, n))
            marked.push_back(*bin);
    }
    const IndexRange visible = visibleTraceRange(n, m_settings.view);
    const auto peak = highestUnmarkedPeak(m_frame.trace, visible.first, visible.last, marked);
    return peak ? m_frame.startHz + static_cast<double>(*peak) * m_frame.binHz : qQNaN();
}

void SpectrumItem::setFftSize(int fftSize)
{
    if (fftSize <= 0 || fftSize == m_fftSize)
        return;
    m_fftSize = fftSize;
    {
        std::lock_guard lock(m_frameMutex);
        m_frame.trace.assign(static_cast<std::size_t>(fftSize), m_settings.minDb);
        ++m_frameVersion;
    }
    emit fftSizeChanged();
    // A finer FFT allows a narrower zoom, a coarser one may need a wider view.
    setView(m_settings.view.start, m_settings.view.stop);
    update();
}

void SpectrumItem::setFrame(SpectrumFrame frame)
{
    if (m_settings.minHoldEnabled)
        m_memories.follow(traceViewOf(frame));
    bool rangeChanged = false;
    bool rbwChanged = false;
    {
        std::lock_guard lock(m_frameMutex);
        // Negated equality so that a NaN on either side counts as a change.
        rangeChanged = !(frame.centerHz == m_frame.centerHz) || !(frame.startHz == m_frame.startHz) ||
                       !(frame.stopHz == m_frame.stopHz) || !(frame.binHz == m_frame.binHz);
        rbwChanged = !(frame.rbwHz == m_frame.rbwHz);
        m_frame = std::move(frame);
        ++m_frameVersion;
    }
    if (rangeChanged) {
        emit freqRangeChanged();
        emit viewChanged();
    }
    if (rbwChanged)
        emit rbwHzChanged();
}

void SpectrumItem::announceShownFrame()
{
    ShownFigures shown;
    {
        std::lock_guard lock(m_frameMutex);
        shown = {m_frame.rmsDb, m_frame.overload};
    }
    // Negated equality so that a NaN on either side counts as a change.
    const bool rmsChanged = !(shown.rmsDb == m_shown.rmsDb);
    const bool overloadFlipped = shown.overload != m_shown.overload;
    m_shown = shown;
    const bool levelsMoved = updateTraceLevels();
    if (rmsChanged)
        emit rmsDbChanged();
    if (overloadFlipped)
        emit overloadChanged();
    if (levelsMoved)
        emit traceLevelsChanged();
}

void SpectrumItem::updateRmsReading()
{
    // Two decimals changing 30 times a second cannot be read; a few times a second they can.
    constexpr qint64 kReadingIntervalMs = 250;
    const bool same = m_rmsReadingDb == m_shown.rmsDb || (std::isnan(m_rmsReadingDb) && std::isnan(m_shown.rmsDb));
    if (same || (m_rmsReadingAge.isValid() && m_rmsReadingAge.elapsed() < kReadingIntervalMs))
        return;
    m_rmsReadingDb = m_shown.rmsDb;
    m_rmsReadingAge.start();
    emit rmsReadingDbChanged();
}

bool SpectrumItem::updateTraceLevels()
{
    TraceLevels measured;
    {
        std::lock_guard lock(m_frameMutex);
        if (!measureTraceLevels(m_frame.trace, m_levelScratch, measured))
            return false;
    }
    measured.noiseFloorDb = std::round(measured.noiseFloorDb);
    measured.strongestDb = std::round(measured.strongestDb);
    if (measured.noiseFloorDb == m_levels.noiseFloorDb && measured.strongestDb == m_levels.strongestDb)
        return false;
    m_levels = measured;
    return true;
}

void SpectrumItem::snapshotFrame(SpectrumFrame& target) const
{
    uint64_t never = 0;
    snapshotFrameIfChanged(target, never);
}

bool SpectrumItem::snapshotFrameIfChanged(SpectrumFrame& target, uint64_t& version) const
{
    std::lock_guard lock(m_frameMutex);
    if (version == m_frameVersion)
        return false;
    target = m_frame;
    version = m_frameVersion;
    return true;
}

void SpectrumItem::atNextRepaint(QObject* context, std::function<void()> change)
{
    m_atNextRepaint.push_back({context, std::move(change)});
}

void SpectrumItem::onTimer()
{
    // A change may ask for another one; that waits for the tick after.
    m_runningChanges.swap(m_atNextRepaint);
    for (PendingChange& pending : m_runningChanges) {
        if (pending.context)
            pending.change();
    }
    m_runningChanges.clear();
    if (m_demo)
        generateDemoFrame();
    // Redrawing an unchanged frame costs the software rasteriser as much as a new one, and that
    // time comes out of the acquisition and processing threads; setters repaint on their own.
    uint64_t version = 0;
    {
        std::lock_guard lock(m_frameMutex);
        version = m_frameVersion;
    }
    if (version != m_repaintedVersion) {
        m_repaintedVersion = version;
        announceShownFrame();
        update();
    }
    // Also without a new frame, so that the reading catches up with the last one.
    updateRmsReading();
}

void SpectrumItem::generateDemoFrame()
{
    std::lock_guard lock(m_frameMutex);
    const auto n = static_cast<std::size_t>(m_fftSize);
    if (m_frame.trace.size() != n)
        m_frame.trace.assign(n, m_settings.minDb);
    fillDemoTrace(m_frame.trace.data(), n, m_demoPhase, m_settings.minDb, m_settings.maxDb,
                  [] { return QRandomGenerator64::global()->generate(); });
    m_demoPhase = advanceDemoPhase(m_demoPhase);
    ++m_frameVersion;
}
