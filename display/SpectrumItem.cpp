#include "display/SpectrumItem.h"

#include "display/SpectrumRenderer.h"

SpectrumItem::SpectrumItem(QQuickItem* parent) : QQuickFramebufferObject(parent)
{
}

QQuickFramebufferObject::Renderer* SpectrumItem::createRenderer() const
{
    return new SpectrumRenderer;
}

void SpectrumItem::setFrame(const SpectrumFrame& frame)
{
    {
        std::lock_guard lock(m_frameMutex);
        m_frame = frame;
    }
    update();
}

SpectrumFrame SpectrumItem::snapshotFrame() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frame;
}
