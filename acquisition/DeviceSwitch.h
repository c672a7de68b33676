#pragma once

#include "acquisition/IDevice.h"

// Several receivers behind the one device the controller holds. The selection takes effect at
// the next open; until then (and while one is open) every call goes to the one opened last.
// Subclasses decide what a device id selects and which calls belong to one receiver whatever
// is open.
class DeviceSwitch : public IDevice {
public:
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
    int32_t integerQuery() override { return m_active->integerQuery(); }
    int32_t actualSampleRate() override { return m_active->actualSampleRate(); }
    uint64_t actualCenterFrequency() override { return m_active->actualCenterFrequency(); }
    uint32_t samplesPerTransfer() override { return m_active->samplesPerTransfer(); }
    std::string deviceName() override { return m_active->deviceName(); }
    std::string serialNumber() override { return m_active->serialNumber(); }
    FrontEndInfo frontEnd() override { return m_active->frontEnd(); }
    ReceiverLoss takeLoss() override { return m_active->takeLoss(); }

protected:
    // The first receiver is selected and active until another is selected and opened.
    explicit DeviceSwitch(IDevice& first) : m_selected(&first), m_active(&first) {}
    void select(IDevice& device) { m_selected = &device; }

private:
    IDevice* m_selected;
    IDevice* m_active;
};
