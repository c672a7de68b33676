#pragma once

#include "display/DensityBytes.h"
#include "display/ColourTexture.h"
#include "engine/SpectrumFrame.h"

#include <span>
#include <vector>

// The density picture on the GPU, coloured (each byte's colour under its alpha) as its rows go
// up. Only the rows that differ from the picture shown last go up, an unchanged picture uploads
// nothing, and a palette change takes the whole picture again. Drawn blended over the parts
// that hold visible cells.
// Lives on the render thread; every call, including destruction, needs the context current.
class DensityTexture {
public:
    // Follows a density that holds a picture (holdsDensityPicture). False when the picture is
    // larger than a texture or no shader can be built here: the caller then draws it itself.
    bool follow(const DensityImage& density, int palette);
    // Forgets the picture shown: the next one goes up whole.
    void reset();

    // Parts of the picture that hold visible cells; the rest is fully transparent.
    const std::vector<CellRect>& visibleParts() const { return m_visibleParts; }
    // Draws the placed parts into a framebuffer width x height pixels.
    void draw(std::span<const DensityPlace> places, int width, int height);

private:
    void uploadChangedRows(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after);

    ColourTexture m_texture;
    PictureBytes m_shown;
    int m_width = 0;
    int m_height = 0;
    int m_palette = -1;
    std::vector<CellRect> m_visibleParts;
    std::vector<TexturedRect> m_rects;
};
