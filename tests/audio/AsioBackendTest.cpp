#include "tests/audio/AudioTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace {

// The backend with the scripted driver's library at hand.
class AsioBackendTest : public BackendTest {
protected:
    void install(const std::string& key, std::map<std::string, std::string> script = {})
    {
        registry.writeEntry(key, scriptedEntry(key, std::move(script)));
    }

    void writeBus(size_t slot, const std::vector<float>& samples) { bus.write(slot, samples.data(), samples.size()); }

    ScriptedDriverProbe probe;
};

} // namespace

TEST_F(AsioBackendTest, BufferSizeIsNegotiatedWithinTheDriversLimits)
{
    install("Stepped", {{"min", "64"}, {"max", "2048"}, {"granularity", "64"}});
    install("Powers", {{"min", "64"}, {"max", "2048"}, {"granularity", "-1"}});
    // Steps of 64 from 96, a maximum off them; the driver refuses any other size.
    install("Offset", {{"min", "96"}, {"max", "2048"}, {"granularity", "64"}});
    struct Case {
        const char* driver;
        int requested;
        int expected;
        const char* line;
    };
    const Case cases[] = {
        {"Stepped", 48, 64, "ASIO: requested buffer 48 < min 64 , using min"},
        {"Stepped", 300, 256, "ASIO: adjusting buffer from 300 to 256 (granularity= 64 )"},
        {"Stepped", 5000, 2048, "ASIO: requested buffer 5000 > max 2048 , using max"},
        {"Powers", 300, 300, "ASIO: requested buffer= 300 actual buffer= 300"},
        {"Offset", 96, 96, "ASIO: requested buffer= 96 actual buffer= 96"},
        {"Offset", 160, 160, "ASIO: requested buffer= 160 actual buffer= 160"},
        {"Offset", 300, 288, "ASIO: adjusting buffer from 300 to 288 (granularity= 64 )"},
        {"Offset", 64, 96, "ASIO: requested buffer 64 < min 96 , using min"},
        {"Offset", 5000, 2016, "ASIO: adjusting buffer from 2048 to 2016 (granularity= 64 )"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.driver) + " " + std::to_string(c.requested));
        log.clear();
        ASSERT_TRUE(open(c.driver, c.requested, {0}));
        EXPECT_EQ(backend.bufferFrames(), c.expected);
        EXPECT_EQ(probe.counts().lastBufferFrames, c.expected);
        EXPECT_TRUE(log.contains(c.line));
        backend.close();
    }
    EXPECT_TRUE(log.contains("ASIO buffer size: min= 96 max= 2048 preferred= 256 granularity= 64"));
    EXPECT_EQ(backend.bufferFrames(), 2016); // kept after close
}

TEST_F(AsioBackendTest, ChannelMapChoosesTheOutputsAndTheirSlots)
{
    install("Quad", {{"outputs", "4"}, {"sampletype", "19"}});
    ASSERT_TRUE(open("Quad", 256, {-1, 0, 1}));
    EXPECT_TRUE(log.contains("ASIO: using output channels count= 2"));
    EXPECT_EQ(probe.buffer<float>(0, 0), nullptr);
    EXPECT_EQ(probe.buffer<float>(3, 0), nullptr);

    writeBus(left, ramp(256, 0.001f, 0.001f));
    writeBus(right, ramp(256, -0.001f, -0.001f));
    ASSERT_TRUE(probe.runSwitch(1));
    const float* out1 = probe.buffer<float>(1, 1);
    const float* out2 = probe.buffer<float>(2, 1);
    ASSERT_TRUE(out1 && out2);
    EXPECT_FLOAT_EQ(out1[0], 0.001f);
    EXPECT_FLOAT_EQ(out1[255], 0.256f);
    EXPECT_FLOAT_EQ(out2[0], -0.001f);
    EXPECT_FLOAT_EQ(out2[255], -0.256f);
    EXPECT_EQ(probe.buffer<float>(1, 0)[0], 0.0f); // the other half is untouched
    EXPECT_EQ(underruns, 0u);
    backend.close();

    // A map longer than the driver's outputs is cut to them.
    install("Stereo", {{"outputs", "2"}, {"sampletype", "19"}});
    log.clear();
    ASSERT_TRUE(open("Stereo", 256, {-1, 0, 1, 1}));
    EXPECT_TRUE(log.contains("ASIO: using output channels count= 1"));
    EXPECT_NE(probe.buffer<float>(1, 0), nullptr);
    backend.close();

    // An empty map plays slot 0 on the default output, when the driver has it.
    backend.setOutputChannel(1);
    ASSERT_TRUE(open("Stereo", 256, {}));
    EXPECT_EQ(probe.buffer<float>(0, 0), nullptr);
    EXPECT_NE(probe.buffer<float>(1, 0), nullptr);
    backend.close();

    backend.setOutputChannel(3);
    log.clear();
    EXPECT_FALSE(open("Stereo", 256, {}));
    EXPECT_TRUE(log.contains("ASIO: no output channels mapped"));
    EXPECT_FALSE(backend.isOpen());
}

