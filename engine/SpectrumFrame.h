#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A picture's bytes, immutable once published: the spectrum thread, the display item and the
// renderer share them, so handing a frame on copies a pointer, not the picture.
using PictureBytes = std::shared_ptr<const std::vector<uint8_t>>;

inline std::size_t pictureSize(const PictureBytes& bytes)
{
    return bytes ? bytes->size() : 0;
}

// The persistence picture as the display receives it: one byte per cell, row 0 at the top.
struct DensityImage {
    int32_t width = 0;
    int32_t height = 0;
    float minDb = -120.0f;
    float maxDb = 0.0f;
    PictureBytes bytes;
};

// The waterfall ring as the display receives it: `lines` rows of `width` bytes, the next
// row to be written at writeRow, totalLines ever written.
struct WaterfallBlock {
    int32_t width = 0;
    int32_t lines = 0;
    int32_t writeRow = 0;
    uint64_t totalLines = 0;
    float minDb = -120.0f;
    float maxDb = 0.0f;
    PictureBytes bytes;
    int32_t paletteId = 0;
};

// One display update from the spectrum thread. A plain value, moved into the hand-off; its
// pictures are shared.
struct SpectrumFrame {
    std::vector<float> trace;
    double centerHz = 0.0;
    double spanHz = 0.0;
    double startHz = 0.0;
    double stopHz = 0.0;
    double binHz = 0.0;
    double rbwHz = 0.0;
    float rmsDb = -120.0f;
    bool overload = false;
    DensityImage density;
    std::vector<float> peakLine;
    WaterfallBlock waterfall;
};
