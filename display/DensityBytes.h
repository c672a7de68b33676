#pragma once

#include "display/SpectrumLayout.h"
#include "engine/SpectrumFrame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Fingerprint of a density picture from about 64 evenly spaced bytes, so that an unchanged
// picture is not recoloured. A change confined to unsampled bytes goes unnoticed until a
// sampled byte, the size or the palette changes.
uint64_t densitySampleHash(const uint8_t* bytes, std::size_t length);

// Opacity of a density cell with intensity t (t > 0): faint cells stay visible (at least 18),
// the strongest never hide the trace completely (at most 235).
int densityAlpha(uint8_t t);

// Palette input of a density cell: brightens the low intensities.
float densityColourInput(uint8_t t);

// A rectangle of density cells in picture coordinates: x = column, y = picture row counted from
// the top (the highest level).
struct CellRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Rectangles that together cover every non-zero cell of a picture whose row m holds level m,
// built from blocks of blockSize x blockSize cells and merged along each band of rows. Empty
// cells are fully transparent, so drawing only these rectangles gives the same picture while
// sparing the rasteriser most of the area. Fills `rects` in place.
void coverNonZeroCells(const uint8_t* bytes, int width, int height, int blockSize, std::vector<CellRect>& rects);

// Blocks of 16 x 16 cells for coverNonZeroCells: fine enough to skip the empty sky above the
// trace, coarse enough to keep the number of rectangles small.
constexpr int kDensityPartBlock = 16;

// Whether the density holds a picture: a size, and at least as many bytes as it announces.
bool holdsDensityPicture(const DensityImage& density);

// Where a part of the picture lands on the screen (x right, y down, in pixels): the picture's
// levels span the spectrum area's height, its columns the band as the view shows it.
struct DensityPlace {
    CellRect cells;
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
};

// The places of those parts of a columns x rows picture that the view shows. Fills `places`
// in place.
void placeDensityParts(const std::vector<CellRect>& parts, int columns, int rows, const SpectrumLayout& layout,
                       const ViewWindow& view, std::vector<DensityPlace>& places);
