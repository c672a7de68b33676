#pragma once

#include "audio/AsioDriverInterface.h"
#include "audio/AsioDriverList.h"
#include "audio/AsioLog.h"
#include "audio/AudioBackend.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Audio output through an installed ASIO driver. The driver calls the buffer switch from its
// own thread once per buffer half; the handler reads each active output's bus slot (or makes
// the test tone) and converts it into the driver's sample type.
//
// Every operation that loads, uses or releases a driver (the queries, the control panel, open,
// close) holds the process-wide asioHostMutex() from start to end, so they never overlap, from
// whichever threads they come, and a caller may hold a mutex of its own around any of them.
// The buffer switch takes no lock; it meets close through the open and stopping flags and the
// current-backend pointer.
class AsioBackend final : public AudioBackend {
public:
    explicit AsioBackend(std::vector<std::filesystem::path> registryFolders = AsioDriverList::defaultFolders(),
                         AsioLogSink log = asioLogToStderr);
    ~AsioBackend() override;
    AsioBackend(const AsioBackend&) = delete;
    AsioBackend& operator=(const AsioBackend&) = delete;

    std::vector<std::string> deviceNames() override;
    BufferSizeInfo bufferSizeInfo(const std::string& deviceName, int sampleRate) override;
    std::vector<OutputChannelInfo> outputChannels(const std::string& deviceName) override;
    void setOutputChannel(int channel) override { m_defaultOutputChannel = channel; }
    int outputChannel() const override { return m_defaultOutputChannel; }
    bool open(const std::string& deviceName, int sampleRate, int bufferFrames, AudioBus* bus,
              const std::vector<int>& channelMap, std::atomic<uint64_t>* underrunCounter) override;
    void close() override;
    bool isOpen() const override { return m_isOpenFlag; }
    int sampleRate() const override { return m_rate; }
    int bufferFrames() const override { return m_frames; }
    void setTestTone(bool on) override { m_testToneOn = on; }
    bool testTone() const override { return m_testToneOn; }
    bool showControlPanel(const std::string& deviceName) override;

private:
    enum class TemporaryLoad { Loaded, LoadFailed, InitFailed };

    // The record ASIOInit gets: interface version 2 and the first 31 characters of the name.
    static ASIODriverInfo driverInfoFor(const std::string& name);

    bool openLocked(const std::string& name, int sampleRate, int bufferFrames, AudioBus* bus,
                    const std::vector<int>& channelMap, std::atomic<uint64_t>* underrunCounter);
    void closeLocked();
    void unloadBeforeOpen(const std::string& name);
    bool mapChannels(const std::vector<int>& channelMap, int32_t outputCount);
    int32_t negotiateBufferSize(int32_t requested, int32_t minSize, int32_t maxSize, int32_t granularity);
    bool readSampleType();
    void zeroOutputBuffers();
    // Loads and initialises the named driver through a list of its own, runs use() and releases it.
    template <class Use>
    TemporaryLoad withTemporaryDriver(const std::string& name, Use&& use);

    template <class... Parts>
    void log(AsioLogLevel level, const Parts&... parts) const
    {
        m_log(level, asioLogLine(parts...));
    }

    // The driver's callbacks carry no context: they reach the backend through the current one.
    static void bufferSwitchCallback(int32_t doubleBufferIndex, ASIOBool directProcess);
    static ASIOTime* bufferSwitchTimeInfoCallback(ASIOTime* params, int32_t doubleBufferIndex, ASIOBool directProcess);
    static void sampleRateDidChangeCallback(ASIOSampleRate rate);
    static int32_t asioMessageCallback(int32_t selector, int32_t value, void* message, double* opt);
    void onBufferSwitch(int32_t half);
    void fillTone();
    void fillOutput(void* buffer, int32_t channel, bool tone);

    static std::atomic<AsioBackend*> s_currentBackend;

    const std::vector<std::filesystem::path> m_registryFolders;
    const AsioLogSink m_log;

    AudioBus* m_bus = nullptr;
    std::atomic<uint64_t>* m_underrunCounter = nullptr;
    std::atomic<bool> m_isOpenFlag{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<int32_t> m_rate{48000};
    std::atomic<int32_t> m_frames{0};
    int32_t m_activeCount = 0;
    std::atomic<int32_t> m_defaultOutputChannel{0};
    ASIOSampleType m_sampleType = 0;
    int32_t m_bytesPerSample = 0;
    ASIODriverInfo m_driverInfo{};
    std::vector<ASIOBufferInfo> m_bufferInfos;
    std::vector<ASIOChannelInfo> m_channelInfos;
    ASIOCallbacks m_callbacks{};
    std::unique_ptr<AsioDriverList> m_driverList;
    std::vector<float> m_scratch;
    std::vector<int32_t> m_channelMap;
    std::vector<int32_t> m_activeOutputs;
    std::string m_loadedDriverName;
    bool m_driverLoaded = false;
    std::atomic<bool> m_testToneOn{false};
    float m_tonePhase = 0.0f;
};
