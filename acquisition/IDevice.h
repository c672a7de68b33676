#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// IQ samples per transfer of a receiver that does not say.
constexpr uint32_t kDefaultSamplesPerTransfer = 4096;

// One receiver a driver can open: what the user reads, and the identifier selectDevice takes.
struct DeviceListing {
    std::string label;
    std::string args;
};

// A gain stage of a receiver that names its own (dB).
struct GainElement {
    std::string name;
    double minDb = 0.0;
    double maxDb = 0.0;
    double stepDb = 0.0;
    double valueDb = 0.0;
};

// Sample rates a receiver accepts: from minHz to maxHz (one rate when equal), every rate or,
// with a step, minHz plus whole steps.
struct RateRange {
    double minHz = 0.0;
    double maxHz = 0.0;
    double stepHz = 0.0;
};

// What of its front end an open receiver lets the user set besides centre and rate.
struct FrontEndInfo {
    // "RZ640": the port, attenuator, preamp and IF gain of the RZ640; otherwise the rest below.
    std::string backend = "RZ640";
    // Empty: every rate.
    std::vector<RateRange> rates;
    std::vector<GainElement> gains;
    bool hasAutomaticGain = false;
    bool automaticGain = false;
    std::vector<std::string> antennas;
    std::string antenna;
    bool hasFrequencyCorrection = false;
    double frequencyCorrectionPpm = 0.0;
};

// What the user set of a receiver's named front end; applied again at every open, so it reaches
// the next receiver opened and, kept between runs, the next session.
struct FrontEndChoices {
    std::map<std::string, double> gainsDb;
    std::optional<bool> automaticGain;
    std::string antenna;
    std::optional<double> frequencyCorrectionPpm;
};

// Samples the receiver itself lost before they reached the host.
struct ReceiverLoss {
    // Overflows the receiver reported.
    uint64_t overflows = 0;
    // Samples known to be missing (from the stream's time stamps), and samples that arrived in
    // a block that could not be completed.
    uint64_t samples = 0;
};

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
    // 0 when the device is tuned where it was asked; a recording tells its own.
    virtual uint64_t actualCenterFrequency() { return 0; }
    virtual uint32_t samplesPerTransfer() = 0;
    virtual std::string deviceName() = 0;
    virtual std::string serialNumber() = 0;

    // Every receiver the driver can reach now; may take seconds (a search of the network) and
    // may run on any thread, beside the other calls. Afterwards listDevices offers the same.
    virtual std::vector<DeviceListing> enumerate()
    {
        std::vector<DeviceListing> listings;
        for (const std::string& id : listDevices())
            listings.push_back({id, id});
        return listings;
    }
    // The front end of the open receiver (the RZ640's when none is open).
    virtual FrontEndInfo frontEnd() { return {}; }
    virtual void setGain(const std::string& /*element*/, double /*db*/) {}
    virtual void setAutomaticGain(bool /*on*/) {}
    virtual void setAntenna(const std::string& /*name*/) {}
    virtual void setFrequencyCorrection(double /*ppm*/) {}
    virtual FrontEndChoices frontEndChoices() { return {}; }
    // What the receiver lost since the last call; called by the reading thread only.
    virtual ReceiverLoss takeLoss() { return {}; }
};
