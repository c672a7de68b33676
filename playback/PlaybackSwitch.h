#pragma once

#include "acquisition/IDevice.h"
#include "playback/PlaybackDevice.h"

#include <memory>

// The live receivers and the recording side by side behind the controller's one device:
// "Recording…" in the device list chooses the recording at the next open, anything else the
// live receivers. Until then (and while one is open) calls go to the one opened last.
class PlaybackSwitch : public IDevice {
public:
    // The recording's device outlives the switch.
    PlaybackSwitch(std::unique_ptr<IDevice> live, PlaybackDevice& playback);

    bool open() override;
    void close() override { m_active->close(); }
    bool startStreaming() override { return m_active->startStreaming(); }
    void stopStreaming() override { m_active->stopStreaming(); }
    bool readSamples(uint8_t* buffer, uint32_t lengthBytes) override { return m_active->readSamples(buffer, lengthBytes); }
    void setCenterFrequency(uint64_t hz) override { m_active->setCenterFrequency(hz); }
    void setSampleRate(uint32_t hz) override { m_active->setSampleRate(hz); }
    void setPort(uint8_t port) override { m_active->setPort(port); }
    void setAttenuation(uint8_t db) override { m_active->setAttenuation(db); }
    void setPreamp(uint8_t db) override { m_active->setPreamp(db); }
    void setIfGain(uint8_t db) override { m_active->setIfGain(db); }
    void selectDevice(const std::string& id) override;
    // The live receivers only: "Auto" picks the first of these, and a recording is never
    // picked for the user. The search (enumerate) offers the recording after them.
    std::vector<std::string> listDevices() override { return m_live->listDevices(); }
    void setChannel(int32_t channel) override { m_live->setChannel(channel); }
    int32_t integerQuery() override { return m_active->integerQuery(); }
    int32_t actualSampleRate() override { return m_active->actualSampleRate(); }
    uint64_t actualCenterFrequency() override { return m_active->actualCenterFrequency(); }
    uint32_t samplesPerTransfer() override { return m_active->samplesPerTransfer(); }
    std::string deviceName() override { return m_active->deviceName(); }
    std::string serialNumber() override { return m_active->serialNumber(); }

    std::vector<DeviceListing> enumerate() override;
    FrontEndInfo frontEnd() override { return m_active->frontEnd(); }
    // Front-end choices belong to the live receivers, also while a recording plays.
    void setGain(const std::string& element, double db) override { m_live->setGain(element, db); }
    void setAutomaticGain(bool on) override { m_live->setAutomaticGain(on); }
    void setAntenna(const std::string& name) override { m_live->setAntenna(name); }
    void setFrequencyCorrection(double ppm) override { m_live->setFrequencyCorrection(ppm); }
    FrontEndChoices frontEndChoices() override { return m_live->frontEndChoices(); }
    ReceiverLoss takeLoss() override { return m_active->takeLoss(); }

private:
    std::unique_ptr<IDevice> m_live;
    PlaybackDevice& m_playback;
    IDevice* m_selected;
    IDevice* m_active;
};
