#pragma once

#include "display/DensityPicture.h"
#include "display/DensityTexture.h"
#include "display/DisplaySettings.h"
#include "display/SpectrumLayout.h"
#include "display/TraceMemories.h"
#include "display/TraceStroke.h"
#include "display/TrianglePainter.h"
#include "display/WaterfallImage.h"
#include "display/WaterfallTexture.h"
#include "engine/SpectrumFrame.h"

#include <QRect>
#include <QSize>

#include <array>

class QPainter;
class SpectrumItem;

// Draws the spectrum display on the render thread into the bound framebuffer, inside the
// item's area: background, waterfall strip, grid, density picture, stored traces, trace, peak
// line (the maximum hold) and minimum hold. It works on its own copy of the frame and settings,
// taken while the GUI thread is blocked.
class SpectrumRenderer {
public:
    SpectrumRenderer();
    virtual ~SpectrumRenderer();
    SpectrumRenderer(const SpectrumRenderer&) = delete;
    SpectrumRenderer& operator=(const SpectrumRenderer&) = delete;

    // Takes the item's frame (when it changed) and settings; the GUI thread waits meanwhile.
    virtual void synchronize(const SpectrumItem& item);
    // Draws into a framebuffer of targetSize pixels, inside `area` (x right, y down from the
    // framebuffer's top edge), and nowhere else.
    virtual void render(const QSize& targetSize, const QRect& area);

private:
    // Clears rows top ... top + rows - 1 of the item's area.
    void clearBackground(int top, int rows);
    // Native drawing in the item's area: the painter leaves the viewport on the whole target.
    void beginNativePainting(QPainter& painter);
    void restrictToArea();
    // False when there is no waterfall to draw; otherwise it covers the whole strip.
    bool drawWaterfall(QPainter& painter, const SpectrumLayout& layout);
    void drawWaterfallImage(QPainter& painter, const SpectrumLayout& layout);
    void drawGrid(QPainter& painter, const SpectrumLayout& layout);
    void drawDensity(QPainter& painter, const SpectrumLayout& layout);
    void drawDensityImage(QPainter& painter, const SpectrumLayout& layout);
    void drawTrace(QPainter& painter, const SpectrumLayout& layout, const std::vector<float>& values,
                   const QColor& colour, float penWidth);

    QSize m_target;
    QRect m_area;
    SpectrumFrame m_frame;
    uint64_t m_frameVersion = 0;
    // The minimum hold and the stored traces of this tuning, empty where there is none.
    std::vector<float> m_minHold;
    std::array<std::vector<float>, TraceMemories::kStoredSlots> m_stored;
    DisplaySettings m_settings;
    DensityTexture m_densityTexture;
    // Without a density texture, the painter draws this picture.
    DensityPicture m_density;
    std::vector<DensityPlace> m_densityPlaces;
    WaterfallImage m_waterfall;
    WaterfallTexture m_waterfallTexture;
    // Traces and the grid are stroked here rather than by the painter, whose general stroker
    // costs milliseconds per 2048-point path on a software rasteriser and one draw call per
    // grid line.
    TrianglePainter m_triangles;
    std::vector<TracePoint> m_tracePoints;
    std::vector<float> m_traceTriangles;
    ColumnCover m_traceCover;
    std::vector<float> m_traceRectangles;
    std::vector<float> m_gridTriangles;
};
