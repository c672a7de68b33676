#pragma once

#include <cmath>
#include <cstdint>
#include <stdexcept>

// A generated I or Q value rounded to 16 bits as a receiver delivers it. Generated IQ that
// would clip is a fault of the test, not something to saturate quietly.
inline int16_t roundedIqValue(double v)
{
    const long rounded = std::lround(v);
    if (rounded > 32767 || rounded < -32768)
        throw std::runtime_error("generated IQ clips");
    return static_cast<int16_t>(rounded);
}
