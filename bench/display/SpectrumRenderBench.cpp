// Measures the spectrum renderer's synchronize and render per frame in a 1760 x 980 window
// with everything on: 2048-bin trace and peak line, 1200-line x 2048 waterfall, 1024 x 512
// density picture. Run under Xvfb (scripts/xvfb-test.sh). Render times include glFinish, so the
// rasteriser's work for the frame is counted. Per frame drawn it also gives the CPU time of the
// rasteriser's threads and of the render thread, the window's own composition included, from
// the threads' scheduler statistics.
#include "bench/support/BenchFigures.h"
#include "display/DemoSpectrum.h"
#include "display/SpectrumItem.h"
#include "display/SpectrumRenderer.h"
#include "display/WindowGraphics.h"
#include "platform/ThreadPriority.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOffscreenSurface>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QOpenGLPaintDevice>
#include <QPainter>
#include <QQuickWindow>
#include <QRandomGenerator>
#include <QSGRendererInterface>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Seeded so that every run feeds the same frames.
QRandomGenerator* benchRandom()
{
    static QRandomGenerator generator(20261207);
    return &generator;
}

int64_t processCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// CPU time in ms of this process's threads whose name starts with `prefix` (the first field of
// each thread's schedstat, in ns).
double threadsCpuMs(const QString& prefix)
{
    double ns = 0.0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!comm.open(QIODevice::ReadOnly) || !QString::fromLatin1(comm.readAll()).startsWith(prefix) ||
            !schedstat.open(QIODevice::ReadOnly))
            continue;
        ns += QString::fromLatin1(schedstat.readAll()).section(QLatin1Char(' '), 0, 0).toDouble();
    }
    return ns / 1e6;
}

// Filled by the render thread, read by the GUI thread between scenarios.
struct Timings {
    std::mutex mutex;
    std::vector<double> syncMs;
    std::vector<double> renderMs;
    std::vector<double> threadCpuMs; // render thread CPU time in synchronize + render, per frame
    std::vector<double> renderProcessCpuMs; // CPU time of the whole process while render() runs

    void clear()
    {
        std::lock_guard lock(mutex);
        syncMs.clear();
        renderMs.clear();
        threadCpuMs.clear();
        renderProcessCpuMs.clear();
    }
};

class TimedRenderer : public SpectrumRenderer {
public:
    explicit TimedRenderer(Timings& timings) : m_timings(timings) {}

    void synchronize(const SpectrumItem& item) override
    {
        const int64_t cpu0 = threadCpuNowNs();
        QElapsedTimer timer;
        timer.start();
        SpectrumRenderer::synchronize(item);
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        m_syncCpuNs = threadCpuNowNs() - cpu0;
        std::lock_guard lock(m_timings.mutex);
        m_timings.syncMs.push_back(ms);
    }

    void render(const QSize& targetSize, const QRect& area) override
    {
        const int64_t processCpu0 = processCpuNs();
        const int64_t cpu0 = threadCpuNowNs();
        QElapsedTimer timer;
        timer.start();
        SpectrumRenderer::render(targetSize, area);
        QOpenGLContext::currentContext()->functions()->glFinish();
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const int64_t cpu = threadCpuNowNs() - cpu0;
        const int64_t processCpu = processCpuNs() - processCpu0;
        std::lock_guard lock(m_timings.mutex);
        m_timings.renderProcessCpuMs.push_back(static_cast<double>(processCpu) / 1e6);
        m_timings.renderMs.push_back(ms);
        m_timings.threadCpuMs.push_back(static_cast<double>(cpu + m_syncCpuNs) / 1e6);
        m_syncCpuNs = 0;
    }

private:
    Timings& m_timings;
    int64_t m_syncCpuNs = 0;
};

class TimedSpectrumItem : public SpectrumItem {
public:
    explicit TimedSpectrumItem(Timings& timings) : m_timings(timings) {}
    std::unique_ptr<SpectrumRenderer> createRenderer() const override
    {
        return std::make_unique<TimedRenderer>(m_timings);
    }

private:
    Timings& m_timings;
};

// One measured configuration: which layers are on and how each fed frame differs from the last.
struct Scenario {
    const char* name;
    bool density;
    bool peakLine;
    bool waterfall;
    bool colourRangeChange;
    std::function<void(SpectrumFrame&, int)> step;
};

// A receiver-like trace: noise floor, two signals, a drifting ripple; the peak line above it.
void newTrace(SpectrumFrame& frame, int index)
{
    frame.trace.resize(2048);
    frame.peakLine.resize(2048);
    fillDemoTrace(frame.trace.data(), 2048, 0.15f * static_cast<float>(index), -120.0f, 0.0f,
                  [] { return benchRandom()->generate64(); });
    for (std::size_t i = 0; i < 2048; ++i)
        frame.peakLine[i] = frame.trace[i] + 6.0f;
}

