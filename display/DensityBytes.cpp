#include "display/DensityBytes.h"

#include <algorithm>
#include <cmath>

uint64_t densitySampleHash(const uint8_t* bytes, std::size_t length)
{
    uint64_t hash = 0x14650fb0739d0383ULL;
    const std::size_t step = std::max<std::size_t>(1, length / 64);
    for (std::size_t i = 0; i < length; i += step)
        hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    return hash;
}

int densityAlpha(uint8_t t)
{
    const float a = std::pow(static_cast<float>(t) / 255.0f, 1.35f) * 255.0f;
    return static_cast<int>(std::max(std::min(a, 235.0f), 18.0f));
}

float densityColourInput(uint8_t t)
{
    return std::pow(static_cast<float>(t) / 255.0f, 0.78f);
}

void coverNonZeroCells(const uint8_t* bytes, int width, int height, int blockSize, std::vector<CellRect>& rects)
{
    rects.clear();
    if (width < 1 || height < 1 || blockSize < 1)
        return;
    const int blocks = (width + blockSize - 1) / blockSize;
    std::vector<uint8_t> occupied(static_cast<std::size_t>(blocks));
    for (int top = 0; top < height; top += blockSize) {
        const int bandHeight = std::min(blockSize, height - top);
        std::fill(occupied.begin(), occupied.end(), 0);
        for (int y = top; y < top + bandHeight; ++y) {
            const uint8_t* row = bytes + static_cast<std::size_t>(height - 1 - y) * width;
            for (int x = 0; x < width; ++x)
                if (row[x] != 0)
                    occupied[static_cast<std::size_t>(x / blockSize)] = 1;
        }
        for (int b = 0; b < blocks;) {
            if (occupied[static_cast<std::size_t>(b)] == 0) {
                ++b;
                continue;
            }
            const int first = b;
            while (b < blocks && occupied[static_cast<std::size_t>(b)] != 0)
                ++b;
            const int x = first * blockSize;
            rects.push_back({x, top, std::min(b * blockSize, width) - x, bandHeight});
        }
    }
}

bool holdsDensityPicture(const DensityImage& density)
{
    return density.width >= 1 && density.height >= 1 &&
           static_cast<int64_t>(pictureSize(density.bytes)) >= static_cast<int64_t>(density.width) * density.height;
}

void placeDensityParts(const std::vector<CellRect>& parts, int columns, int rows, const SpectrumLayout& layout,
                       const ViewWindow& view, std::vector<DensityPlace>& places)
{
    places.clear();
    if (columns < 1 || rows < 1)
        return;
    const double scaleY = static_cast<double>(layout.spectrumHeight) / rows;
    for (const CellRect& part : parts) {
        const double left = viewX(static_cast<double>(part.x) / columns, view, layout.width);
        const double right = viewX(static_cast<double>(part.x + part.width) / columns, view, layout.width);
        if (right < 0 || left > layout.width)
            continue;
        places.push_back({part, left, part.y * scaleY, right, (part.y + part.height) * scaleY});
    }
}
