#include "display/SpectrumRenderer.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

QOpenGLFramebufferObject* SpectrumRenderer::createFramebufferObject(const QSize& size)
{
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    return new QOpenGLFramebufferObject(size, format);
}

void SpectrumRenderer::render()
{
    QOpenGLFunctions* gl = QOpenGLContext::currentContext()->functions();
    gl->glClearColor(0x0B / 255.0f, 0x0D / 255.0f, 0x10 / 255.0f, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
}
