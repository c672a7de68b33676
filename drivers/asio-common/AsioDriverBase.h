#pragma once

#include "audio/AsioDriverInterface.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct AsioBufferLimits {
    int32_t minSize;
    int32_t maxSize;
    int32_t preferredSize;
    int32_t granularity; // a step in frames, or -1 for powers of two
};

// What every driver we ship shares, whatever its audio goes to: the sequence
// init → createBuffers → start → stop → disposeBuffers, the output channels and their double
// buffers, the sample rate and the host's callbacks. A driver supplies its device through the
// hooks and, between startStream and stopStream, calls switchBuffers from its own thread once
// per buffer period, then plays the half the host has just filled. Output-only.
//
// Host calls come from one thread at a time; the stream thread only reads the buffers.
class AsioDriverBase : public IASIO {
public:
    ASIOBool init(void* sysRef) override;
    void getDriverName(char* name) override;
    int32_t getDriverVersion() override;
    void getErrorMessage(char* text) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) override;
    ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate rate) override;
    ASIOError getSampleRate(ASIOSampleRate* rate) override;
    ASIOError setSampleRate(ASIOSampleRate rate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) override;
    ASIOError setClockSource(int32_t reference) override;
    ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError future(int32_t selector, void* opt) override;
    ASIOError outputReady() override;

protected:
    // One created output: its channel number and its two buffer halves.
    struct Output {
        int32_t channel;
        std::vector<unsigned char> halves[2];
    };

    AsioDriverBase(std::string name, int32_t version);
    // A driver's destructor calls this while its own members still exist.
    void shutdown();

    // Opens the device behind the driver; false with a reason when it is not usable.
    virtual bool openDevice(std::string& error) = 0;
    virtual int32_t outputCount() const = 0;
    virtual std::string outputName(int32_t channel) const = 0;
    virtual ASIOSampleType outputType(int32_t channel) const = 0;
    virtual AsioBufferLimits bufferLimits() const = 0;
    virtual bool supportsRate(ASIOSampleRate rate) const = 0;
    // Begins calling switchBuffers; false with a reason in errorText() when it cannot.
    virtual bool startStream() = 0;
    // Returns once the last switchBuffers has returned.
    virtual void stopStream() = 0;

    // Sizes createBuffers takes: within the limits and on their granularity, whose steps count
    // from the minimum.
    virtual bool acceptsBufferSize(int32_t frames) const;

    // Asks the host to fill buffer half 0 or 1; the driver then plays that half.
    void switchBuffers(int32_t half);
    const std::vector<Output>& outputs() const { return m_outputs; }
    int32_t bufferFrames() const { return m_bufferFrames; }
    ASIOSampleRate sampleRate() const { return m_sampleRate; }
    int bytesPerSample(int32_t channel) const;
    void setErrorText(std::string text) { m_errorText = std::move(text); }
    const std::string& errorText() const { return m_errorText; }

private:
    enum class State { Loaded, Initialized, Prepared, Running };

    void stopRunning();
    void releaseBuffers();

    const std::string m_name;
    const int32_t m_version;
    std::string m_errorText;
    State m_state = State::Loaded;
    ASIOSampleRate m_sampleRate = 48000.0;
    int32_t m_bufferFrames = 0;
    ASIOCallbacks* m_callbacks = nullptr;
    std::vector<Output> m_outputs;
    std::atomic<int64_t> m_samplePosition{0};
    std::atomic<int64_t> m_switchTimeNs{0};
};
