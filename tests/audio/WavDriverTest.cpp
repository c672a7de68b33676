#include "audio/SampleConversion.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/WavFileReader.h"
#include "tests/support/EventWait.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class WavDriverTest : public BackendTest {
protected:
    std::filesystem::path install(const std::string& name, const std::string& sampleType,
                                  std::string file = std::string())
    {
        if (file.empty())
            file = (registry.path() / (name + ".wav")).string();
        registry.writeEntry(name, {{"key", name},
                                   {"clsid", kWavClassId},
                                   {"server", RTSA_WAV_ASIO_DRIVER},
                                   {"file", file},
                                   {"sampletype", sampleType}});
        return file;
    }

    // Waits until the driver has played everything the bus held.
    bool waitForEmptyBus()
    {
        const auto deadline = Clock::now() + 10s;
        while (bus.fill(left) > 0.0 || bus.fill(right) > 0.0) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

};

void expectHeaderMatchesFile(const WavFileContents& wav)
{
    EXPECT_EQ(wav.riffSize, wav.fileSize - 8);
    EXPECT_EQ(wav.dataSize, wav.fileSize - 44);
    EXPECT_EQ(wav.dataSize, wav.data.size());
    EXPECT_EQ(wav.dataSize % wav.blockAlign, 0u);
}

} // namespace

TEST_F(WavDriverTest, WritesWhatEachOutputPlaysInEverySampleType)
{
    struct Case {
        const char* name;
        ASIOSampleType type;
        uint16_t formatTag;
    };
    const Case cases[] = {{"int16", ASIOSTInt16LSB, 1},
                          {"int24", ASIOSTInt24LSB, 1},
                          {"int32", ASIOSTInt32LSB, 1},
                          {"float32", ASIOSTFloat32LSB, 3},
                          {"float64", ASIOSTFloat64LSB, 3}};
    // Distinct values on each channel, full scale and beyond included.
    std::vector<float> leftSignal(2000);
    std::vector<float> rightSignal(2000);
    for (size_t k = 0; k < leftSignal.size(); ++k) {
        leftSignal[k] = static_cast<float>(k % 500 + 1) / 400.0f - 0.5f;
        rightSignal[k] = -1.5f * leftSignal[k];
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = install(std::string("WAV ") + c.name, c.name);
        bus.clear();
        bus.write(left, leftSignal.data(), leftSignal.size());
        bus.write(right, rightSignal.data(), rightSignal.size());
        ASSERT_TRUE(open(std::string("WAV ") + c.name, 256, {0, 1}));
        ASSERT_TRUE(waitForEmptyBus());
        backend.close();

        const auto wav = readWavFile(file);
        ASSERT_TRUE(wav);
        const int bytes = asioBytesPerSample(c.type);
        EXPECT_EQ(wav->formatTag, c.formatTag);
        EXPECT_EQ(wav->channels, 2);
        EXPECT_EQ(wav->sampleRate, 48000u);
        EXPECT_EQ(wav->bitsPerSample, 8 * bytes);
        EXPECT_EQ(wav->blockAlign, 2 * bytes);
        EXPECT_EQ(wav->byteRate, 48000u * 2 * static_cast<uint32_t>(bytes));
        expectHeaderMatchesFile(*wav);

        // The first buffers may be silence; the bus's audio follows whole, then silence again.
        std::vector<unsigned char> expectedLeft(leftSignal.size() * static_cast<size_t>(bytes));
        std::vector<unsigned char> expectedRight(expectedLeft.size());
        convertToAsio(leftSignal.data(), leftSignal.size(), c.type, expectedLeft.data());
        convertToAsio(rightSignal.data(), rightSignal.size(), c.type, expectedRight.data());
        const std::vector<unsigned char> silence(static_cast<size_t>(bytes), 0);
        size_t start = 0;
        while (start < wav->frames() && std::memcmp(wav->sample(start, 0), silence.data(), silence.size()) == 0)
            ++start;
        ASSERT_GE(wav->frames(), start + leftSignal.size() + 1);
        EXPECT_EQ(start % 256, 0u);
        for (size_t k = 0; k < leftSignal.size(); ++k) {
            ASSERT_EQ(std::memcmp(wav->sample(start + k, 0), &expectedLeft[k * bytes], silence.size()), 0) << k;
            ASSERT_EQ(std::memcmp(wav->sample(start + k, 1), &expectedRight[k * bytes], silence.size()), 0) << k;
        }
        EXPECT_EQ(std::memcmp(wav->sample(start + leftSignal.size(), 0), silence.data(), silence.size()), 0);
    }
    EXPECT_GT(underruns, 0u); // the drained bus kept playing silence until the close
}

