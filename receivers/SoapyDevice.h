#pragma once

#include "acquisition/IDevice.h"
#include "receivers/IqConversion.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace SoapySDR {
class Device;
class Stream;
} // namespace SoapySDR

// Any receiver SoapySDR reaches, local or across the network (SoapyRemote), opened by the
// arguments of a device list entry. Reads int16 I/Q pairs at the stream's full scale: CS16
// where the receiver streams it, otherwise converted in the reading thread from a buffer made
// at start. Overflows and the samples they cost (from the stream's time stamps) are counted for
// the RX report; a read that does not complete within the timeout fails like any receiver's.
//
// The gains, automatic gain, antenna and frequency correction the user set are kept across a
// close and applied again to the next receiver opened, where it has them.
class SoapyDevice : public IDevice {
public:
    static constexpr const char* kBackend = "SoapySDR";
    // How long one read waits for samples before it reports a timeout.
    static constexpr long kReadTimeoutUs = 100'000;
    static constexpr uint32_t kSamplesPerTransfer = 16384;

    SoapyDevice();
    ~SoapyDevice() override;

    SoapyDevice(const SoapyDevice&) = delete;
    SoapyDevice& operator=(const SoapyDevice&) = delete;

    // Every receiver SoapySDR's modules find now, with the arguments that open it; thread-safe.
    static std::vector<DeviceListing> findAll();

    bool open() override;
    void close() override;
    bool startStreaming() override;
    void stopStreaming() override;
    bool readSamples(uint8_t* buffer, uint32_t lengthBytes) override;
    void setCenterFrequency(uint64_t hz) override;
    void setSampleRate(uint32_t hz) override;
    void setPort(uint8_t) override {}
    void setAttenuation(uint8_t) override {}
    void setPreamp(uint8_t) override {}
    void setIfGain(uint8_t) override {}
    void selectDevice(const std::string& args) override { m_args = args; }
    std::vector<std::string> listDevices() override;
    void setChannel(int32_t channel) override { m_channel = channel; }
    int32_t integerQuery() override { return 0; }
    int32_t actualSampleRate() override { return m_actualRateHz; }
    uint32_t samplesPerTransfer() override { return kSamplesPerTransfer; }
    std::string deviceName() override { return m_name; }
    std::string serialNumber() override { return m_serial; }

    std::vector<DeviceListing> enumerate() override;
    FrontEndInfo frontEnd() override;
    void setGain(const std::string& element, double db) override;
    void setAutomaticGain(bool on) override;
    void setAntenna(const std::string& name) override;
    void setFrequencyCorrection(double ppm) override;
    FrontEndChoices frontEndChoices() override { return m_choices; }
    ReceiverLoss takeLoss() override;

    // The stream format chosen at the last open.
    StreamFormat streamFormat() const { return m_format; }

private:
    struct Unmake {
        void operator()(SoapySDR::Device* device) const;
    };

    // Runs a call into the receiver; false (and nothing else) when it throws, as a receiver
    // across the network does when the link drops.
    template <typename Call>
    bool guarded(Call&& call);
    void readFrontEnd();
    void restoreSettings();
    void closeStream();
    // Adds the samples between the expected and the stamped time of a block to the loss.
    void noteTimeStamp(int flags, long long timeNs, std::size_t pairs);

    std::string m_args;
    int32_t m_channel = 0;
    std::size_t m_streamChannel = 0;
    std::unique_ptr<SoapySDR::Device, Unmake> m_device;
    SoapySDR::Stream* m_stream = nullptr;
    StreamFormat m_format;
    std::vector<uint8_t> m_wire;
    std::string m_name;
    std::string m_serial;
    int32_t m_actualRateHz = 0;
    double m_rateHz = 0.0;
    FrontEndInfo m_frontEnd;

    FrontEndChoices m_choices;

    // stopStreaming waits on it for a read in progress, so the stream is never deactivated
    // under a read.
    std::mutex m_readMutex;
    std::atomic<bool> m_streaming{false};
    long long m_expectedTimeNs = -1;
    std::atomic<uint64_t> m_overflows{0};
    std::atomic<uint64_t> m_lostSamples{0};

    // The listing of the last enumeration, which listDevices offers.
    std::mutex m_listingMutex;
    std::vector<DeviceListing> m_listings;
};
