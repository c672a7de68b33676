#include "acquisition/RZ640Device.h"
#include "platform/SharedLibrary.h"
#include "tests/acquisition/FakeSdkCalls.h"
#include "tests/acquisition/OpenError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

std::string fakeSdk(const std::string& variant)
{
    return std::string(RTSA_FAKE_SDK_DIR) + "/" + variant + "/librzsdr.so";
}

// The calls a fake SDK recorded. The library is loaded once more for the lookup, which keeps
// the driver's own instance (the same one) alive as well.
class FakeSdk {
public:
    explicit FakeSdk(const std::string& variant) : m_library(SharedLibrary::open(fakeSdk(variant)))
    {
        if (!m_library)
            throw std::runtime_error("fake SDK missing: " + fakeSdk(variant));
        m_calls = reinterpret_cast<FakeSdkCallsFn>(m_library->symbol("fake_sdk_calls"))();
        *m_calls = FakeSdkCalls{};
    }
    FakeSdkCalls& calls() { return *m_calls; }

private:
    std::unique_ptr<SharedLibrary> m_library;
    FakeSdkCalls* m_calls;
};

TEST(RZ640DeviceSdkSearch, CandidatesStartWithTheBareNameThenLookAroundTheExecutable)
{
    EXPECT_EQ(RZ640Device::sdkCandidates("/opt/rtsa/bin/NorvaleRTSA"),
              (std::vector<std::string>{"librzsdr.so", "/opt/rtsa/bin/librzsdr.so", "/opt/rtsa/bin/api/librzsdr.so",
                                        "/opt/rtsa/bin/../api/librzsdr.so", "/opt/rtsa/bin/../../api/librzsdr.so"}));
    EXPECT_EQ(RZ640Device::sdkCandidates("NorvaleRTSA"), std::vector<std::string>{"librzsdr.so"});
    EXPECT_EQ(RZ640Device::sdkCandidates(""), std::vector<std::string>{"librzsdr.so"});
}

TEST(RZ640DeviceSdkSearch, MissingLibraryFailsAndALaterOpenSearchesAgain)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("rz640-search-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    RZ640Device device({"/nonexistent/librzsdr.so", (folder / "librzsdr.so").string()});
    EXPECT_EQ(openError(device), "Failed to load librzsdr.so");
    EXPECT_EQ(openError(device), "Failed to load librzsdr.so");

    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(fakeSdk("complete"), folder / "librzsdr.so");
    EXPECT_TRUE(device.open());
    EXPECT_EQ(device.deviceName(), "Fake RZ640 kind 0");
    device.close();
    std::filesystem::remove_all(folder);
}

TEST(RZ640DeviceSdkSearch, LoadingFailuresCarryTheirTexts)
{
    RZ640Device noEntry({fakeSdk("no_entry")});
    EXPECT_EQ(openError(noEntry), "dlsym(rzsdr_init) failed");
    // The loaded library stays loaded and the lookup is tried again, never a call through null.
    EXPECT_EQ(openError(noEntry), "dlsym(rzsdr_init) failed");

    RZ640Device initNull({fakeSdk("init_null")});
    EXPECT_EQ(openError(initNull), "rzsdr_init returned NULL");
    EXPECT_EQ(openError(initNull), "rzsdr_init returned NULL");
}

// The SDK's reasons, written on standard error, are what the user needs to see; they still reach
// the console.
TEST(RZ640DeviceOpen, NoReceiverCarriesTheReasonsTheSdkGave)
{
    FakeSdk sdk("no_receiver_says_why");
    RZ640Device device({fakeSdk("no_receiver_says_why")});
    testing::internal::CaptureStderr();
    const std::string error = openError(device);
    const std::string console = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error, "RZ640 device not found (find(RZ_640_1/RZ_640_N) both returned null); the SDK said: "
                     "[fake-sdk] kind 0: cable unplugged; [fake-sdk] kind 1: cable unplugged");
    EXPECT_EQ(console, "[fake-sdk] kind 0: cable unplugged\n[fake-sdk] kind 1: cable unplugged\n");
}

TEST(RZ640DeviceOpen, NoReceiverOfEitherKind)
{
    FakeSdk sdk("no_receiver");
    RZ640Device device({fakeSdk("no_receiver")});
    EXPECT_EQ(openError(device), "RZ640 device not found (find(RZ_640_1/RZ_640_N) both returned null)");
    ASSERT_EQ(sdk.calls().finds, 2);
    EXPECT_EQ(sdk.calls().findKinds[0], 0);
    EXPECT_EQ(sdk.calls().findKinds[1], 1);
    EXPECT_EQ(device.deviceName(), "");
    EXPECT_FALSE(device.startStreaming());
}