TEST_F(AsioBackendTest, ReopeningReloadsTheDriverAndSwitchingUnloadsTheOld)
{
    install("Mute", {{"outputs", "2"}});
    install("Other");
    const int destroyed = probe.counts().destroyed;
    backend.setOutputChannel(5);
    ASSERT_FALSE(open("Mute", 256, {})); // fails after the driver is initialised: it stays loaded
    EXPECT_TRUE(log.contains("ASIO: driver initialized for Mute"));
    EXPECT_EQ(probe.counts().destroyed, destroyed);

    log.clear();
    backend.setOutputChannel(0);
    ASSERT_TRUE(open("Mute", 256, {}));
    EXPECT_TRUE(log.contains("ASIO: forcing clean reload for Mute"));
    EXPECT_EQ(probe.counts().destroyed, destroyed + 1);
    backend.close();
    EXPECT_EQ(probe.counts().destroyed, destroyed + 2);

    backend.setOutputChannel(5);
    ASSERT_FALSE(open("Mute", 256, {}));
    log.clear();
    ASSERT_TRUE(open("Other", 256, {0}));
    EXPECT_TRUE(log.contains("ASIO: unloading previous driver Mute"));
    EXPECT_FALSE(log.contains("ASIO: forcing clean reload for Mute"));
    EXPECT_EQ(probe.counts().destroyed, destroyed + 3);

    // Opening while open closes first.
    const int stops = probe.counts().stops;
    ASSERT_TRUE(open("Other", 512, {0}));
    EXPECT_EQ(probe.counts().stops, stops + 1);
    EXPECT_EQ(backend.bufferFrames(), 512);
}

TEST_F(AsioBackendTest, EachFailingStepReportsAndLeavesTheBackendClosed)
{
    struct Case {
        std::map<std::string, std::string> script;
        const char* lastLine; // the failure's own, or the step before when it fails silently
    };
    const Case cases[] = {
        {{{"fail", "init"}}, "ASIO: ASIOInit failed (scripted init failure), removing driver"},
        {{{"fail", "getChannels"}}, "ASIO: ASIOGetChannels failed"},
        {{{"outputs", "0"}}, "ASIO: ASIOGetChannels failed"},
        {{{"fail", "setSampleRate"}}, "ASIO: set sample rate failed"},
        {{{"fail", "getBufferSize"}}, "ASIO: ASIOGetBufferSize failed"},
        {{{"fail", "createBuffers"}}, "ASIO: ASIOCreateBuffers failed"},
        {{{"fail", "getChannelInfo"}}, "ASIO: using output channels count= 2"},
        {{{"types", "18,16"}}, "ASIO: mixed sample types not supported"},
        {{{"reportedtype", "42"}}, "ASIO: unsupported sample type 42"},
        {{{"fail", "start"}}, "ASIO: start failed"},
    };
    // All installed first: the backend keeps the list it scanned until a close or a load failure.
    int n = 0;
    for (const Case& c : cases)
        install("Failing" + std::to_string(n++), c.script);
    n = 0;
    for (const Case& c : cases) {
        const std::string name = "Failing" + std::to_string(n++);
        SCOPED_TRACE(name);
        log.clear();
        const int created = probe.counts().created;
        const int destroyed = probe.counts().destroyed;
        EXPECT_FALSE(open(name, 256, {0, 1}));
        EXPECT_FALSE(backend.isOpen());
        ASSERT_FALSE(log.texts().empty());
        EXPECT_EQ(log.texts().back(), c.lastLine);
        // Whatever the failure left loaded, close releases it, and never touches released buffers.
        backend.close();
        EXPECT_EQ(probe.counts().destroyed - destroyed, probe.counts().created - created);
    }

    log.clear();
    EXPECT_FALSE(open("Not Installed", 256, {0}));
    EXPECT_TRUE(log.contains("ASIO: loadAsioDriver failed for Not Installed"));
    EXPECT_FALSE(backend.open("Failing0", 48000, 256, nullptr, {0}, nullptr));
    EXPECT_FALSE(backend.open("Failing0", 0, 256, &bus, {0}, nullptr));
    EXPECT_FALSE(backend.open("Failing0", 48000, 0, &bus, {0}, nullptr));
}

