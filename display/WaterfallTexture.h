#pragma once

#include "display/ColourTexture.h"
#include "display/WaterfallImage.h"


// The waterfall image on the GPU, coloured: a new line is coloured through the image's table and
// goes up as one row, a frame without changes uploads nothing, and a palette or range change
// recolours the whole ring once. Drawing then only copies pixels, which a software rasteriser
// does several times faster than a lookup per pixel; the range follows the levels in steps, so
// recolouring is rare. Lives on the render thread; every call, including destruction, needs the
// context current.
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
    // Rows first ... first + count - 1, which must not wrap.
    void uploadRows(const QImage& image, int first, int count);

    ColourTexture m_texture;
    int m_width = 0;
    int m_lines = 0;
};
