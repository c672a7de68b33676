#pragma once

#include "drivers/asio-common/AsioDriverBase.h"

#include <portaudio.h>

#include <string>

class AsioRegistryEntry;

// An ASIO driver that plays to the system's audio output through PortAudio: float32 outputs,
// one per output channel of the device, buffers of 64 to 4096 frames in powers of two.
// PortAudio's callback thread drives the buffer switch and copies the half just filled out.
// Settings come from its registry entry:
//   device = PortAudio device name to play to (default: the system's default output)
class PortAudioDriver final : public AsioDriverBase {
public:
    explicit PortAudioDriver(const AsioRegistryEntry& entry);
    ~PortAudioDriver() override;

    // Reports the device on standard error.
    ASIOError controlPanel() override;

protected:
    bool openDevice(std::string& error) override;
    int32_t outputCount() const override { return m_outputCount; }
    std::string outputName(int32_t channel) const override;
    ASIOSampleType outputType(int32_t) const override { return ASIOSTFloat32LSB; }
    AsioBufferLimits bufferLimits() const override;
    bool supportsRate(ASIOSampleRate rate) const override;
    bool startStream() override;
    void stopStream() override;

private:
    static int streamCallback(const void* input, void* output, unsigned long frameCount,
                              const PaStreamCallbackTimeInfo* timeInfo, PaStreamCallbackFlags flags, void* self);
    void play(float* out, unsigned long frameCount);

    const std::string m_deviceSetting;
    bool m_initialized = false;
    PaDeviceIndex m_device = paNoDevice;
    std::string m_deviceName;
    int32_t m_outputCount = 0;
    PaTime m_latency = 0.0;
    PaStream* m_stream = nullptr;
    int m_streamChannels = 0;
    int32_t m_half = 0;
};
