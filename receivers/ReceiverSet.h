#pragma once

#include "acquisition/IDevice.h"

#include <memory>

// Every receiver the analyser drives, behind the one device the controller holds: the RZ640
// through its own driver and everything else through SoapySDR. The selection picks the driver
// at the next open; until then (and while one is open) calls go to the one opened last.
class ReceiverSet : public IDevice {
public:
    ReceiverSet(std::unique_ptr<IDevice> rz640, std::unique_ptr<IDevice> soapy);

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
    // The RZ640's identifiers first (so that "Auto" keeps choosing it), then the other receivers
    // of the last enumeration.
    std::vector<std::string> listDevices() override;
    void setChannel(int32_t channel) override;
    int32_t integerQuery() override { return m_active->integerQuery(); }
    int32_t actualSampleRate() override { return m_active->actualSampleRate(); }
    uint32_t samplesPerTransfer() override { return m_active->samplesPerTransfer(); }
    std::string deviceName() override { return m_active->deviceName(); }
    std::string serialNumber() override { return m_active->serialNumber(); }

    std::vector<DeviceListing> enumerate() override;
    FrontEndInfo frontEnd() override { return m_active->frontEnd(); }
    // Only the SoapySDR receivers name their front end: choices made (or restored) while the
    // RZ640 is open wait there for the next of them.
    void setGain(const std::string& element, double db) override { m_soapy->setGain(element, db); }
    void setAutomaticGain(bool on) override { m_soapy->setAutomaticGain(on); }
    void setAntenna(const std::string& name) override { m_soapy->setAntenna(name); }
    void setFrequencyCorrection(double ppm) override { m_soapy->setFrequencyCorrection(ppm); }
    FrontEndChoices frontEndChoices() override { return m_soapy->frontEndChoices(); }
    ReceiverLoss takeLoss() override { return m_active->takeLoss(); }

private:
    bool isRz640(const std::string& id);

    std::unique_ptr<IDevice> m_rz640;
    std::unique_ptr<IDevice> m_soapy;
    IDevice* m_selected;
    IDevice* m_active;
};
