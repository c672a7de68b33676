#pragma once

#include <cstddef>
#include <cstdint>

// Fingerprint of a density picture from about 64 evenly spaced bytes, so that an unchanged
// picture is not recoloured. A change confined to unsampled bytes goes unnoticed until a
// sampled byte, the size or the palette changes.
uint64_t densitySampleHash(const uint8_t* bytes, std::size_t length);

// Opacity of a density cell with intensity t (t > 0): faint cells stay visible (at least 18),
// the strongest never hide the trace completely (at most 235).
int densityAlpha(uint8_t t);

// Palette input of a density cell: brightens the low intensities.
float densityColourInput(uint8_t t);
