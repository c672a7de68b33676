#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class AudioBus;

// A driver's buffer size limits in frames; all zero when the query failed. granularity is the
// step between sizes, -1 for powers of two, or 0.
struct BufferSizeInfo {
    int32_t minSize = 0;
    int32_t maxSize = 0;
    int32_t preferredSize = 0;
    int32_t granularity = 0;
};

// One output channel of a driver: its number (from 0) and its name.
struct OutputChannelInfo {
    int32_t index = 0;
    std::string name;
};

// Audio output as the controller drives it: the installed devices and their limits, and one
// stream at a time that plays slots of an audio bus on chosen device outputs.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;

    virtual std::vector<std::string> deviceNames() = 0;
    virtual BufferSizeInfo bufferSizeInfo(const std::string& deviceName, int sampleRate) = 0;
    virtual std::vector<OutputChannelInfo> outputChannels(const std::string& deviceName) = 0;
    // The output that plays bus slot 0 when open() gets an empty channel map.
    virtual void setOutputChannel(int channel) = 0;
    virtual int outputChannel() const = 0;
    // channelMap holds, per device output, the bus slot it plays or -1. underrunCounter (may be
    // null) rises once per output and buffer the bus could not fill. True when playing.
    virtual bool open(const std::string& deviceName, int sampleRate, int bufferFrames, AudioBus* bus,
                      const std::vector<int>& channelMap, std::atomic<uint64_t>* underrunCounter) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual int sampleRate() const = 0;
    virtual int bufferFrames() const = 0;
    // A 1 kHz tone on every output in place of the bus, from the next buffer on.
    virtual void setTestTone(bool on) = 0;
    virtual bool testTone() const = 0;
    virtual bool showControlPanel(const std::string& deviceName) = 0;
};
