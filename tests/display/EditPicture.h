#pragma once

#include "engine/SpectrumFrame.h"

#include <memory>
#include <vector>

// Tests build and change pictures in place: each edit installs a fresh copy of the shared bytes
// and returns it, so a picture already handed to the display never changes under it.
inline std::vector<uint8_t>& editPicture(PictureBytes& bytes)
{
    auto copy = std::make_shared<std::vector<uint8_t>>(bytes ? *bytes : std::vector<uint8_t>{});
    bytes = copy;
    return *copy;
}
