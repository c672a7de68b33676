#pragma once

#include <QQuickFramebufferObject>

// The spectrum area of the user interface (QML element SpectrumView). Drawing is done by its
// renderer on the scene graph's render thread, into an OpenGL framebuffer object.
class SpectrumItem : public QQuickFramebufferObject {
    Q_OBJECT

public:
    explicit SpectrumItem(QQuickItem* parent = nullptr);

    Renderer* createRenderer() const override;
};
