#pragma once

#include "acquisition/IDevice.h"

#include <memory>
#include <string>
#include <vector>

class SharedLibrary;
struct RzSdrApi;
struct RzSdrDevice;

// The RZ640 receiver through its vendor SDK, which is loaded at the first open and kept
// loaded until the driver is destroyed.
class RZ640Device : public IDevice {
public:
    // File name of the SDK library on this platform.
    static std::string sdkFileName();

    // Where the SDK is sought, in order: the bare name, then beside the executable and in the
    // api folders around it. An empty or separator-less path gives the bare name only.
    static std::vector<std::string> sdkCandidates(const std::string& executablePath);

    // Searches the default candidates for the running executable.
    RZ640Device();
    // Searches the given candidates instead (tests hand in their own SDK builds).
    explicit RZ640Device(std::vector<std::string> candidates);
    ~RZ640Device() override;

    RZ640Device(const RZ640Device&) = delete;
    RZ640Device& operator=(const RZ640Device&) = delete;

    bool open() override;
    void close() override;
    bool startStreaming() override;
    void stopStreaming() override;
    bool readSamples(uint8_t* buffer, uint32_t lengthBytes) override;
    void setCenterFrequency(uint64_t hz) override;
    void setSampleRate(uint32_t hz) override;
    void setPort(uint8_t port) override;
    void setAttenuation(uint8_t db) override;
    void setPreamp(uint8_t db) override;
    void setIfGain(uint8_t db) override;
    void selectDevice(const std::string& id) override;
    std::vector<std::string> listDevices() override;
    void setChannel(int32_t channel) override;
    int32_t integerQuery() override;
    int32_t actualSampleRate() override;
    uint32_t samplesPerTransfer() override;
    std::string deviceName() override;
    std::string serialNumber() override;

private:
    void loadSdk();
    bool ready() const { return m_api != nullptr && m_device != nullptr; }

    std::unique_ptr<SharedLibrary> m_library;
    RzSdrApi* m_api = nullptr;
    RzSdrDevice* m_device = nullptr;
    std::vector<std::string> m_candidates;
};