TEST_F(AsioBackendTest, TestTonePlaysOnEveryOutputWithoutReadingTheBus)
{
    install("Tone", {{"sampletype", "19"}});
    writeBus(left, std::vector<float>(1000, 0.5f));
    backend.setTestTone(true);
    ASSERT_TRUE(open("Tone", 256, {0, 1}));
    std::vector<float> played;
    for (int buffer = 0; buffer < 4; ++buffer) {
        ASSERT_TRUE(probe.runSwitch(buffer % 2));
        const float* a = probe.buffer<float>(0, buffer % 2);
        const float* b = probe.buffer<float>(1, buffer % 2);
        EXPECT_TRUE(std::equal(a, a + 256, b));
        played.insert(played.end(), a, a + 256);
    }
    float peak = 0.0f;
    for (size_t k = 0; k + 48 < played.size(); ++k) {
        EXPECT_NEAR(played[k + 48], played[k], 1e-4f) << k; // 1 kHz at 48 kHz, continuous across buffers
        peak = std::max(peak, std::abs(played[k]));
    }
    EXPECT_NEAR(peak, 0.3f, 1e-3f);
    EXPECT_NEAR(played[12], 0.3f, 1e-4f); // a sine from phase 0
    EXPECT_EQ(bus.fill(left), 1000.0 / 2400.0);
    EXPECT_EQ(underruns, 0u);

    // Switching it off plays the bus from the next buffer on.
    backend.setTestTone(false);
    ASSERT_TRUE(probe.runSwitch(0));
    EXPECT_EQ(probe.buffer<float>(0, 0)[0], 0.5f);
}

TEST_F(AsioBackendTest, AShortReadIsPaddedAndCountedOncePerOutput)
{
    install("Short", {{"sampletype", "19"}});
    ASSERT_TRUE(open("Short", 256, {0, 1}));
    writeBus(left, ramp(100, 0.01f, 0.001f));
    writeBus(right, std::vector<float>(256, -0.25f));
    ASSERT_TRUE(probe.runSwitch(0));
    const float* out = probe.buffer<float>(0, 0);
    EXPECT_FLOAT_EQ(out[0], 0.01f);
    EXPECT_FLOAT_EQ(out[99], 0.109f);
    EXPECT_TRUE(std::all_of(out + 100, out + 256, [](float x) { return x == 0.0f; }));
    EXPECT_EQ(probe.buffer<float>(1, 0)[255], -0.25f);
    EXPECT_EQ(underruns, 1u);

    ASSERT_TRUE(probe.runSwitch(1)); // both slots empty now
    EXPECT_EQ(underruns, 3u);

    // The time-info switch fills the same way and hands its record back.
    bus.clear();
    writeBus(left, std::vector<float>(256, 0.75f));
    ASIOTime time{};
    EXPECT_EQ(probe.runSwitchTimeInfo(&time, 0), &time);
    EXPECT_EQ(probe.buffer<float>(0, 0)[0], 0.75f);
}

TEST_F(AsioBackendTest, NaNFromTheBusPlaysAsSilence)
{
    install("Int16", {{"sampletype", "16"}});
    ASSERT_TRUE(open("Int16", 64, {0}));
    std::vector<float> samples(64, 0.5f);
    samples[3] = std::nanf("");
    writeBus(left, samples);
    ASSERT_TRUE(probe.runSwitch(0));
    const int16_t* out = probe.buffer<int16_t>(0, 0);
    EXPECT_EQ(out[2], 16383);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4], 16383);
}

