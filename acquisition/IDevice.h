#pragma once

#include <cstdint>
#include <string>
#include <vector>

// IQ samples per transfer of a receiver that does not say.
constexpr uint32_t kDefaultSamplesPerTransfer = 4096;

// The receiver as the controller and the RX thread see it.
class IDevice {
public:
    virtual ~IDevice() = default;

    // True when a receiver is ready; may throw std::runtime_error with a text for the user.
    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool startStreaming() = 0;
    virtual void stopStreaming() = 0;
    // True: buffer holds exactly lengthBytes of IQ samples. False: nothing was delivered.
    virtual bool readSamples(uint8_t* buffer, uint32_t lengthBytes) = 0;
    virtual void setCenterFrequency(uint64_t hz) = 0;
    virtual void setSampleRate(uint32_t hz) = 0;
    virtual void setPort(uint8_t port) = 0;
    virtual void setAttenuation(uint8_t db) = 0;
    virtual void setPreamp(uint8_t db) = 0;
    virtual void setIfGain(uint8_t db) = 0;
    virtual void selectDevice(const std::string& id) = 0;
    virtual std::vector<std::string> listDevices() = 0;
    virtual void setChannel(int32_t channel) = 0;
    virtual int32_t integerQuery() = 0;
    // 0 when the device runs at the requested rate.
    virtual int32_t actualSampleRate() = 0;
    virtual uint32_t samplesPerTransfer() = 0;
    virtual std::string deviceName() = 0;
    virtual std::string serialNumber() = 0;
};
