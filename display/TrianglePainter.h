#pragma once

#include <QColor>
#include <QOpenGLBuffer>
#include <QOpenGLShaderProgram>

#include <memory>
#include <vector>

// Fills triangles given in screen coordinates (x right, y down, in pixels of the framebuffer)
// with one opaque colour, without antialiasing. Lives on the render thread; every
// call, including destruction, needs the context current.
class TrianglePainter {
public:
    TrianglePainter();
    ~TrianglePainter();
    TrianglePainter(const TrianglePainter&) = delete;
    TrianglePainter& operator=(const TrianglePainter&) = delete;

    // False when the shader cannot be built here; the caller then strokes by other means.
    bool draw(const std::vector<float>& triangles, const QColor& colour, int width, int height);

private:
    bool createResources();

    std::unique_ptr<QOpenGLShaderProgram> m_program;
    QOpenGLBuffer m_vertices{QOpenGLBuffer::VertexBuffer};
    bool m_created = false;
    bool m_failed = false;
};
