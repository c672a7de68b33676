#pragma once

#include "app/ApplyRequest.h"
#include "app/DeviceWorker.h"
#include "demod/StatusCallback.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class SpectrumItem;

// The one object the user interface talks to (published to QML as "rtsa"). It owns the whole
// signal chain and its threads; everything user-facing comes back through its properties and
// the logMessage line channel.
class RtsaController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* spectrumItem READ spectrumItem WRITE setSpectrumItem NOTIFY spectrumItemChanged)

public:
    explicit RtsaController(QObject* parent = nullptr);
    ~RtsaController() override;

    QObject* spectrumItem() const;
    void setSpectrumItem(QObject* item);

    // Queues a retune for the device worker; a newer request replaces one not yet started.
    void postApplyRequest(const ApplyRequest& request);

    // What the demodulation channel calls with a status line, from any thread: the line is
    // emitted as logMessage in the controller's own thread.
    StatusCallback statusCallback();

signals:
    void spectrumItemChanged();
    void centerFreqChanged(double freqMHz);
    void logMessage(QString msg);

private:
    void apply(const ApplyRequest& request);

    QPointer<SpectrumItem> m_spectrumItem;

    // Last applied receiver settings, as sent to the device.
    std::atomic<uint64_t> m_centerHz{1'000'000'000};
    std::atomic<uint32_t> m_sampleRateHz{20'000'000};
    uint8_t m_port = 0;
    uint8_t m_att = 0;
    uint8_t m_preamp = 0;
    uint8_t m_ifgain = 0;

    // Last member: its thread must be gone before anything it touches is destroyed.
    std::unique_ptr<DeviceWorker> m_deviceWorker;
};