// A persistence picture as the trace leaves it: bright at each column's level, fading over 20
// levels above and below, empty elsewhere.
void newDensityPicture(SpectrumFrame& frame)
{
    constexpr int kColumns = 1024;
    constexpr int kLevels = 512;
    auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<std::size_t>(kColumns) * kLevels, 0);
    for (int j = 0; j < kColumns; ++j) {
        const float db = std::max(frame.trace[2 * j], frame.trace[2 * j + 1]);
        const int level = std::clamp(static_cast<int>((db + 120.0f) / 120.0f * (kLevels - 1)), 0, kLevels - 1);
        for (int m = std::max(0, level - 20); m <= std::min(kLevels - 1, level + 20); ++m)
            (*bytes)[static_cast<std::size_t>(m) * kColumns + j] = static_cast<uint8_t>(255 - 12 * std::abs(m - level));
    }
    frame.density.bytes = std::move(bytes);
}

SpectrumFrame fullFrame()
{
    SpectrumFrame frame;
    auto* random = benchRandom();
    newTrace(frame, 0);
    frame.density.width = 1024;
    frame.density.height = 512;
    newDensityPicture(frame);
    WaterfallBlock& wf = frame.waterfall;
    wf.width = 2048;
    wf.lines = 1200;
    wf.writeRow = 0;
    wf.totalLines = 1200;
    auto bytes = std::make_shared<std::vector<uint8_t>>(2048 * 1200);
    for (auto& b : *bytes)
        b = static_cast<uint8_t>(random->bounded(256));
    wf.bytes = std::move(bytes);
    return frame;
}

void newWaterfallLine(SpectrumFrame& frame)
{
    WaterfallBlock& wf = frame.waterfall;
    const std::size_t row = static_cast<std::size_t>(wf.writeRow);
    auto* random = benchRandom();
    // A published picture never changes: the new line goes into a new one, as the spectrum
    // thread does it.
    auto bytes = std::make_shared<std::vector<uint8_t>>(*wf.bytes);
    for (std::size_t i = 0; i < 2048; ++i)
        (*bytes)[row * 2048 + i] = static_cast<uint8_t>(random->bounded(256));
    wf.bytes = std::move(bytes);
    wf.writeRow = (wf.writeRow + 1) % wf.lines;
    ++wf.totalLines;
}

// Why the waterfall is not drawn with QPainter::drawImage: the OpenGL paint engine converts an
// indexed image to ARGB and uploads it whole whenever the image changed (a new scanline or a
// new colour table), which is nearly every frame.
void measurePainterImageDraws()
{
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!context.create() || !context.makeCurrent(&surface)) {
        std::printf("no OpenGL context for the painter comparison\n");
        return;
    }
    const QSize size(1760, 980);
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    QOpenGLFramebufferObject fbo(size, format);
    fbo.bind();

    QImage indexed(2048, 1200, QImage::Format_Indexed8);
    QList<QRgb> table(256);
    for (int i = 0; i < 256; ++i)
        table[i] = qRgb(i, 255 - i, i / 2);
    indexed.setColorTable(table);
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x)
            indexed.scanLine(y)[x] = static_cast<uchar>(benchRandom()->bounded(256));
    QImage converted = indexed.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    const auto measure = [&](const char* name, QImage& image, bool touch) {
        std::vector<double> ms;
        for (int k = 0; k < 30; ++k) {
            QElapsedTimer timer;
            timer.start();
            {
                QOpenGLPaintDevice device(size);
                QPainter painter(&device);
                if (touch)
                    image.scanLine(k % image.height())[0] ^= 1;
                painter.drawImage(QRectF(0, 686, 1760, 294), image);
            }
            context.functions()->glFinish();
            ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        }
        std::printf("  %-52s median %.3f ms\n", name, benchfigures::percentile(ms, 0.5));
    };
    std::printf("QPainter::drawImage of a 2048 x 1200 waterfall into a 1760 x 294 strip (incl. glFinish):\n");
    measure("indexed image, unchanged", indexed, false);
    measure("indexed image, one scanline changed per draw", indexed, true);
    measure("ARGB image, one scanline changed per draw", converted, true);
    context.doneCurrent();
}

