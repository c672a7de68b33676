#pragma once

#include "acquisition/DeviceSwitch.h"

#include <memory>

// Every receiver the analyser drives, behind the one device the controller holds: the RZ640
// through its own driver and everything else through SoapySDR.
class ReceiverSet : public DeviceSwitch {
public:
    ReceiverSet(std::unique_ptr<IDevice> rz640, std::unique_ptr<IDevice> soapy);

    void selectDevice(const std::string& id) override;
    // The RZ640's identifiers first (so that "Auto" keeps choosing it), then the other receivers
    // of the last enumeration.
    std::vector<std::string> listDevices() override;
    void setChannel(int32_t channel) override;
    std::vector<DeviceListing> enumerate() override;
    // Only the SoapySDR receivers name their front end: choices made (or restored) while the
    // RZ640 is open wait there for the next of them.
    void setGain(const std::string& element, double db) override { m_soapy->setGain(element, db); }
    void setAutomaticGain(bool on) override { m_soapy->setAutomaticGain(on); }
    void setAntenna(const std::string& name) override { m_soapy->setAntenna(name); }
    void setFrequencyCorrection(double ppm) override { m_soapy->setFrequencyCorrection(ppm); }
    FrontEndChoices frontEndChoices() override { return m_soapy->frontEndChoices(); }

private:
    bool isRz640(const std::string& id);

    std::unique_ptr<IDevice> m_rz640;
    std::unique_ptr<IDevice> m_soapy;
};
