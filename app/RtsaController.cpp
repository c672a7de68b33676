#include "app/RtsaController.h"

#include "display/SpectrumItem.h"

#include <cmath>
#include <limits>

namespace {

// MHz as typed to whole Hz by truncation; nonsense (negative, NaN, too large) saturates
// instead of wrapping into an arbitrary frequency.
template <typename T>
T megaToWholeHz(double mega)
{
    const double hz = mega * 1e6;
    if (!(hz > 0.0))
        return 0;
    if (hz >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(hz);
}

} // namespace

RtsaController::RtsaController(QObject* parent) : QObject(parent)
{
    m_deviceWorker = std::make_unique<DeviceWorker>([this](const ApplyRequest& request) { apply(request); });
}

RtsaController::~RtsaController()
{
    // Joins the worker; a request still pending is dropped.
    m_deviceWorker.reset();
}

QObject* RtsaController::spectrumItem() const
{
    return m_spectrumItem.data();
}

void RtsaController::setSpectrumItem(QObject* item)
{
    if (item == m_spectrumItem.data())
        return;
    m_spectrumItem = qobject_cast<SpectrumItem*>(item);
    emit spectrumItemChanged();
}

void RtsaController::postApplyRequest(const ApplyRequest& request)
{
    m_deviceWorker->post(request);
}

StatusCallback RtsaController::statusCallback()
{
    return [this](const std::string& line) {
        const QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
        QMetaObject::invokeMethod(this, [this, text] { emit logMessage(text); }, Qt::QueuedConnection);
    };
}

void RtsaController::apply(const ApplyRequest& request)
{
    const uint64_t oldCenterHz = m_centerHz.load();
    m_centerHz = megaToWholeHz<uint64_t>(request.freqMHz);
    m_sampleRateHz = megaToWholeHz<uint32_t>(request.bwMHz);
    m_port = static_cast<uint8_t>(request.port);
    m_att = static_cast<uint8_t>(request.att);
    m_preamp = static_cast<uint8_t>(request.preamp);
    m_ifgain = static_cast<uint8_t>(request.ifgain);
    if (m_centerHz.load() != oldCenterHz)
        emit centerFreqChanged(request.freqMHz);
}
