#include "display/SpectrumItem.h"

#include "display/SpectrumRenderer.h"

SpectrumItem::SpectrumItem(QQuickItem* parent) : QQuickFramebufferObject(parent)
{
}

QQuickFramebufferObject::Renderer* SpectrumItem::createRenderer() const
{
    return new SpectrumRenderer;
}
