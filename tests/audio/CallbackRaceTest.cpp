#include "tests/audio/AudioTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A driver whose own thread runs buffer switches and reads what the host wrote, as a device
// plays it, while the test opens and closes around it.
class CallbackRaceTest : public BackendTest {
protected:
    CallbackRaceTest()
    {
        registry.writeEntry("free", scriptedEntry("Free", {{"thread", "free"}, {"sampletype", "16"}}));
        registry.writeEntry("other", scriptedEntry("Other", {{"outputs", "4"}}));
    }

    ScriptedDriverProbe probe;
};

// Feeds both bus slots until told to stop, as the demodulation thread does.
class Producer {
public:
    explicit Producer(AudioBus& bus)
        : m_thread([this, &bus] {
            const std::vector<float> block(480, 0.25f);
            while (!m_stop) {
                bus.write(0, block.data(), block.size());
                bus.write(1, block.data(), block.size());
                std::this_thread::sleep_for(1ms);
            }
        })
    {
    }
    ~Producer()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST_F(CallbackRaceTest, OpenAndCloseMeetTheDriverThreadSafely)
{
    Producer producer(bus);
    const long switchesBefore = probe.counts().switches;
    for (int round = 0; round < 4; ++round) {
        ASSERT_TRUE(open("Free", 256, {0, 1}));
        std::this_thread::sleep_for(20ms);
        backend.setTestTone(round % 2 == 0);
        std::this_thread::sleep_for(20ms);
        backend.close();
    }
    EXPECT_GT(probe.counts().switches, switchesBefore);
    EXPECT_EQ(probe.counts().starts, probe.counts().stops);
    EXPECT_EQ(probe.counts().created, probe.counts().destroyed);
}

TEST_F(CallbackRaceTest, QueriesFromAnotherThreadNeverOverlapOpenOrClose)
{
    std::atomic<bool> done{false};
    std::atomic<int> answered{0};
    std::atomic<int> refused{0};
    std::thread gui([&] {
        while (!done) {
            // Each answer whole or refused (while open), never a mixture.
            const BufferSizeInfo sizes = backend.bufferSizeInfo("Other", 48000);
            if (sizes.minSize == 64 && sizes.maxSize == 2048 && sizes.preferredSize == 256 && sizes.granularity == 64)
                ++answered;
            else if ((sizes.minSize | sizes.maxSize | sizes.preferredSize | sizes.granularity) == 0)
                ++refused;
            else
                ADD_FAILURE() << "partial sizes: " << sizes.minSize << " " << sizes.maxSize;
            const size_t channels = backend.outputChannels("Other").size();
            EXPECT_TRUE(channels == 4 || channels == 0) << channels;
            backend.showControlPanel("Other");
            EXPECT_EQ(backend.deviceNames().size(), 2u);
        }
    });
    for (int round = 0; round < 4; ++round) {
        ASSERT_TRUE(open("Free", 128, {0}));
        std::this_thread::sleep_for(30ms);
        backend.close();
        std::this_thread::sleep_for(10ms);
    }
    done = true;
    gui.join();
    EXPECT_GT(answered + refused, 0);
    EXPECT_EQ(probe.counts().created, probe.counts().destroyed);
}
