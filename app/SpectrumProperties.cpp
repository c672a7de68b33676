// Spectrum settings: FFT size and window, resolution target, video filter, detector, overlap,
// frame rate and peak line, with the intercept time they give, the peak readout and peak-line
// commands.
#include "app/RtsaController.h"

#include "app/InterceptText.h"
#include "app/SettingUpdate.h"
#include "engine/InterceptTime.h"
#include "engine/RbwRule.h"
#include "engine/SpectrumSettingTable.h"

#include <cmath>

using setting::storeIfChanged;
using setting::update;

void RtsaController::changeFftSize(int n)
{
    restartRun([this, n] {
        m_spectrumSettings.fftSize = n;
        m_spectrum.setFftSize(static_cast<std::size_t>(n));
        emit fftSizeChanged();
        // A running receiver gets its settings again for the new run, as at every start.
        if (running())
            apply(currentSettings());
    });
}

void RtsaController::setFftSize(int size)
{
    if (size <= 0 || size == fftSize())
        return;
    changeFftSize(size);
}

void RtsaController::setWindowType(int type)
{
    type = spectrum_settings::windowType.clamp(type);
    if (type == windowType())
        return;
    m_spectrumSettings.windowType = type;
    m_spectrum.setWindowType(type);
    emit windowTypeChanged();
}

void RtsaController::setVbwAlpha(double alpha)
{
    if (!storeIfChanged(m_spectrumSettings.vbwAlpha, static_cast<float>(spectrum_settings::vbwAlpha.clamp(alpha)), 1e-6))
        return;
    m_spectrumSettings.vbwHz = 0.0;
    emit vbwHzChanged();
    emit vbwAlphaChanged();
}

void RtsaController::setVbwHz(double hz)
{
    update(this, m_spectrumSettings.vbwHz, spectrum_settings::vbwHz.clamp(hz), 1e-9, &RtsaController::vbwHzChanged);
}

void RtsaController::setRbwTargetHz(double hz)
{
    if (std::isnan(hz))
        return;
    if (hz <= 0.0) {
        m_spectrumSettings.rbwTargetHz = 0.0;
        emit rbwTargetHzChanged();
        return;
    }
    if (std::abs(m_spectrumSettings.rbwTargetHz - hz) < 1e-9)
        return;
    applyRbwTarget(hz);
    emit rbwTargetHzChanged();
}

bool RtsaController::applyRbwTarget(double hz)
{
    const double before = m_spectrumSettings.rbwTargetHz;
    const RbwChoice choice =
        chooseFftSizeForRbw(hz, static_cast<double>(m_receiver.sampleRateHz.load()), windowType(),
                            spectrum_settings::fftSize.min, spectrum_settings::fftSize.max);
    if (choice.clamped) {
        const QString line =
            QStringLiteral("RBW target too low, clamped to %1 kHz").arg(choice.finestHz / 1000.0, 0, 'f', 3);
        m_log.info(line);
        noteAutoAdjustment(line);
    }
    m_spectrumSettings.rbwTargetHz = choice.targetHz;
    if (choice.fftSize > 0 && choice.fftSize != static_cast<uint64_t>(fftSize()))
        changeFftSize(static_cast<int>(choice.fftSize));
    return m_spectrumSettings.rbwTargetHz != before;
}

void RtsaController::setMaxFps(double fps)
{
    update(this, m_spectrumSettings.maxFps, fps <= 0.0 ? spectrum_settings::maxFps.min : fps, 1e-6, &RtsaController::maxFpsChanged);
}

void RtsaController::setDetectorMode(int mode)
{
    update(this, m_spectrumSettings.detectorMode, spectrum_settings::detectorMode.clamp(mode), 0.0, &RtsaController::detectorModeChanged);
}

void RtsaController::setDetectorWindow(int window)
{
    update(this, m_spectrumSettings.detectorWindow, spectrum_settings::detectorWindow.clamp(window), 0.0,
           &RtsaController::detectorWindowChanged);
}

void RtsaController::setSpectrumOverlap(int percent)
{
    if (!setting::storeIfDifferent(m_spectrumSettings.overlapPercent, spectrum_settings::overlapChoice(percent)))
        return;
    // Skipped spectra are told for the overlap they were skipped at; the next second tells again.
    noteSpectraSkipped(false);
    emit spectrumOverlapChanged();
}

void RtsaController::updateIntercept()
{
    const InterceptInputs inputs{fftSize(), windowType(), spectrumOverlap(), m_receiver.sampleRateHz.load()};
    bool changed = false;
    // Milliseconds of work at large sizes: only when what it depends on has changed.
    if (inputs != m_interceptInputs) {
        m_interceptInputs = inputs;
        const double seconds = intercept::fullAmplitudeSeconds(static_cast<std::size_t>(inputs.fftSize),
                                                               inputs.windowType, inputs.overlapPercent,
                                                               static_cast<double>(inputs.sampleRateHz));
        changed = seconds != m_interceptSeconds;
        m_interceptSeconds = seconds;
    }
    // Until a receiver runs, the rate it will run at is not known.
    const QString text = running() ? formatInterceptTime(m_interceptSeconds) : QString();
    if (text != m_interceptText) {
        m_interceptText = text;
        changed = true;
    }
    if (changed)
        emit interceptChanged();
}

void RtsaController::setPeakLineWindowSec(double seconds)
{
    update(this, m_spectrumSettings.peakLineWindowSec, spectrum_settings::peakLineWindowSec.clamp(seconds), 1e-6,
           &RtsaController::peakLineWindowSecChanged);
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
