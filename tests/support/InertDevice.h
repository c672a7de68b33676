#pragma once

#include "acquisition/IDevice.h"

#include <string>
#include <vector>

// A receiver that opens, streams and tunes without doing anything and delivers nothing: tests
// derive from it and script only the calls they are about.
class InertDevice : public IDevice {
public:
    bool open() override { return true; }
    void close() override {}
    bool startStreaming() override { return true; }
    void stopStreaming() override {}
    bool readSamples(uint8_t*, uint32_t) override { return false; }
    void setCenterFrequency(uint64_t) override {}
    void setSampleRate(uint32_t) override {}
    void setPort(uint8_t) override {}
    void setAttenuation(uint8_t) override {}
    void setPreamp(uint8_t) override {}
    void setIfGain(uint8_t) override {}
    void selectDevice(const std::string&) override {}
    std::vector<std::string> listDevices() override { return {}; }
    void setChannel(int32_t) override {}
    int32_t integerQuery() override { return 0; }
    int32_t actualSampleRate() override { return 0; }
    uint32_t samplesPerTransfer() override { return 4096; }
    std::string deviceName() override { return {}; }
    std::string serialNumber() override { return {}; }
};
