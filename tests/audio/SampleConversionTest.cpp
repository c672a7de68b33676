#include "audio/SampleConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

template <class Sample>
std::vector<Sample> converted(const std::vector<float>& in, ASIOSampleType type)
{
    std::vector<Sample> out(in.size());
    convertToAsio(in.data(), in.size(), type, out.data());
    return out;
}

std::vector<unsigned char> convertedBytes(const std::vector<float>& in, ASIOSampleType type)
{
    std::vector<unsigned char> out(in.size() * static_cast<size_t>(asioBytesPerSample(type)), 0xAA);
    convertToAsio(in.data(), in.size(), type, out.data());
    return out;
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

} // namespace

TEST(SampleConversion, IntegerTypesClampScaleAndTruncate)
{
    EXPECT_EQ(converted<int32_t>({1.0f, 1.5f, -1.0f, 0.5f, -1.5f, -0.25f}, ASIOSTInt32LSB),
              (std::vector<int32_t>{2147483647, 2147483647, -2147483647 - 1, 1073741824, -2147483647 - 1, -536870912}));
    EXPECT_EQ(converted<int16_t>({1.0f, -1.0f, 0.5f, -0.5f, 2.0f, 0.00002f}, ASIOSTInt16LSB),
              (std::vector<int16_t>{32767, -32767, 16383, -16383, 32767, 0}));
    EXPECT_EQ(convertedBytes({-1.0f, 1.0f, 0.5f, -0.5f}, ASIOSTInt24LSB),
              (std::vector<unsigned char>{0x01, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0x3F, 0x01, 0x00, 0xC0}));
}

TEST(SampleConversion, FloatTypesCopyUnchanged)
{
    const std::vector<float> in{1.5f, -0.1f, 1e-30f, -3.0f};
    EXPECT_EQ(converted<float>(in, ASIOSTFloat32LSB), in);
    EXPECT_EQ(converted<double>(in, ASIOSTFloat64LSB), (std::vector<double>{1.5f, -0.1f, 1e-30f, -3.0f}));
}

TEST(SampleConversion, NaNBecomesSilenceAndInfinityFullScale)
{
    const std::vector<float> in{kNaN, kInf, -kInf, -kNaN};
    EXPECT_EQ(converted<int16_t>(in, ASIOSTInt16LSB), (std::vector<int16_t>{0, 32767, -32767, 0}));
    EXPECT_EQ(converted<int32_t>(in, ASIOSTInt32LSB), (std::vector<int32_t>{0, 2147483647, -2147483647 - 1, 0}));
    EXPECT_EQ(convertedBytes(in, ASIOSTInt24LSB),
              (std::vector<unsigned char>{0, 0, 0, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0, 0, 0}));
    const auto asFloat = converted<float>(in, ASIOSTFloat32LSB);
    EXPECT_EQ(asFloat[0], 0.0f);
    EXPECT_EQ(asFloat[3], 0.0f);
    const auto asDouble = converted<double>(in, ASIOSTFloat64LSB);
    EXPECT_EQ(asDouble[0], 0.0);
    EXPECT_EQ(asDouble[3], 0.0);
}

TEST(SampleConversion, UnknownTypesTakeNoBytesAndWriteNothing)
{
    EXPECT_EQ(asioBytesPerSample(21), 0);
    EXPECT_EQ(asioBytesPerSample(15), 0);
    unsigned char out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const float in[2] = {0.5f, 0.5f};
    convertToAsio(in, 2, 42, out);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[7], 8);
}
