// The SoapySDR driver against our simulated SoapySDR module, which the test finds through
// SOAPY_SDR_PLUGIN_PATH (set by ctest). The module reads its SOAPYSIM_* variables at every
// find and make, so each case sets them before it opens.
#include "receivers/IqConversion.h"
#include "receivers/ReceiverSettingTable.h"
#include "receivers/SoapyDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kBlockPairs = SoapyDevice::kSamplesPerTransfer;

void setSim(const char* name, const std::string& value)
{
    ::setenv(name, value.c_str(), 1);
}

// A clean environment for every case: one CS16 unit, paced as fast as it can go.
class SoapySimDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"SOAPYSIM_UNITS", "SOAPYSIM_REPLAY", "SOAPYSIM_MAX_RATE_KHZ", "SOAPYSIM_OVERFLOW_EVERY",
                                 "SOAPYSIM_VANISH_AFTER", "SOAPYSIM_MTU"})
            ::unsetenv(name);
        setSim("SOAPYSIM_REALTIME", "0");
    }

    // Opens the unit with this serial and sets it to the rate.
    static void openUnit(SoapyDevice& device, const std::string& serial, uint32_t rateHz = 2'000'000)
    {
        device.selectDevice("driver=rtsasim,serial=" + serial);
        ASSERT_TRUE(device.open());
        device.setCenterFrequency(99'000'000);
        device.setSampleRate(rateHz);
    }

    static std::vector<int16_t> readBlock(SoapyDevice& device, uint32_t pairs = kBlockPairs)
    {
        std::vector<int16_t> block(2 * pairs);
        EXPECT_TRUE(device.readSamples(reinterpret_cast<uint8_t*>(block.data()), pairs * 4));
        return block;
    }
};

TEST_F(SoapySimDeviceTest, EnumerationListsEveryUnitWithItsLabelAndArguments)
{
    setSim("SOAPYSIM_UNITS", "CS16,CF32");
    SoapyDevice device;
    const std::vector<DeviceListing> listings = device.enumerate();
    std::vector<DeviceListing> sim;
    std::copy_if(listings.begin(), listings.end(), std::back_inserter(sim),
                 [](const DeviceListing& l) { return l.args.find("driver=rtsasim") != std::string::npos; });
    ASSERT_EQ(sim.size(), 2u);
    EXPECT_EQ(sim[0].label, "RTSA Simulator CS16 (SN 5A000001)");
    EXPECT_EQ(sim[1].label, "RTSA Simulator CF32 (SN 5A000002)");
    EXPECT_NE(sim[1].args.find("serial=5A000002"), std::string::npos);
    EXPECT_EQ(sim[1].args.find("label"), std::string::npos);
    // What the search found is what the device list offers until the next search.
    const std::vector<std::string> ids = device.listDevices();
    EXPECT_NE(std::find(ids.begin(), ids.end(), sim[0].args), ids.end());
}

TEST_F(SoapySimDeviceTest, OpensByArgumentsAndDescribesItsFrontEnd)
{
    setSim("SOAPYSIM_MAX_RATE_KHZ", "10000");
    SoapyDevice device;
    openUnit(device, "5A000001");
    EXPECT_EQ(device.deviceName(), "RTSA Simulator CS16 (SN 5A000001)");
    EXPECT_EQ(device.serialNumber(), "5A000001");
    const FrontEndInfo info = device.frontEnd();
    EXPECT_EQ(info.backend, "SoapySDR");
    ASSERT_EQ(info.gains.size(), 2u);
    EXPECT_EQ(info.gains[0].name, "LNA");
    EXPECT_DOUBLE_EQ(info.gains[0].maxDb, 40.0);
    EXPECT_DOUBLE_EQ(info.gains[0].stepDb, 1.0);
    EXPECT_TRUE(info.hasAutomaticGain);
    EXPECT_EQ(info.antennas, (std::vector<std::string>{"RX1", "RX2"}));
    EXPECT_TRUE(info.hasFrequencyCorrection);
    // A receiver that stops at 10 MS/s offers the processing rates up to there only.
    EXPECT_EQ(receiver_settings::supportedRates(info.rates), (std::vector<uint32_t>{2'000'000, 5'000'000, 10'000'000}));
    EXPECT_EQ(device.actualSampleRate(), 0);
    // A rate beyond the receiver's leaves it at the one it has, and says so.
    device.setSampleRate(20'000'000);
    EXPECT_EQ(device.actualSampleRate(), 2'000'000);
}

TEST_F(SoapySimDeviceTest, FrontEndSettingsReachTheReceiverAndOutliveAReconnect)
{
    SoapyDevice device;
    openUnit(device, "5A000001");
    device.setGain("LNA", 33.0);
    device.setAntenna("RX2");
    device.setFrequencyCorrection(1.5);
    device.setAutomaticGain(false);
    FrontEndInfo info = device.frontEnd();
    EXPECT_DOUBLE_EQ(info.gains[0].valueDb, 33.0);
    EXPECT_EQ(info.antenna, "RX2");
    EXPECT_DOUBLE_EQ(info.frequencyCorrectionPpm, 1.5);
    device.close();
    EXPECT_TRUE(device.frontEnd().gains.empty());
    openUnit(device, "5A000001");
    info = device.frontEnd();
    EXPECT_DOUBLE_EQ(info.gains[0].valueDb, 33.0);
    EXPECT_EQ(info.antenna, "RX2");
    EXPECT_DOUBLE_EQ(info.frequencyCorrectionPpm, 1.5);
}

