#pragma once

#include <QList>
#include <QRgb>

#include <array>
#include <cstdint>

// Colours of the density picture: 0 "DPX Classic", 1 "Rainbow", 2 "Amber". v is clamped to [0, 1].
QRgb densityPaletteColour(int palette, float v);

// Colours of the waterfall: 1 "Inferno", anything else "Turbo". v is clamped to [0, 1].
QRgb waterfallPaletteColour(int palette, float v);

// Colour table of the indexed waterfall image: byte b stands for blockMinDb + b / 255 of the
// block's span and is coloured by its place in the user's colour range.
QList<QRgb> buildWaterfallColourTable(int palette, float blockMinDb, float blockMaxDb, float colourMinDb,
                                      float colourMaxDb);

// One density cell as stored in the premultiplied picture: fully transparent for 0, otherwise
// the palette colour at full strength under the cell's alpha, so bright cells add light.
QRgb densityPixel(uint8_t t, int palette);

// densityPixel for every byte value: only 256 exist, so cells are coloured by lookup.
std::array<QRgb, 256> densityColourTable(int palette);