TEST_F(WavDriverTest, TheFileIsValidWhileWrittenAndKeepsToRealTime)
{
    const auto file = install("WAV pace", "int16");
    const auto opened = Clock::now();
    ASSERT_TRUE(open("WAV pace", 64, {0, 1}));

    // The header catches up about once a second of audio, so a process that dies leaves a
    // playable file.
    std::optional<WavFileContents> running;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kEventWaitMs);
    while (!(running = readWavFile(file)) || running->dataSize == 0) {
        ASSERT_LT(Clock::now(), deadline) << "the header never caught up";
        std::this_thread::sleep_for(10ms);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - opened).count();
    EXPECT_EQ(running->riffSize, running->dataSize + 36);
    EXPECT_LE(running->dataSize, running->data.size());
    EXPECT_EQ(running->dataSize % 4, 0u);
    // Never ahead of the clock.
    EXPECT_LE(static_cast<double>(running->data.size() / 4), 48000.0 * elapsed + 64);

    backend.close();
    const auto closed = readWavFile(file);
    ASSERT_TRUE(closed);
    expectHeaderMatchesFile(*closed);
    EXPECT_GE(closed->data.size(), running->dataSize);
}

TEST_F(WavDriverTest, AFileThatStallsDoesNotHoldUpThePace)
{
    // A pipe nobody reads stands for a disk that holds writes up: once its buffer is full,
    // every write to it waits.
    const std::string pipePath = (registry.path() / "stalled.wav").string();
    ASSERT_EQ(mkfifo(pipePath.c_str(), 0600), 0);
    const int reader = ::open(pipePath.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    install("WAV stalled", "int16", pipePath);
    ASSERT_TRUE(open("WAV stalled", 256, {0, 1}));

    const int pipeBytes = fcntl(reader, F_GETPIPE_SZ);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kEventWaitMs);
    int queued = 0;
    while (ioctl(reader, FIONREAD, &queued) == 0 && queued < pipeBytes && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(queued, pipeBytes) << "the file side never filled the pipe";

    // The device keeps its clock: it goes on asking for buffers (and, the bus being empty,
    // counting each as an underrun) while the file waits. Twenty buffers more than the file's
    // own buffer could hold.
    const uint64_t before = underruns.load();
    const auto paced = Clock::now() + std::chrono::milliseconds(kEventWaitMs);
    while (underruns.load() < before + 2 * 20 && Clock::now() < paced)
        std::this_thread::sleep_for(10ms);
    EXPECT_GE(underruns.load(), before + 2 * 20) << "the pace stopped with the file";

    std::thread drain([reader] {
        const int flags = fcntl(reader, F_GETFL);
        fcntl(reader, F_SETFL, flags & ~O_NONBLOCK);
        char chunk[4096];
        while (::read(reader, chunk, sizeof chunk) > 0) {
        }
    });
    backend.close();
    drain.join();
    ::close(reader);
}

TEST_F(WavDriverTest, ControlPanelReportsTheSettings)
{
    const auto file = install("WAV settings", "float32");
    testing::internal::CaptureStderr();
    const bool shown = backend.showControlPanel("WAV settings");
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(shown);
    EXPECT_NE(reported.find("file=" + file.string()), std::string::npos) << reported;
    EXPECT_NE(reported.find("sampletype=float32"), std::string::npos) << reported;
}

TEST_F(WavDriverTest, UnusableSettingsFailTheOpen)
{
    install("WAV odd type", "int12");
    install("WAV nowhere", "int16", "/nonexistent/folder/out.wav");
    EXPECT_FALSE(backend.open("WAV odd type", 48000, 256, &bus, {0}, nullptr));
    // Each failure carries the driver's own reason.
    EXPECT_TRUE(log.contains("ASIO: ASIOInit failed (unknown sampletype int12), removing driver", AsioLogLevel::Warning));
    EXPECT_FALSE(backend.open("WAV nowhere", 48000, 256, &bus, {0}, nullptr));
    EXPECT_TRUE(log.contains("ASIO: start failed: cannot create /nonexistent/folder/out.wav", AsioLogLevel::Warning));
    EXPECT_FALSE(backend.isOpen());
    backend.close();
}
