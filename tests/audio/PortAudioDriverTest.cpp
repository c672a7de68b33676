#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/WavFileReader.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
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

#if defined(__SANITIZE_ADDRESS__)
// The ALSA plugins PortAudio opens to list the system's devices (PulseAudio's, PipeWire's,
// JACK's, an encoder's codec libraries) are unloaded again long before the leak check, and what
// their globals held is then reported from modules that are gone, with stacks cut short where a
// library keeps no frame pointers. Whole allocation stacks reach the ALSA library those leaks
// came through, which the leak suppressions name.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
#endif

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
    // The file output takes what PortAudio writes as fast as it comes, silence included until
    // the driver's first buffers, and a loaded machine makes that seconds of it: wait for a tenth
    // of a second of the tone itself, not for a size. Frames are 4 bytes after a 44-byte header.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    std::ifstream written(recording, std::ios::binary);
    written.seekg(44);
    std::size_t frames = 0;
    std::optional<std::size_t> toneAt;
    while (!toneAt || frames < *toneAt + 48 + 4800 + 48) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::array<unsigned char, 4> frame{};
        if (!written.read(reinterpret_cast<char*>(frame.data()), frame.size())) {
            // At the end of what is written so far, perhaps inside a frame: read it again later.
            written.clear();
            written.seekg(static_cast<std::streamoff>(44 + 4 * frames));
            std::this_thread::sleep_for(1ms);
            continue;
        }
        const auto left = static_cast<int16_t>(frame[0] | frame[1] << 8);
        if (!toneAt && std::abs(left) >= 100)
            toneAt = frames;
        ++frames;
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
