#pragma once

#include "display/PaletteTexture.h"
#include "display/WaterfallImage.h"

#include <cstdint>
#include <vector>

// The waterfall image on the GPU: the ring's bytes in a palette texture. New lines upload one
// row each, a palette or range change uploads 256 colours, and a frame without changes uploads
// nothing. Lives on the render thread; every call, including destruction, needs the context
// current.
class WaterfallTexture {
public:
    // Follows a change of the image. A ring wider than the largest texture is thinned to that
    // width by taking every n-th column (the strip shows far fewer columns anyway). False when
    // the ring has more lines than a texture can hold, or no shader can be built here: the
    // caller then draws the image itself.
    bool follow(const QImage& image, const WaterfallChange& change);

    // Draws image rows firstRow ... firstRow + rowCount - 1 into a rectangle given in normalized
    // device coordinates, first row at yFirst, the end of the last row at yEnd, full width. Of
    // each row, the part from uStart to uStop (fractions of its width) is shown.
    void drawRows(int firstRow, int rowCount, float yFirst, float yEnd, float uStart = 0.0f, float uStop = 1.0f);

private:
    void uploadAll(const QImage& image);
    void uploadRow(const QImage& image, int row);

    PaletteTexture m_texture;
    int m_width = 0;
    int m_textureWidth = 0;
    int m_lines = 0;
    std::vector<uint8_t> m_thinnedRow;
};
