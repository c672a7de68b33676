#pragma once

#include "acquisition/DeviceSwitch.h"
#include "playback/PlaybackDevice.h"

#include <memory>

// The live receivers and the recording side by side behind the controller's one device:
// "Recording…" in the device list chooses the recording at the next open, anything else the
// live receivers.
class PlaybackSwitch : public DeviceSwitch {
public:
    // The recording's device outlives the switch.
    PlaybackSwitch(std::unique_ptr<IDevice> live, PlaybackDevice& playback);

    void selectDevice(const std::string& id) override;
    // The live receivers only: "Auto" picks the first of these, and a recording is never
    // picked for the user. The search (enumerate) offers the recording after them.
    std::vector<std::string> listDevices() override { return m_live->listDevices(); }
    void setChannel(int32_t channel) override { m_live->setChannel(channel); }
    std::vector<DeviceListing> enumerate() override;
    // Front-end choices belong to the live receivers, also while a recording plays.
    void setGain(const std::string& element, double db) override { m_live->setGain(element, db); }
    void setAutomaticGain(bool on) override { m_live->setAutomaticGain(on); }
    void setAntenna(const std::string& name) override { m_live->setAntenna(name); }
    void setFrequencyCorrection(double ppm) override { m_live->setFrequencyCorrection(ppm); }
    FrontEndChoices frontEndChoices() override { return m_live->frontEndChoices(); }

private:
    std::unique_ptr<IDevice> m_live;
    PlaybackDevice& m_playback;
};
