#pragma once

#include <QQuickFramebufferObject>

class SpectrumRenderer : public QQuickFramebufferObject::Renderer {
public:
    QOpenGLFramebufferObject* createFramebufferObject(const QSize& size) override;
    void render() override;
};
