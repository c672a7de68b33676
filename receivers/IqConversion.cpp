#include "receivers/IqConversion.h"

#include <algorithm>
#include <cmath>

std::size_t wireBytesPerPair(WireFormat format)
{
    switch (format) {
    case WireFormat::CF32:
        return 8;
    case WireFormat::CS8:
    case WireFormat::CU8:
        return 2;
    default:
        return 4;
    }
}

const char* wireName(WireFormat format)
{
    switch (format) {
    case WireFormat::CF32:
        return "CF32";
    case WireFormat::CS8:
        return "CS8";
    case WireFormat::CU8:
        return "CU8";
    default:
        return "CS16";
    }
}

std::optional<StreamFormat> chooseStreamFormat(const std::vector<std::string>& offered, const std::string& native,
                                               double nativeFullScale)
{
    for (const WireFormat wire : {WireFormat::CS16, WireFormat::CF32, WireFormat::CS8, WireFormat::CU8}) {
        if (std::find(offered.begin(), offered.end(), wireName(wire)) == offered.end())
            continue;
        StreamFormat format{wire, 0};
        if (wire == WireFormat::CS16 && native == "CS16") {
            while (format.cs16Shift < 15 && nativeFullScale > 0.0 && nativeFullScale * (1 << (format.cs16Shift + 1)) <= 32768.0)
                ++format.cs16Shift;
        }
        return format;
    }
    return std::nullopt;
}

void convertToCs16(const StreamFormat& format, const void* in, int16_t* out, std::size_t pairs)
{
    const std::size_t values = 2 * pairs;
    switch (format.wire) {
    case WireFormat::CS16: {
        const auto* s = static_cast<const int16_t*>(in);
        const int shift = format.cs16Shift;
        for (std::size_t i = 0; i < values; ++i)
            out[i] = static_cast<int16_t>(static_cast<uint16_t>(s[i]) << shift);
        break;
    }
    case WireFormat::CF32: {
        const auto* f = static_cast<const float*>(in);
        for (std::size_t i = 0; i < values; ++i)
            out[i] = static_cast<int16_t>(std::clamp(f[i] * 32768.0f, -32768.0f, 32767.0f));
        break;
    }
    case WireFormat::CS8: {
        const auto* b = static_cast<const int8_t*>(in);
        for (std::size_t i = 0; i < values; ++i)
            out[i] = static_cast<int16_t>(b[i] * 256);
        break;
    }
    case WireFormat::CU8: {
        const auto* b = static_cast<const uint8_t*>(in);
        for (std::size_t i = 0; i < values; ++i)
            out[i] = static_cast<int16_t>((b[i] - 128) * 256);
        break;
    }
    }
}
