// The SoapySDR path's pure rules: which stream format is read and how it becomes 16-bit pairs,
// what the device list calls a receiver, and which processing rates a receiver offers.
#include "receivers/IqConversion.h"
#include "receivers/ReceiverSettingTable.h"
#include "receivers/SoapyListing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(StreamFormatChoice, PrefersCs16ThenFloatThenBytes)
{
    EXPECT_EQ(chooseStreamFormat({"CF32", "CS16", "CS8"}, "CS8", 128.0)->wire, WireFormat::CS16);
    EXPECT_EQ(chooseStreamFormat({"CS8", "CF32"}, "CS8", 128.0)->wire, WireFormat::CF32);
    EXPECT_EQ(chooseStreamFormat({"CU8", "CS8"}, "CU8", 128.0)->wire, WireFormat::CS8);
    EXPECT_EQ(chooseStreamFormat({"CU8"}, "CU8", 128.0)->wire, WireFormat::CU8);
    EXPECT_FALSE(chooseStreamFormat({"CS12", "CF64"}, "CS12", 2048.0).has_value());
}

TEST(StreamFormatChoice, ANarrowNativeCs16IsShiftedToFullScale)
{
    // A 12-bit converter streaming natively in CS16 (full scale 2048) is moved up 4 bits.
    EXPECT_EQ(chooseStreamFormat({"CS16", "CF32"}, "CS16", 2048.0)->cs16Shift, 4);
    EXPECT_EQ(chooseStreamFormat({"CS16"}, "CS16", 32768.0)->cs16Shift, 0);
    EXPECT_EQ(chooseStreamFormat({"CS16"}, "CS16", 32767.0)->cs16Shift, 0);
    // CS16 made by the module from another native format is already at full scale.
    EXPECT_EQ(chooseStreamFormat({"CS16", "CS8"}, "CS8", 128.0)->cs16Shift, 0);
}

TEST(IqConversion, EveryFormatLandsAtTheSameFullScale)
{
    std::vector<int16_t> out(6);

    const float floats[] = {0.5f, -0.5f, 1.0f, -1.0f, 2.0f, 0.000015f};
    convertToCs16({WireFormat::CF32, 0}, floats, out.data(), 3);
    EXPECT_EQ(out, (std::vector<int16_t>{16384, -16384, 32767, -32768, 32767, 0}));

    const int8_t bytes[] = {64, -64, 127, -128, 1, 0};
    convertToCs16({WireFormat::CS8, 0}, bytes, out.data(), 3);
    EXPECT_EQ(out, (std::vector<int16_t>{16384, -16384, 32512, -32768, 256, 0}));

    const uint8_t unsignedBytes[] = {192, 64, 255, 0, 128, 129};
    convertToCs16({WireFormat::CU8, 0}, unsignedBytes, out.data(), 3);
    EXPECT_EQ(out, (std::vector<int16_t>{16384, -16384, 32512, -32768, 0, 256}));

    const int16_t twelveBit[] = {1024, -1024, 2047, -2048, 1, -1};
    convertToCs16({WireFormat::CS16, 4}, twelveBit, out.data(), 3);
    EXPECT_EQ(out, (std::vector<int16_t>{16384, -16384, 32752, -32768, 16, -16}));
}

TEST(SoapyLabel, FamiliesSerialsAndServers)
{
    EXPECT_EQ(soapyLabel({{"driver", "rtlsdr"}, {"serial", "00000001"}, {"label", "Generic RTL2832U OEM :: 00000001"}}),
              "RTL-SDR (SN 00000001)");
    EXPECT_EQ(soapyLabel({{"driver", "remote"},
                          {"remote", "tcp://192.168.1.20:55132"},
                          {"remote:driver", "hackrf"},
                          {"serial", "457863c8"}}),
              "HackRF (SN 457863c8) at 192.168.1.20:55132");
    // A family we have no name for keeps the module's product name.
    EXPECT_EQ(soapyLabel({{"driver", "rtsasim"}, {"serial", "5A000001"}, {"label", "RTSA Simulator CS16 :: 5A000001"}}),
              "RTSA Simulator CS16 (SN 5A000001)");
    EXPECT_EQ(soapyLabel({{"driver", "plutosdr"}}), "PlutoSDR");
    EXPECT_EQ(soapyLabel({{"driver", "xyz"}}), "xyz");
}

TEST(SupportedRates, FromTheReceiversRanges)
{
    using receiver_settings::supportedRates;
    const std::vector<uint32_t> all{2'000'000, 5'000'000, 10'000'000, 20'000'000, 30'000'000};
    EXPECT_EQ(supportedRates({}), all);
    // Continuous up to 3.2 MS/s (an RTL-SDR dongle).
    EXPECT_EQ(supportedRates({{225'001, 300'000}, {900'001, 3'200'000}}), (std::vector<uint32_t>{2'000'000}));
    // Two discrete rates (an Airspy R2): only the one the analyser processes at.
    EXPECT_EQ(supportedRates({{2'500'000, 2'500'000}, {10'000'000, 10'000'000}}), (std::vector<uint32_t>{10'000'000}));
    // Up to 20 MS/s (a HackRF).
    EXPECT_EQ(supportedRates({{1'000'000, 20'000'000}}), (std::vector<uint32_t>{2'000'000, 5'000'000, 10'000'000, 20'000'000}));
    EXPECT_EQ(supportedRates({{1e6, 61.44e6}}), all);
    // Whole divisions of a 200 MHz clock (a USRP X310): 30 MS/s is not one of them.
    EXPECT_EQ(supportedRates({{200e6 / 100, 200e6 / 100}, {200e6 / 40, 200e6 / 40}, {200e6 / 20, 200e6 / 20},
                              {200e6 / 10, 200e6 / 10}, {200e6 / 7, 200e6 / 7}}),
              (std::vector<uint32_t>{2'000'000, 5'000'000, 10'000'000, 20'000'000}));
    // A stepped range: 1 MS/s steps from 0.5 MS/s reach none of the rates.
    EXPECT_TRUE(supportedRates({{500'000, 40'000'000, 1'000'000}}).empty());
    EXPECT_EQ(supportedRates({{1'000'000, 40'000'000, 1'000'000}}), all);
}

} // namespace
