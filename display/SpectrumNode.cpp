#include "display/SpectrumNode.h"

SpectrumNode::SpectrumNode(std::unique_ptr<SpectrumRenderer> renderer) : m_renderer(std::move(renderer)) {}

void SpectrumNode::setGeometry(const QSizeF& size, const QRect& area, const QSize& target)
{
    m_size = size;
    m_area = area;
    m_target = target;
}

void SpectrumNode::render(const RenderState* /*state*/)
{
    m_renderer->render(m_target, m_area);
}

QSGRenderNode::StateFlags SpectrumNode::changedStates() const
{
    return BlendState | ScissorState | ViewportState | ColorState | StencilState | DepthState | CullState |
           RenderTargetState;
}

QSGRenderNode::RenderingFlags SpectrumNode::flags() const
{
    return BoundedRectRendering | OpaqueRendering;
}

QRectF SpectrumNode::rect() const
{
    return {QPointF(0.0, 0.0), m_size};
}
