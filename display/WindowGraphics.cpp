#include "display/WindowGraphics.h"

#include <QQuickGraphicsConfiguration>
#include <QQuickWindow>
#include <QSurfaceFormat>

void chooseWindowGraphics()
{
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    format.setDepthBufferSize(0);
    format.setStencilBufferSize(0);
    QSurfaceFormat::setDefaultFormat(format);
    QQuickWindow::setTextRenderType(QQuickWindow::NativeTextRendering);
}

void drawWithoutDepthBuffer(QQuickWindow& window)
{
    QQuickGraphicsConfiguration config = window.graphicsConfiguration();
    config.setDepthBufferFor2D(false);
    window.setGraphicsConfiguration(config);
}
