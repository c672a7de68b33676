#include "app/RtsaController.h"

#include "acquisition/RZ640Device.h"
#include "display/SpectrumItem.h"
#include "engine/RbwRule.h"

#include <algorithm>
#include <cmath>

namespace {

// Stores value unless it is within tolerance of the current one; true when it stored.
// NaN is never stored: a setting that is not a number would poison every later comparison.
template <typename T>
bool storeIfChanged(std::atomic<T>& member, T value, double tolerance)
{
    if (std::isnan(static_cast<double>(value)) ||
        std::abs(static_cast<double>(value) - static_cast<double>(member.load())) < tolerance)
        return false;
    member.store(value);
    return true;
}

template <typename T>
bool storeIfDifferent(std::atomic<T>& member, T value)
{
    if (member.load() == value)
        return false;
    member.store(value);
    return true;
}

// The common setter: store when changed beyond the tolerance (exact for integers), then notify.
template <typename T>
void update(RtsaController* controller, std::atomic<T>& member, T value, double tolerance,
            void (RtsaController::*changed)())
{
    if (tolerance > 0.0 ? storeIfChanged(member, value, tolerance) : storeIfDifferent(member, value))
        emit (controller->*changed)();
}

// std::clamp keeps NaN; the setters above drop it.
double clampTo(double v, double lo, double hi)
{
    return std::isnan(v) ? v : std::clamp(v, lo, hi);
}

} // namespace

RtsaController::RtsaController(QObject* parent)
    : RtsaController([] { return std::make_unique<RZ640Device>(); }, parent)
{
}

RtsaController::RtsaController(const DeviceFactory& makeDevice, QObject* parent) : QObject(parent)
{
    // No SDK is loaded yet: that waits for the first connect.
    m_device = makeDevice();
    m_deviceWorker = std::make_unique<DeviceWorker>([this](const ApplyRequest& request) { retune(request); });
}

RtsaController::~RtsaController()
{
    stopRx();
    // Joins the worker; a request still pending is dropped.
    m_deviceWorker.reset();
    // Also stops a run the worker restarted just before it ended.
    disconnectDevice();
}

QObject* RtsaController::spectrumItem() const
{
    return guardedSpectrumItem().data();
}

QPointer<SpectrumItem> RtsaController::guardedSpectrumItem() const
{
    std::lock_guard lock(m_spectrumItemMutex);
    return m_spectrumItem;
}

void RtsaController::setSpectrumItem(QObject* item)
{
    {
        std::lock_guard lock(m_spectrumItemMutex);
        if (item == m_spectrumItem.data())
            return;
        m_spectrumItem = qobject_cast<SpectrumItem*>(item);
    }
    if (const QPointer<SpectrumItem> live = guardedSpectrumItem())
        live->setDensityEnabled(densityEnabled());
    emit spectrumItemChanged();
}

void RtsaController::changeFftSize(int n)
{
    // A retune on the worker must not restart acquisition between the stop and the new size.
    const std::lock_guard lock(m_deviceMutex);
    const bool wasRunning = running();
    if (wasRunning)
        stopRx();
    m_fftSize = n;
    m_spectrum.setFftSize(static_cast<std::size_t>(n));
    emit fftSizeChanged();
    if (wasRunning)
        startRx(true);
}

void RtsaController::setFftSize(int size)
{
    if (size <= 0 || size == fftSize())
        return;
    changeFftSize(size);
}

void RtsaController::setWindowType(int type)
{
    type = std::clamp(type, 0, 2);
    if (type == windowType())
        return;
    m_windowType = type;
    m_spectrum.setWindowType(type);
    emit windowTypeChanged();
}

void RtsaController::setVbwAlpha(double alpha)
{
    if (!storeIfChanged(m_vbwAlpha, static_cast<float>(clampTo(alpha, 0.0, 1.0)), 1e-6))
        return;
    m_vbwHz = 0.0;
    emit vbwHzChanged();
    emit vbwAlphaChanged();
}

void RtsaController::setVbwHz(double hz)
{
    update(this, m_vbwHz, std::max(hz, 0.0), 1e-9, &RtsaController::vbwHzChanged);
}

void RtsaController::setRbwTargetHz(double hz)
{
    if (std::isnan(hz))
        return;
    if (hz <= 0.0) {
        m_rbwTargetHz = 0.0;
        emit rbwTargetHzChanged();
        return;
    }
    if (std::abs(m_rbwTargetHz - hz) < 1e-9)
        return;
    applyRbwTarget(hz);
    emit rbwTargetHzChanged();
}