TEST(RZ640DeviceOpen, FallsBackToTheNetworkKindAndRefreshesInfo)
{
    FakeSdk sdk("kind1_only");
    RZ640Device device({fakeSdk("kind1_only")});
    EXPECT_TRUE(device.open());
    EXPECT_EQ(device.deviceName(), "Fake RZ640 kind 1");
    EXPECT_EQ(sdk.calls().infoRefreshes, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sdk.calls().infoSeen), 4), "INFO");
    EXPECT_EQ(device.samplesPerTransfer(), 8192u);
    EXPECT_EQ(device.serialNumber(), "FAKE-QUERIED");

    // A held device is not looked for again.
    EXPECT_TRUE(device.open());
    EXPECT_EQ(sdk.calls().finds, 2);
}

TEST(RZ640DeviceOpen, SerialFallsBackToTheStoredText)
{
    FakeSdk empty("empty_serial");
    RZ640Device emptyQuery({fakeSdk("empty_serial")});
    ASSERT_TRUE(emptyQuery.open());
    EXPECT_EQ(emptyQuery.serialNumber(), "FAKE-STORED");

    FakeSdk none("no_callbacks");
    RZ640Device noCallbacks({fakeSdk("no_callbacks")});
    ASSERT_TRUE(noCallbacks.open());
    EXPECT_EQ(noCallbacks.serialNumber(), "FAKE-STORED");
    EXPECT_EQ(noCallbacks.samplesPerTransfer(), 2048u);
    EXPECT_EQ(none.calls().infoRefreshes, 0);
}

TEST(RZ640DeviceOpen, DefaultsBeforeOpen)
{
    FakeSdk sdk("complete");
    RZ640Device device({fakeSdk("complete")});
    EXPECT_EQ(device.samplesPerTransfer(), 4096u);
    EXPECT_EQ(device.deviceName(), "");
    EXPECT_EQ(device.serialNumber(), "");
    EXPECT_EQ(device.actualSampleRate(), 0);
    EXPECT_EQ(device.listDevices(), std::vector<std::string>{"RZ640"});
    uint8_t block[16];
    EXPECT_FALSE(device.readSamples(block, sizeof block));
    EXPECT_FALSE(device.startStreaming());
    device.setCenterFrequency(123);
    device.setPort(0);
    device.close();
    EXPECT_EQ(sdk.calls().frequencyHz, 0u);
    EXPECT_EQ(sdk.calls().releases, 0);
}

TEST(RZ640DeviceControl, ForwardsSettingsAndMapsThePorts)
{
    FakeSdk sdk("complete");
    RZ640Device device({fakeSdk("complete")});
    ASSERT_TRUE(device.open());

    const std::pair<uint8_t, uint8_t> ports[] = {{0, 1}, {1, 0}, {2, 2}, {3, 3}};
    for (const auto& [port, mapped] : ports) {
        device.setPort(port);
        EXPECT_EQ(sdk.calls().mappedPort, mapped) << "port " << int(port);
        EXPECT_EQ(sdk.calls().requestedPort, port);
    }

    device.setCenterFrequency(2'400'000'000ull);
    device.setSampleRate(30'000'000);
    device.setAttenuation(20);
    device.setPreamp(40);
    device.setIfGain(10);
    EXPECT_EQ(sdk.calls().frequencyHz, 2'400'000'000ull);
    EXPECT_EQ(sdk.calls().sampleRateHz, 30'000'000u);
    EXPECT_EQ(sdk.calls().attenuationDb, 20);
    EXPECT_EQ(sdk.calls().preampDb, 40);
    EXPECT_EQ(sdk.calls().ifGainDb, 10);

    EXPECT_TRUE(device.startStreaming());
    uint8_t block[64] = {};
    EXPECT_TRUE(device.readSamples(block, sizeof block));
    EXPECT_EQ(block[63], 0x5A);

    // Closing stops the stream and releases the receiver; a second close does nothing.
    device.close();
    device.close();
    EXPECT_EQ(sdk.calls().starts, 1);
    EXPECT_EQ(sdk.calls().stops, 1);
    EXPECT_EQ(sdk.calls().releases, 1);
    EXPECT_EQ(device.deviceName(), "");
    EXPECT_FALSE(device.readSamples(block, sizeof block));
}

} // namespace
