#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/WavFileReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;

int16_t sampleAt(const WavFileContents& wav, size_t frame, int channel)
{
    int16_t v;
    std::memcpy(&v, wav.sample(frame, channel), 2);
    return v;
}

} // namespace

// The system's audio output here is an ALSA configuration of the test's own: the default PCM
// converts to 16-bit stereo at 48 kHz and writes a WAV file in front of the null device, which
// takes audio as fast as the callback makes it.
using PortAudioDriverTest = BackendTest;

TEST_F(PortAudioDriverTest, AToneThroughTheBackendArrivesAtTheSystemsOutput)
{
    TestFolder alsa("alsa-output");
    const auto recording = alsa.path() / "alsa-output.wav";
    const auto alsaConf = alsa.path() / "asound.conf";
    {
        std::ofstream conf(alsaConf);
        conf << "pcm.!default {\n  type plug\n  slave {\n    pcm {\n      type file\n      slave.pcm \"null\"\n"
             << "      file \"" << recording.string() << "\"\n      format \"wav\"\n    }\n"
             << "    format S16_LE\n    rate 48000\n    channels 2\n  }\n}\n";
    }
    setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + alsaConf.string()).c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    registry.writeEntry("portaudio.conf", {{"key", "PortAudioOutput"},
                                           {"clsid", kPortAudioClassId},
                                           {"description", "PortAudio Output"},
                                           {"server", RTSA_PORTAUDIO_ASIO_DRIVER}});
    ASSERT_EQ(backend.deviceNames(), std::vector<std::string>{"PortAudio Output"});
    const BufferSizeInfo sizes = backend.bufferSizeInfo("PortAudio Output", 48000);
    EXPECT_EQ(sizes.minSize, 64);
    EXPECT_EQ(sizes.maxSize, 4096);
    EXPECT_EQ(sizes.granularity, -1);
    const auto outputs = backend.outputChannels("PortAudio Output");
    ASSERT_GE(outputs.size(), 2u);
    EXPECT_EQ(outputs[1].name.substr(outputs[1].name.size() - 2), " 2");

    backend.setTestTone(true);
    ASSERT_TRUE(open("PortAudio Output", 256, {0, 1}));
    EXPECT_TRUE(log.contains("ASIO: sample type 19 bytes/frame 4"));
    // A second of audio is plenty; the null device would take gigabytes in a minute.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    std::error_code error;
    while (std::filesystem::file_size(recording, error) < 44 + 4 * 48000 || error) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::this_thread::sleep_for(1ms);
    }
    backend.close();

    const auto wav = readWavFile(recording);
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->formatTag, 1);
    EXPECT_EQ(wav->channels, 2);
    EXPECT_EQ(wav->sampleRate, 48000u);
    ASSERT_EQ(wav->bitsPerSample, 16);
    size_t start = 0;
    while (start < wav->frames() && std::abs(sampleAt(*wav, start, 0)) < 100)
        ++start;
    ASSERT_GE(wav->frames(), start + 48 + 4800);
    int peak = 0;
    for (size_t k = start + 48; k < start + 48 + 4800; ++k) {
        const int l = sampleAt(*wav, k, 0);
        ASSERT_NEAR(l, sampleAt(*wav, k, 1), 2) << k;        // the same tone on both outputs
        ASSERT_NEAR(l, sampleAt(*wav, k + 48, 0), 3) << k;   // 1 kHz
        peak = std::max(peak, std::abs(l));
    }
    EXPECT_NEAR(peak, 0.3 * 32767, 0.01 * 32767);
}