TEST_F(AsioBackendTest, QueriesReportTheDriverAndAreRefusedWhileOpen)
{
    install("Named", {{"outputs", "4"}, {"names", ",Right,Broken,Rear"}, {"failinfo", "2"}, {"min", "32"},
                      {"max", "1024"}, {"preferred", "128"}, {"granularity", "32"}});
    install("Plain");
    EXPECT_EQ(backend.deviceNames(), (std::vector<std::string>{"Named", "Plain"}));

    const BufferSizeInfo sizes = backend.bufferSizeInfo("Named", 44100);
    EXPECT_EQ(sizes.minSize, 32);
    EXPECT_EQ(sizes.maxSize, 1024);
    EXPECT_EQ(sizes.preferredSize, 128);
    EXPECT_EQ(sizes.granularity, 32);
    EXPECT_EQ(probe.counts().lastSampleRate, 44100.0);

    const auto channels = backend.outputChannels("Named");
    ASSERT_EQ(channels.size(), 3u); // the channel whose info fails is left out
    EXPECT_EQ(channels[0].index, 0);
    EXPECT_EQ(channels[0].name, "Output 1");
    EXPECT_EQ(channels[1].name, "Right");
    EXPECT_EQ(channels[2].index, 3);
    EXPECT_EQ(channels[2].name, "Rear");

    const BufferSizeInfo none = backend.bufferSizeInfo("Not Installed", 48000);
    EXPECT_EQ(none.minSize | none.maxSize | none.preferredSize | none.granularity, 0);
    EXPECT_TRUE(backend.outputChannels("Not Installed").empty());
    EXPECT_EQ(probe.counts().created, probe.counts().destroyed); // every query released its driver

    ASSERT_TRUE(open("Plain", 256, {0}));
    log.clear();
    const BufferSizeInfo refused = backend.bufferSizeInfo("Named", 48000);
    EXPECT_EQ(refused.minSize | refused.maxSize | refused.preferredSize | refused.granularity, 0);
    EXPECT_TRUE(backend.outputChannels("Named").empty());
    EXPECT_FALSE(backend.showControlPanel("Named"));
    EXPECT_EQ(log.texts(), (std::vector<std::string>{"ASIO: cannot query buffer size while device is open",
                                                     "ASIO: cannot query channels while device is open",
                                                     "ASIO: cannot show control panel while device is playing"}));
    EXPECT_EQ(backend.deviceNames(), (std::vector<std::string>{"Named", "Plain"}));
}

TEST_F(AsioBackendTest, ControlPanelResultsAndFailures)
{
    install("Fine");
    install("Second", {{"controlpanel", std::to_string(ASE_SUCCESS)}});
    install("Erring", {{"controlpanel", "-999"}});
    install("Throwing", {{"controlpanel", "throw"}});
    install("Odd", {{"controlpanel", "throw-unknown"}});
    install("Unready", {{"fail", "init"}});

    EXPECT_TRUE(backend.showControlPanel("Fine"));
    EXPECT_TRUE(log.contains("ASIO: showing control panel for Fine"));
    EXPECT_TRUE(backend.showControlPanel("Second"));
    EXPECT_FALSE(backend.showControlPanel("Erring"));
    EXPECT_TRUE(log.contains("ASIO: control panel returned error: -999"));
    EXPECT_FALSE(backend.showControlPanel("Throwing"));
    EXPECT_TRUE(log.contains("ASIO: control panel threw C++ exception: scripted panel failure", AsioLogLevel::Warning));
    EXPECT_FALSE(backend.showControlPanel("Odd"));
    EXPECT_TRUE(log.contains("ASIO: control panel threw unknown C++ exception", AsioLogLevel::Warning));
    EXPECT_FALSE(backend.showControlPanel("Unready"));
    EXPECT_TRUE(log.contains("ASIO: ASIOInit failed for control panel"));
    EXPECT_FALSE(backend.showControlPanel("Not Installed"));
    EXPECT_TRUE(log.contains("ASIO: failed to load driver for control panel: Not Installed"));
    EXPECT_EQ(probe.counts().created, probe.counts().destroyed);

    // The driver this backend already holds serves the panel itself.
    backend.setOutputChannel(7);
    ASSERT_FALSE(open("Fine", 256, {}));
    const int created = probe.counts().created;
    const int panels = probe.counts().controlPanels;
    EXPECT_TRUE(backend.showControlPanel("Fine"));
    EXPECT_EQ(probe.counts().created, created);
    EXPECT_EQ(probe.counts().controlPanels, panels + 1);
}

TEST_F(AsioBackendTest, CloseWithoutAnOpenDoesNothing)
{
    install("Idle");
    const ScriptedAsioCounts before = probe.counts();
    backend.close();
    EXPECT_EQ(probe.counts().stops, before.stops);
    EXPECT_EQ(probe.counts().created, before.created);
    EXPECT_FALSE(backend.isOpen());
}