void RtsaController::applyRbwTarget(double hz)
{
    const RbwChoice choice =
        chooseFftSizeForRbw(hz, static_cast<double>(m_sampleRateHz.load()), windowType(), m_minFftSize, m_maxFftSize);
    if (choice.clamped)
        emit logMessage(QStringLiteral("RBW target too low, clamped to %1 kHz").arg(choice.finestHz / 1000.0, 0, 'f', 3));
    m_rbwTargetHz = choice.targetHz;
    if (choice.fftSize > 0 && choice.fftSize != static_cast<uint64_t>(fftSize()))
        changeFftSize(static_cast<int>(choice.fftSize));
}

void RtsaController::setMaxFps(double fps)
{
    update(this, m_maxFps, fps <= 0.0 ? 1.0 : fps, 1e-6, &RtsaController::maxFpsChanged);
}

void RtsaController::setDetectorMode(int mode)
{
    update(this, m_detectorMode, std::clamp(mode, 0, 4), 0.0, &RtsaController::detectorModeChanged);
}

void RtsaController::setDetectorWindow(int window)
{
    update(this, m_detectorWindow, std::clamp(window, 1, 1000), 0.0, &RtsaController::detectorWindowChanged);
}

void RtsaController::setDensityEnabled(bool enabled)
{
    if (!storeIfDifferent(m_densityEnabled, enabled))
        return;
    if (const QPointer<SpectrumItem> live = guardedSpectrumItem())
        live->setDensityEnabled(enabled);
    if (!enabled)
        m_spectrum.density().clear();
    emit densityEnabledChanged();
}

void RtsaController::setDensityLevels(int levels)
{
    update(this, m_densityLevels, std::clamp(levels, 16, 1024), 0.0, &RtsaController::densityLevelsChanged);
}

void RtsaController::setDensityWidthBins(int bins)
{
    if (!storeIfDifferent(m_densityWidthBins, std::clamp(bins, 128, 2048)))
        return;
    m_spectrum.density().clear();
    emit densityWidthBinsChanged();
}

void RtsaController::setDensityFps(double fps)
{
    update(this, m_densityFps, clampTo(fps, 1.0, 60.0), 1e-6, &RtsaController::densityFpsChanged);
}

void RtsaController::setDensityTau(double tau)
{
    update(this, m_densityTau, clampTo(tau, 0.05, 10.0), 1e-6, &RtsaController::densityTauChanged);
}

void RtsaController::setDensityHitGain(double gain)
{
    update(this, m_densityHitGain, clampTo(gain, 0.1, 10.0), 1e-6, &RtsaController::densityHitGainChanged);
}

void RtsaController::setDensityGamma(double gamma)
{
    update(this, m_densityGamma, clampTo(gamma, 0.1, 2.0), 1e-6, &RtsaController::densityGammaChanged);
}

void RtsaController::setDensityMax(double max)
{
    update(this, m_densityMax, clampTo(max, 1.0, 200.0), 1e-6, &RtsaController::densityMaxChanged);
}

void RtsaController::setDensityMinDb(double db)
{
    update(this, m_densityMinDb, db, 1e-6, &RtsaController::densityMinDbChanged);
}

void RtsaController::setDensityMaxDb(double db)
{
    update(this, m_densityMaxDb, db, 1e-6, &RtsaController::densityMaxDbChanged);
}

void RtsaController::setPeakLineWindowSec(double seconds)
{
    update(this, m_peakLineWindowSec, clampTo(seconds, 0.0, 60.0), 1e-6, &RtsaController::peakLineWindowSecChanged);
}

void RtsaController::setWaterfallEnabled(bool enabled)
{
    update(this, m_waterfallEnabled, enabled, 0.0, &RtsaController::waterfallEnabledChanged);
}

void RtsaController::setWaterfallLines(int lines)
{
    update(this, m_waterfallLines, std::clamp(lines, 1, 1200), 0.0, &RtsaController::waterfallLinesChanged);
}

void RtsaController::setWaterfallFps(double fps)
{
    update(this, m_waterfallFps, clampTo(fps, 1.0, 120.0), 1e-6, &RtsaController::waterfallFpsChanged);
}

void RtsaController::setWaterfallPaletteId(int id)
{
    update(this, m_waterfallPaletteId, std::clamp(id, 0, 1), 0.0, &RtsaController::waterfallPaletteIdChanged);
}

void RtsaController::clearDensity()
{
    m_spectrum.density().clear();
}

void RtsaController::clearPeakLine()
{
    m_spectrum.peakLine().clear();
}

double RtsaController::getPeakFreq() const
{
    return m_spectrum.peakReadout().values().peakFreqHz;
}

double RtsaController::getPeakValue() const
{
    return m_spectrum.peakReadout().values().peakValueDb;
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