// Runs the event loop until `clock` reaches dueMs, sleeping between events as the application's
// GUI thread does. Polling instead would keep one of the machine's cores busy and take it from
// the rasteriser's threads, which are what is measured.
void runEventsUntil(const QElapsedTimer& clock, qint64 dueMs)
{
    const qint64 remaining = dueMs - clock.elapsed();
    if (remaining <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(remaining), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    chooseWindowGraphics();
    QGuiApplication app(argc, argv);
    if (argc < 2)
        measurePainterImageDraws();

    Timings timings;
    QQuickWindow window;
    drawWithoutDepthBuffer(window);
    window.resize(1760, 980);
    auto* item = new TimedSpectrumItem(timings); // owned by the window's content item
    item->setParentItem(window.contentItem());
    item->setSize(QSizeF(1760, 980));
    item->setDemo(false);
    window.show();
    std::atomic<int> framesSwapped{0};
    QObject::connect(&window, &QQuickWindow::frameSwapped, &window, [&framesSwapped] { ++framesSwapped; },
                     Qt::DirectConnection);

    const auto liveData = [](SpectrumFrame& f, int i) {
        newTrace(f, i);
        newWaterfallLine(f);
        if (i % 5 < 2)
            newDensityPicture(f);
    };
    const auto sameData = [](SpectrumFrame&, int) {};
    const std::vector<Scenario> scenarios{
        {"everything on: new waterfall line every frame, new density picture at 12 fps", true, true, true, false,
         liveData},
        {"everything on, no new data (same frame again)", true, true, true, false, sameData},
        {"everything on, waterfall colour range change every frame, no new line", true, true, true, true, sameData},
        {"background, grid and trace only", false, false, false, false, sameData},
        {"background, grid, trace and peak line", false, true, false, false, sameData},
        {"trace and density, density picture at 12 fps", true, false, false, false, liveData},
        {"trace and waterfall, new line every frame", false, false, true, false, liveData},
    };

    SpectrumFrame frame = fullFrame();
    std::printf("SpectrumRenderer, 1760x980 item, 2048-bin trace + peak line, waterfall 1200 x 2048, "
                "density 1024 x 512, frames fed at 30 fps\n");
    std::printf("graphics API OpenGL: %s\n",
                window.rendererInterface()->graphicsApi() == QSGRendererInterface::OpenGL ? "yes" : "NO");

    constexpr int kFramesPerScenario = 90;
    // An optional argument picks the scenarios whose name contains it.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    for (const Scenario& scenario : scenarios) {
        if (!QString::fromUtf8(scenario.name).contains(only))
            continue;
        item->setDensityEnabled(scenario.density);
        item->setPeakLineEnabled(scenario.peakLine);
        item->setWaterfallEnabled(scenario.waterfall);
        // Settle: the first frames build the caches.
        item->setFrame(frame);
        QElapsedTimer settle;
        settle.start();
        runEventsUntil(settle, 500);
        timings.clear();

        QElapsedTimer wall;
        wall.start();
        const int64_t cpu0 = processCpuNs();
        const double rasteriser0 = threadsCpuMs(QStringLiteral("llvmpipe"));
        const double renderThread0 = threadsCpuMs(QStringLiteral("QSGRenderThread"));
        framesSwapped = 0;
        for (int i = 0; i < kFramesPerScenario; ++i) {
            scenario.step(frame, i);
            if (scenario.colourRangeChange)
                item->setWaterfallMinDb(i % 2 == 0 ? -110.0f : -100.0f);
            item->setFrame(frame);
            runEventsUntil(wall, static_cast<qint64>(i + 1) * 1000 / 30);
        }
        const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
        const double processCpu = static_cast<double>(processCpuNs() - cpu0) / 1e9;
        const double swapped = std::max(1, framesSwapped.load());
        const double rasteriserMs = (threadsCpuMs(QStringLiteral("llvmpipe")) - rasteriser0) / swapped;
        const double renderThreadMs = (threadsCpuMs(QStringLiteral("QSGRenderThread")) - renderThread0) / swapped;

        std::lock_guard lock(timings.mutex);
        const double renders = static_cast<double>(timings.renderMs.size());
        const double syncMedian = benchfigures::percentile(timings.syncMs, 0.5);
        const double renderMedian = benchfigures::percentile(timings.renderMs, 0.5);
        std::printf("\n[%s]\n", scenario.name);
        std::printf("  renders: %.0f in %.2f s (%.1f per s)\n", renders, seconds, renders / seconds);
        std::printf("  synchronize: median %.3f ms, p90 %.3f ms\n", syncMedian, benchfigures::percentile(timings.syncMs, 0.9));
        std::printf("  render (incl. glFinish): median %.3f ms, p90 %.3f ms\n", renderMedian,
                    benchfigures::percentile(timings.renderMs, 0.9));
        const double cpuMedian = benchfigures::percentile(timings.threadCpuMs, 0.5);
        std::printf("  synchronize + render median: %.3f ms -> %.1f %% of a core at 30 fps\n",
                    syncMedian + renderMedian, (syncMedian + renderMedian) * 30.0 / 10.0);
        std::printf("  render thread's own CPU in synchronize + render: median %.3f ms -> %.1f %% of a core at "
                    "30 fps (the rasteriser's threads do the rest)\n",
                    cpuMedian, cpuMedian * 30.0 / 10.0);
        std::printf("  CPU of all threads while render() runs (render thread, rasteriser threads, anything "
                    "else of the process meanwhile): median %.3f ms\n",
                    benchfigures::percentile(timings.renderProcessCpuMs, 0.5));
        std::printf("  per frame drawn (%d swapped), window composition included: rasteriser threads %.3f ms, "
                    "render thread %.3f ms -> %.1f %% and %.1f %% of a core at 30 fps\n",
                    framesSwapped.load(), rasteriserMs, renderThreadMs, rasteriserMs * 3.0, renderThreadMs * 3.0);
        std::printf("  whole process CPU at the measured rate (all threads, rasteriser included): %.1f %% of a "
                    "core\n",
                    processCpu / seconds * 100.0);
    }
    return 0;
}
