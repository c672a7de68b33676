#pragma once

#include "display/SpectrumRenderer.h"

#include <QRect>
#include <QSGRenderNode>
#include <QSize>

#include <memory>

// The spectrum item in the scene graph: its renderer draws straight into the window's
// framebuffer while the scene graph renders, inside the item's rectangle. A framebuffer of the
// item's own would cost a software rasteriser a clear and a copy of the whole area per frame.
class SpectrumNode : public QSGRenderNode {
public:
    explicit SpectrumNode(std::unique_ptr<SpectrumRenderer> renderer);

    SpectrumRenderer& renderer() { return *m_renderer; }
    // The item's size in scene units, and where it lies in a framebuffer of `target` pixels
    // (x right, y down from the top edge).
    void setGeometry(const QSizeF& size, const QRect& area, const QSize& target);

    void render(const RenderState* state) override;
    StateFlags changedStates() const override;
    RenderingFlags flags() const override;
    QRectF rect() const override;

private:
    std::unique_ptr<SpectrumRenderer> m_renderer;
    QSizeF m_size;
    QRect m_area;
    QSize m_target;
};
