#include "drivers/asio-portaudio/PortAudioDriver.h"

#include "audio/AsioRegistryEntry.h"
#include "audio/AudioSettingTable.h"
#include "drivers/asio-common/AsioDriverFactory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr AsioClassId kPortAudioDriverClassId{
    0x5a1d3c2e, 0x8f4b, 0x4c1a, {0x9e, 0x2d, 0x7b, 0x6a, 0x0f, 0x3c, 0x9d, 0x41}};
constexpr std::size_t kMaxChannelName = sizeof ASIOChannelInfo::name - 1;

PaDeviceIndex findOutputDevice(const std::string& name)
{
    if (name.empty())
        return Pa_GetDefaultOutputDevice();
    for (PaDeviceIndex index = 0; index < Pa_GetDeviceCount(); ++index) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(index);
        if (info != nullptr && info->maxOutputChannels > 0 && name == info->name)
            return index;
    }
    return paNoDevice;
}

} // namespace

PortAudioDriver::PortAudioDriver(const AsioRegistryEntry& entry)
    : AsioDriverBase("PortAudio Output", 1)
    , m_deviceSetting(entry.value("device"))
{
}

PortAudioDriver::~PortAudioDriver()
{
    shutdown();
    if (m_initialized)
        Pa_Terminate();
}

ASIOError PortAudioDriver::controlPanel()
{
    std::fprintf(stderr, "PortAudio Output: device=%s outputs=%d\n",
                 m_deviceName.empty() ? "(not opened)" : m_deviceName.c_str(), m_outputCount);
    return ASE_OK;
}

bool PortAudioDriver::openDevice(std::string& error)
{
    const PaError status = Pa_Initialize();
    if (status != paNoError) {
        error = Pa_GetErrorText(status);
        return false;
    }
    m_initialized = true;
    m_device = findOutputDevice(m_deviceSetting);
    const PaDeviceInfo* info = m_device == paNoDevice ? nullptr : Pa_GetDeviceInfo(m_device);
    if (info == nullptr || info->maxOutputChannels < 1) {
        error = m_deviceSetting.empty() ? "no audio output device" : "no output device " + m_deviceSetting;
        return false;
    }
    m_deviceName = info->name;
    m_outputCount = info->maxOutputChannels;
    m_latency = info->defaultLowOutputLatency;
    return true;
}

std::string PortAudioDriver::outputName(int32_t channel) const
{
    // The device's name with the channel's number, the number kept whole when the name is cut.
    const std::string number = " " + std::to_string(channel + 1);
    return m_deviceName.substr(0, kMaxChannelName - std::min(number.size(), kMaxChannelName)) + number;
}

AsioBufferLimits PortAudioDriver::bufferLimits() const
{
    // Any power of two the analyser accepts, preferring the size it starts with.
    constexpr SettingRange<int> frames = audio_settings::bufferFrames;
    return {frames.min, frames.max, frames.initial, -1};
}

bool PortAudioDriver::supportsRate(ASIOSampleRate rate) const
{
    const PaStreamParameters params{m_device, 1, paFloat32, m_latency, nullptr};
    return Pa_IsFormatSupported(nullptr, &params, rate) == paFormatIsSupported;
}

bool PortAudioDriver::startStream()
{
    // The stream carries every channel up to the highest one in use; the others play silence.
    m_streamChannels = 0;
    for (const Output& output : outputs())
        m_streamChannels = std::max(m_streamChannels, output.channel + 1);
    const PaStreamParameters params{m_device, m_streamChannels, paFloat32, m_latency, nullptr};
    m_half = 0;
    PaError status = Pa_OpenStream(&m_stream, nullptr, &params, sampleRate(), static_cast<unsigned long>(bufferFrames()),
                                   paNoFlag, &PortAudioDriver::streamCallback, this);
    if (status == paNoError) {
        status = Pa_StartStream(m_stream);
        if (status != paNoError) {
            Pa_CloseStream(m_stream);
            m_stream = nullptr;
        }
    }
    if (status != paNoError) {
        m_stream = nullptr;
        setErrorText(Pa_GetErrorText(status));
        return false;
    }
    return true;
}

void PortAudioDriver::stopStream()
{
    if (m_stream == nullptr)
        return;
    Pa_StopStream(m_stream);
    Pa_CloseStream(m_stream);
    m_stream = nullptr;
}

int PortAudioDriver::streamCallback(const void*, void* output, unsigned long frameCount,
                                    const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* self)
{
    static_cast<PortAudioDriver*>(self)->play(static_cast<float*>(output), frameCount);
    return paContinue;
}

void PortAudioDriver::play(float* out, unsigned long frameCount)
{
    const auto channels = static_cast<std::size_t>(m_streamChannels);
    std::fill(out, out + frameCount * channels, 0.0f);
    // PortAudio hands over exactly the buffer size the stream was opened with.
    if (frameCount != static_cast<unsigned long>(bufferFrames()))
        return;
    switchBuffers(m_half);
    for (const Output& output : outputs()) {
        const auto* in = reinterpret_cast<const float*>(output.halves[m_half].data());
        float* at = out + output.channel;
        for (unsigned long i = 0; i < frameCount; ++i)
            at[i * channels] = in[i];
    }
    m_half ^= 1;
}

ASIO_DRIVER_EXPORT ASIOError asioCreateDriver(const AsioClassId* classId, const char* entryPath, IASIO** object)
{
    return createAsioDriver<PortAudioDriver>(kPortAudioDriverClassId, classId, entryPath, object);
}
static_assert(std::is_same_v<decltype(&asioCreateDriver), AsioDriverFactory>);
