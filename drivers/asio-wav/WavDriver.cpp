#include "drivers/asio-wav/WavDriver.h"

#include "audio/AsioRegistryEntry.h"
#include "audio/SampleConversion.h"
#include "drivers/asio-common/AsioDriverFactory.h"
#include "drivers/asio-wav/WavFileFeed.h"
#include "drivers/asio-wav/WavWriter.h"
#include "platform/ThreadName.h"
#include "platform/ThreadPriority.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

constexpr AsioClassId kWavDriverClassId{0x9c7e2b14, 0x3d5a, 0x4f8e, {0xb1, 0xc6, 0x2a, 0x9d, 0x8e, 0x4f, 0x7b, 0x03}};
constexpr int32_t kMaxChannels = 64;
// What the file side may fall behind the pace before audio is left out of the file.
constexpr double kFileBufferSeconds = 2.0;

struct SampleTypeName {
    const char* text;
    ASIOSampleType type;
};
constexpr SampleTypeName kSampleTypes[] = {
    {"int16", ASIOSTInt16LSB},     {"int24", ASIOSTInt24LSB},     {"int32", ASIOSTInt32LSB},
    {"float32", ASIOSTFloat32LSB}, {"float64", ASIOSTFloat64LSB},
};

ASIOSampleType sampleTypeNamed(const std::string& text)
{
    for (const auto& known : kSampleTypes) {
        if (text == known.text)
            return known.type;
    }
    return 0;
}

} // namespace

WavDriver::WavDriver(const AsioRegistryEntry& entry)
    : AsioDriverBase("WAV File Writer", 1)
    , m_entryFile(entry.file().string())
    , m_path(entry.value("file"))
    , m_sampleTypeText(entry.value("sampletype").empty() ? "int16" : entry.value("sampletype"))
    , m_sampleType(sampleTypeNamed(m_sampleTypeText))
    , m_channels(static_cast<int32_t>(entry.intValue("channels", 2)))
{
}

WavDriver::~WavDriver()
{
    shutdown();
}

ASIOError WavDriver::controlPanel()
{
    std::fprintf(stderr, "WAV File Writer: file=%s sampletype=%s channels=%d (settings in %s)\n", m_path.c_str(),
                 m_sampleTypeText.c_str(), m_channels, m_entryFile.c_str());
    return ASE_OK;
}

bool WavDriver::openDevice(std::string& error)
{
    if (m_path.empty())
        error = "no file set in " + m_entryFile;
    else if (m_sampleType == 0)
        error = "unknown sampletype " + m_sampleTypeText;
    else if (m_channels < 1 || m_channels > kMaxChannels)
        error = "channels must be 1 to " + std::to_string(kMaxChannels);
    return error.empty();
}

std::string WavDriver::outputName(int32_t channel) const
{
    return "WAV " + std::to_string(channel + 1);
}

// Powers of two: any size would do for a file, but a list of every size from 16 to 8192 is
// useless to choose from.
AsioBufferLimits WavDriver::bufferLimits() const
{
    return {16, 8192, 256, -1};
}

bool WavDriver::supportsRate(ASIOSampleRate rate) const
{
    return rate >= 8000.0 && rate <= 384000.0 && rate == static_cast<double>(static_cast<uint32_t>(rate));
}

bool WavDriver::startStream()
{
    const int bytes = asioBytesPerSample(m_sampleType);
    const WavWriter::Format format{m_sampleType == ASIOSTFloat32LSB || m_sampleType == ASIOSTFloat64LSB, m_channels,
                                   bytes, static_cast<uint32_t>(sampleRate())};
    std::unique_ptr<WavWriter> writer = WavWriter::create(m_path, format);
    if (!writer) {
        setErrorText("cannot create " + m_path);
        return false;
    }
    const auto frameBytes = static_cast<std::size_t>(m_channels * bytes);
    const auto secondBytes = static_cast<std::size_t>(sampleRate()) * frameBytes;
    m_feed = std::make_unique<WavFileFeed>(std::move(writer), frameBytes,
                                           static_cast<std::size_t>(kFileBufferSeconds * static_cast<double>(secondBytes)));
    m_interleaved.assign(static_cast<std::size_t>(bufferFrames()) * frameBytes, 0);
    m_running = true;
    m_thread = std::thread(&WavDriver::run, this);
    return true;
}

void WavDriver::stopStream()
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
    m_feed.reset();
}

void WavDriver::interleave(int32_t half)
{
    const auto bytes = static_cast<std::size_t>(asioBytesPerSample(m_sampleType));
    const auto frameBytes = bytes * static_cast<std::size_t>(m_channels);
    const auto frames = static_cast<std::size_t>(bufferFrames());
    for (const Output& output : outputs()) {
        const unsigned char* in = output.halves[half].data();
        unsigned char* out = m_interleaved.data() + bytes * static_cast<std::size_t>(output.channel);
        for (std::size_t i = 0; i < frames; ++i)
            std::memcpy(out + i * frameBytes, in + i * bytes, bytes);
    }
}

void WavDriver::run()
{
    using Clock = std::chrono::steady_clock;
    nameCurrentThread("asio-wav");
    // Paced like a sound card where the system grants real-time scheduling; an ordinary user's
    // thread runs on without.
    raiseThreadToTimeCritical();
    const auto frames = static_cast<int64_t>(bufferFrames());
    const auto rate = static_cast<int64_t>(sampleRate());
    // Deadlines count from the start in whole frames, so the pace does not drift.
    Clock::time_point start = Clock::now();
    int64_t buffer = 0;
    int32_t half = 0;
    while (m_running.load()) {
        ++buffer;
        const Clock::time_point deadline = start + std::chrono::nanoseconds(buffer * frames * 1000000000 / rate);
        std::this_thread::sleep_until(deadline);
        switchBuffers(half);
        interleave(half);
        m_feed->push(m_interleaved.data(), m_interleaved.size());
        half ^= 1;
        // A thread held up for several periods picks up from now instead of catching up in a burst.
        if (Clock::now() - deadline > 4 * std::chrono::nanoseconds(frames * 1000000000 / rate)) {
            start = Clock::now();
            buffer = 0;
        }
    }
}

ASIO_DRIVER_EXPORT ASIOError asioCreateDriver(const AsioClassId* classId, const char* entryPath, IASIO** object)
{
    return createAsioDriver<WavDriver>(kWavDriverClassId, classId, entryPath, object);
}
static_assert(std::is_same_v<decltype(&asioCreateDriver), AsioDriverFactory>);
