#include "audio/SampleConversion.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "driver buffers are written in the host's byte order");

namespace {

// NaN would pass the clamp, and turning it into an integer is undefined: it plays as silence.
inline float clamped(float x)
{
    return std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
}

inline float finiteOrSilence(float x)
{
    return std::isnan(x) ? 0.0f : x;
}

void toInt16(const float* in, std::size_t n, unsigned char* out)
{
    for (std::size_t k = 0; k < n; ++k) {
        const auto v = static_cast<int16_t>(clamped(in[k]) * 32767.0f);
        std::memcpy(out + 2 * k, &v, 2);
    }
}

void toInt24(const float* in, std::size_t n, unsigned char* out)
{
    for (std::size_t k = 0; k < n; ++k) {
        const auto v = static_cast<uint32_t>(static_cast<int32_t>(clamped(in[k]) * 8388607.0f));
        out[3 * k] = static_cast<unsigned char>(v);
        out[3 * k + 1] = static_cast<unsigned char>(v >> 8);
        out[3 * k + 2] = static_cast<unsigned char>(v >> 16);
    }
}

void toInt32(const float* in, std::size_t n, unsigned char* out)
{
    for (std::size_t k = 0; k < n; ++k) {
        const float x = clamped(in[k]);
        // 2^31 itself does not fit: full scale stops one step short of it.
        const int32_t v = x >= 1.0f ? INT32_MAX : static_cast<int32_t>(x * 2147483648.0f);
        std::memcpy(out + 4 * k, &v, 4);
    }
}

// Float types copy, widening where the driver wants double precision.
template <class Sample>
void toFloat(const float* in, std::size_t n, unsigned char* out)
{
    for (std::size_t k = 0; k < n; ++k) {
        const Sample v = finiteOrSilence(in[k]);
        std::memcpy(out + sizeof(Sample) * k, &v, sizeof(Sample));
    }
}

} // namespace

int asioBytesPerSample(ASIOSampleType type)
{
    switch (type) {
    case ASIOSTInt16LSB:
        return 2;
    case ASIOSTInt24LSB:
        return 3;
    case ASIOSTInt32LSB:
    case ASIOSTFloat32LSB:
        return 4;
    case ASIOSTFloat64LSB:
        return 8;
    default:
        return 0;
    }
}

void convertToAsio(const float* in, std::size_t n, ASIOSampleType type, void* out)
{
    auto* bytes = static_cast<unsigned char*>(out);
    switch (type) {
    case ASIOSTInt16LSB:
        toInt16(in, n, bytes);
        break;
    case ASIOSTInt24LSB:
        toInt24(in, n, bytes);
        break;
    case ASIOSTInt32LSB:
        toInt32(in, n, bytes);
        break;
    case ASIOSTFloat32LSB:
        toFloat<float>(in, n, bytes);
        break;
    case ASIOSTFloat64LSB:
        toFloat<double>(in, n, bytes);
        break;
    default:
        break;
    }
}
