#pragma once

#include "display/TexturedRects.h"

#include <QRgb>
#include <QtGui/qopengl.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

class QOpenGLFunctions;

// A picture of coloured pixels on the GPU, drawn by a shader that does nothing but sample it
// (nearest, clamped). That is the one shape a software rasteriser copies row by row, with
// scaling, instead of running a shader per pixel; a lookup through a colour table in the shader
// costs several times more per pixel. Pictures of one byte per pixel are coloured through a
// 256-entry table as their rows go up. Lives on the render thread; every call, including
// destruction, needs the context current.
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

    // Gives the texture width x height pixels of undefined content.
    void allocate(int width, int height);
    // Colour c of the table for byte c from the next upload on; missing entries are transparent
    // black.
    void setColourTable(std::span<const QRgb> table);
    // Colours rows firstRow ... firstRow + rowCount - 1 from bytes, bytesPerLine apart, each
    // `columns` long, and uploads them. Rows wider than the texture are thinned to its width by
    // taking every n-th byte.
    void uploadRows(int firstRow, int rowCount, const uint8_t* bytes, qsizetype bytesPerLine, int columns);

    // Fills the rectangles from the texture in one draw.
    void draw(std::span<const TexturedRect> rects, TexturedRects::Blend blend);

private:
    QOpenGLFunctions* m_gl = nullptr;
    TexturedRects m_rects;
    GLuint m_texture = 0;
    GLint m_maxSize = 0;
    int m_width = 0;
    // Desktop OpenGL takes blue, green, red, alpha, which keeps the window's own pixel layout;
    // OpenGL ES takes red first.
    bool m_blueFirst = false;
    // Byte b's colour in the byte order the texture takes.
    std::array<uint32_t, 256> m_colours{};
    std::vector<uint32_t> m_pixels;
};
