#pragma once

#include "display/DensityPicture.h"
#include "display/DensityTexture.h"
#include "display/DisplaySettings.h"
#include "display/SpectrumLayout.h"
#include "display/TrianglePainter.h"
#include "display/WaterfallImage.h"
#include "display/WaterfallTexture.h"
#include "engine/SpectrumFrame.h"

#include <QQuickFramebufferObject>

class QPainter;

// Draws the spectrum display into the item's framebuffer object on the render thread:
// background, waterfall strip, grid, density picture, trace and peak line. It works on its own
// copy of the frame and settings, taken while the GUI thread is blocked.
class SpectrumRenderer : public QQuickFramebufferObject::Renderer {
public:
    ~SpectrumRenderer() override;
    void render() override;
    QOpenGLFramebufferObject* createFramebufferObject(const QSize& size) override;
    void synchronize(QQuickFramebufferObject* item) override;

private:
    void clearBackground();
    void drawWaterfall(QPainter& painter, const SpectrumLayout& layout);
    void drawWaterfallImage(QPainter& painter, const SpectrumLayout& layout);
    void drawGrid(QPainter& painter, const SpectrumLayout& layout);
    void drawDensity(QPainter& painter, const SpectrumLayout& layout);
    void drawDensityImage(QPainter& painter, const SpectrumLayout& layout);
    void drawTrace(QPainter& painter, const SpectrumLayout& layout, const std::vector<float>& values,
                   const QColor& colour, float penWidth);

    SpectrumFrame m_frame;
    uint64_t m_frameVersion = 0;
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
    std::vector<float> m_gridTriangles;
};
