#pragma once

#include "drivers/asio-common/AsioDriverBase.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class AsioRegistryEntry;
class WavFileFeed;

// An ASIO driver for machines without sound: it writes what each output channel plays into a
// WAV file (file channel k = output k), paced in real time by a thread of its own; another one
// writes the file. Each start writes the file anew. Settings come from its registry entry:
//   file       = path of the WAV file (relative to the working folder)
//   sampletype = int16 | int24 | int32 | float32 | float64 (the buffers' and the file's format)
//   channels   = number of outputs (default 2)
class WavDriver final : public AsioDriverBase {
public:
    explicit WavDriver(const AsioRegistryEntry& entry);
    ~WavDriver() override;

    // Reports the settings on standard error.
    ASIOError controlPanel() override;

protected:
    bool openDevice(std::string& error) override;
    int32_t outputCount() const override { return m_channels; }
    std::string outputName(int32_t channel) const override;
    ASIOSampleType outputType(int32_t) const override { return m_sampleType; }
    AsioBufferLimits bufferLimits() const override;
    bool supportsRate(ASIOSampleRate rate) const override;
    bool startStream() override;
    void stopStream() override;

private:
    void run();
    void interleave(int32_t half);

    const std::string m_entryFile;
    const std::string m_path;
    const std::string m_sampleTypeText;
    const ASIOSampleType m_sampleType;
    const int32_t m_channels;
    std::unique_ptr<WavFileFeed> m_feed;
    std::vector<unsigned char> m_interleaved;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
};