TEST_F(SoapySimDeviceTest, StreamsTheSceneInCs16)
{
    SoapyDevice device;
    openUnit(device, "5A000001", 20'000'000);
    EXPECT_EQ(device.streamFormat().wire, WireFormat::CS16);
    EXPECT_EQ(device.streamFormat().cs16Shift, 0);
    ASSERT_TRUE(device.startStreaming());
    std::vector<int16_t> block;
    for (int i = 0; i < 20; ++i)
        block = readBlock(device);
    // Noise and stations: the samples vary and stay well inside full scale.
    const auto [lo, hi] = std::minmax_element(block.begin(), block.end());
    EXPECT_LT(*lo, -20);
    EXPECT_GT(*hi, 20);
    EXPECT_GT(*lo, -30000);
    const ReceiverLoss loss = device.takeLoss();
    EXPECT_EQ(loss.overflows, 0u);
    EXPECT_EQ(loss.samples, 0u);
    device.stopStreaming();
    EXPECT_FALSE(device.readSamples(reinterpret_cast<uint8_t*>(block.data()), kBlockPairs * 4));
    device.close();
}

// Every format the module streams, against a recording of known samples: CS16 and CF32 come
// back exactly, CS8 with the low byte gone.
TEST_F(SoapySimDeviceTest, ConvertedFormatsMatchTheRecording)
{
    const std::string path = ::testing::TempDir() + "soapy-sim-ramp.cs16";
    constexpr std::size_t kPairs = 3 * kBlockPairs + 123;
    std::vector<int16_t> recording(2 * kPairs);
    for (std::size_t i = 0; i < recording.size(); ++i)
        recording[i] = static_cast<int16_t>((static_cast<int64_t>(i) * 7919) % 65536 - 32768);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(recording.data()), static_cast<std::streamsize>(recording.size() * 2));
    setSim("SOAPYSIM_REPLAY", path);
    setSim("SOAPYSIM_UNITS", "CS16,CF32,CS8");

    const struct {
        const char* serial;
        WireFormat wire;
        int16_t mask;
    } cases[] = {{"5A000001", WireFormat::CS16, -1}, {"5A000002", WireFormat::CF32, -1}, {"5A000003", WireFormat::CS8, -256}};
    for (const auto& c : cases) {
        SCOPED_TRACE(wireName(c.wire));
        SoapyDevice device;
        openUnit(device, c.serial);
        EXPECT_EQ(device.streamFormat().wire, c.wire);
        ASSERT_TRUE(device.startStreaming());
        // Four blocks: the fourth wraps around the end of the recording.
        for (std::size_t blockIndex = 0; blockIndex < 4; ++blockIndex) {
            const std::vector<int16_t> block = readBlock(device);
            for (std::size_t i = 0; i < block.size(); ++i) {
                const std::size_t at = (blockIndex * block.size() + i) % recording.size();
                ASSERT_EQ(block[i], static_cast<int16_t>(recording[at] & c.mask)) << "value " << i << " of block " << blockIndex;
            }
        }
        device.close();
    }
    std::remove(path.c_str());
}

TEST_F(SoapySimDeviceTest, OverflowsAreCountedWithTheSamplesTheyCost)
{
    setSim("SOAPYSIM_OVERFLOW_EVERY", "4");
    SoapyDevice device;
    openUnit(device, "5A000001");
    ASSERT_TRUE(device.startStreaming());
    for (int i = 0; i < 9; ++i)
        readBlock(device);
    // Reads 4 and 8 of the module overflowed, each losing one transfer, seen from the time
    // stamps of the next block.
    const ReceiverLoss loss = device.takeLoss();
    EXPECT_EQ(loss.overflows, 2u);
    EXPECT_EQ(loss.samples, 2u * kBlockPairs);
    EXPECT_EQ(device.takeLoss().overflows, 0u);
    device.close();
}

TEST_F(SoapySimDeviceTest, AVanishedReceiverTimesOutStopsCleanlyAndReconnects)
{
    setSim("SOAPYSIM_VANISH_AFTER", "3");
    SoapyDevice device;
    openUnit(device, "5A000001");
    ASSERT_TRUE(device.startStreaming());
    for (int i = 0; i < 3; ++i)
        readBlock(device);
    std::vector<int16_t> block(2 * kBlockPairs);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(device.readSamples(reinterpret_cast<uint8_t*>(block.data()), kBlockPairs * 4));
    device.stopStreaming();
    device.close();

    ::unsetenv("SOAPYSIM_VANISH_AFTER");
    openUnit(device, "5A000001");
    ASSERT_TRUE(device.startStreaming());
    for (int i = 0; i < 5; ++i)
        readBlock(device);
    device.close();
}

TEST_F(SoapySimDeviceTest, OpeningAnAbsentReceiverThrowsWithAText)
{
    SoapyDevice device;
    device.selectDevice("driver=rtsasim,serial=NOPE");
    try {
        device.open();
        FAIL() << "opened an absent receiver";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("SoapySDR: ", 0), 0u) << e.what();
    }
    EXPECT_FALSE(device.startStreaming());
    EXPECT_EQ(device.deviceName(), "");
}

} // namespace
