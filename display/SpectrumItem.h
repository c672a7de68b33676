#pragma once

#include "engine/SpectrumFrame.h"

#include <QQuickFramebufferObject>

#include <mutex>

// The spectrum area of the user interface (QML element SpectrumView). It keeps the latest
// frame from the spectrum thread; drawing is done by its renderer on the scene graph's render
// thread, into an OpenGL framebuffer object.
class SpectrumItem : public QQuickFramebufferObject {
    Q_OBJECT

public:
    explicit SpectrumItem(QQuickItem* parent = nullptr);

    Renderer* createRenderer() const override;

    // Called in the item's thread with each published frame.
    void setFrame(const SpectrumFrame& frame);
    SpectrumFrame snapshotFrame() const;

private:
    mutable std::mutex m_frameMutex;
    SpectrumFrame m_frame;
};
