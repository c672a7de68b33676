#pragma once

#include "display/TexturedRects.h"

#include <QRgb>

#include <QtGui/qopengl.h>

#include <cstdint>
#include <span>

class QOpenGLFunctions;

// A picture of one byte per pixel on the GPU, coloured by a fragment shader through a 256-entry
// colour table: the bytes go up as they are (a quarter of a coloured picture, and only the rows
// that changed), a palette change uploads 256 colours, and scaling to the screen happens once,
// in the draw, with nearest sampling. Lives on the render thread; every call, including
// destruction, needs the context current.
class PaletteTexture {
public:
    PaletteTexture();
    ~PaletteTexture();
    PaletteTexture(const PaletteTexture&) = delete;
    PaletteTexture& operator=(const PaletteTexture&) = delete;

    // Creates the shader and textures on first use. False when no shader can be built here.
    bool create();
    // The largest texture side the context takes (after create()).
    int maxSize() const { return m_maxSize; }

    // Gives the texture width x height pixels of undefined content.
    void allocate(int width, int height);
    // Uploads rows firstRow ... firstRow + rowCount - 1 from tightly packed bytes.
    void uploadRows(int firstRow, int rowCount, const uint8_t* bytes);
    // Colour c of the table for byte c; missing entries are transparent black.
    void uploadColourTable(std::span<const QRgb> table);

    // Fills the rectangles from the texture in one draw. Blended, the table's colours count as
    // premultiplied by their alpha; otherwise they replace what is there.
    void draw(std::span<const TexturedRect> rects, TexturedRects::Blend blend);

private:
    QOpenGLFunctions* m_gl = nullptr;
    TexturedRects m_rects;
    GLuint m_indexTexture = 0;
    GLuint m_paletteTexture = 0;
    GLenum m_indexFormat = 0;
    GLint m_maxSize = 0;
    int m_width = 0;
};
