#pragma once

#include <QOpenGLBuffer>
#include <QOpenGLShaderProgram>

#include <memory>
#include <span>
#include <vector>

class QOpenGLFunctions;

// A rectangle of the framebuffer in normalized device coordinates and the part of the texture
// it shows, as fractions of the texture's width and height.
struct TexturedRect {
    float x0 = -1.0f;
    float y0 = -1.0f;
    float x1 = 1.0f;
    float y1 = 1.0f;
    float u0 = 0.0f;
    float v0 = 0.0f;
    float u1 = 1.0f;
    float v1 = 1.0f;
};

// Rectangles filled by a fragment shader that reads textures at v_texCoord: the shader program
// and the vertices it draws from. The textures are the caller's to bind. Lives on the render
// thread; every call, including destruction, needs the context current.
class TexturedRects {
public:
    TexturedRects();
    ~TexturedRects();
    TexturedRects(const TexturedRects&) = delete;
    TexturedRects& operator=(const TexturedRects&) = delete;

    // Builds the program on first use. False when it cannot be built here.
    bool create(const char* fragmentShader);
    QOpenGLShaderProgram& program() { return *m_program; }

    // Blended, the shader's colours count as premultiplied by their alpha; otherwise they
    // replace what is there.
    enum class Blend { Off, Premultiplied };
    // Fills the rectangles in one draw, with the program bound by the caller.
    void draw(std::span<const TexturedRect> rects, Blend blend);

private:
    QOpenGLFunctions* m_gl = nullptr;
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    QOpenGLBuffer m_vertices{QOpenGLBuffer::VertexBuffer};
    std::vector<float> m_vertexData;
    bool m_failed = false;
};

// Nearest sampling, clamped at the edges, on the bound 2D texture: each texel shows as a
// block of pixels, unblurred.
void setNearestSampling(QOpenGLFunctions& gl);
