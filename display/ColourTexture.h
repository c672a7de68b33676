#pragma once

#include "display/TexturedRects.h"

#include <QtGui/qopengl.h>

#include <cstdint>
#include <span>

class QOpenGLFunctions;

// A picture of coloured pixels on the GPU, drawn by a shader that does nothing but sample it
// (nearest, clamped). That is the one shape a software rasteriser copies row by row, with
// scaling, instead of running a shader per pixel; a lookup through a colour table in the shader
// costs several times more per pixel. Rows go up as 32-bit pixels in the order pixelOrder()
// says. Lives on the render thread; every call, including destruction, needs the context
// current.
class ColourTexture {
public:
    ColourTexture();
    ~ColourTexture();
    ColourTexture(const ColourTexture&) = delete;
    ColourTexture& operator=(const ColourTexture&) = delete;

    // Creates the shader and texture on first use. False when no shader can be built here.
    bool create();
    // The largest texture side the context takes (after create()).
    int maxSize() const { return m_maxSize; }

    // How the bytes of a pixel go up: blue, green, red, alpha (a QRgb in memory on a
    // little-endian machine) where the context takes that order, else red, green, blue, alpha.
    enum class PixelOrder { Bgra, Rgba };
    PixelOrder pixelOrder() const { return m_order; }

    // Gives the texture width x height pixels of undefined content.
    void allocate(int width, int height);
    // Uploads rows firstRow ... firstRow + rowCount - 1 of tightly packed pixels.
    void uploadRows(int firstRow, int rowCount, const uint32_t* pixels);

    // Fills the rectangles from the texture in one draw.
    void draw(std::span<const TexturedRect> rects, TexturedRects::Blend blend);

private:
    QOpenGLFunctions* m_gl = nullptr;
    TexturedRects m_rects;
    GLuint m_texture = 0;
    GLint m_maxSize = 0;
    int m_width = 0;
    PixelOrder m_order = PixelOrder::Rgba;
};
