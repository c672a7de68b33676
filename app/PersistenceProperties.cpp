// Persistence settings: the density (DPX) histogram and the waterfall.
#include "app/RtsaController.h"

#include "app/SettingUpdate.h"
#include "display/SpectrumItem.h"

#include <algorithm>

using setting::clampTo;
using setting::storeIfDifferent;
using setting::update;

void RtsaController::setDensityEnabled(bool enabled)
{
    if (!storeIfDifferent(m_spectrumSettings.densityEnabled, enabled))
        return;
    if (const QPointer<SpectrumItem> live = guardedSpectrumItem())
        live->setDensityEnabled(enabled);
    if (!enabled)
        m_spectrum.density().clear();
    emit densityEnabledChanged();
}

void RtsaController::setDensityLevels(int levels)
{
    update(this, m_spectrumSettings.densityLevels, std::clamp(levels, 16, 1024), 0.0,
           &RtsaController::densityLevelsChanged);
}

void RtsaController::setDensityWidthBins(int bins)
{
    if (!storeIfDifferent(m_spectrumSettings.densityWidthBins, std::clamp(bins, 128, 2048)))
        return;
    m_spectrum.density().clear();
    emit densityWidthBinsChanged();
}

void RtsaController::setDensityFps(double fps)
{
    update(this, m_spectrumSettings.densityFps, clampTo(fps, 1.0, 60.0), 1e-6, &RtsaController::densityFpsChanged);
}

void RtsaController::setDensityTau(double tau)
{
    update(this, m_spectrumSettings.densityTau, clampTo(tau, 0.05, 10.0), 1e-6, &RtsaController::densityTauChanged);
}

void RtsaController::setDensityHitGain(double gain)
{
    update(this, m_spectrumSettings.densityHitGain, clampTo(gain, 0.1, 10.0), 1e-6,
           &RtsaController::densityHitGainChanged);
}

void RtsaController::setDensityGamma(double gamma)
{
    update(this, m_spectrumSettings.densityGamma, clampTo(gamma, 0.1, 2.0), 1e-6, &RtsaController::densityGammaChanged);
}

void RtsaController::setDensityMax(double max)
{
    update(this, m_spectrumSettings.densityMax, clampTo(max, 1.0, 200.0), 1e-6, &RtsaController::densityMaxChanged);
}

void RtsaController::setDensityMinDb(double db)
{
    update(this, m_spectrumSettings.densityMinDb, db, 1e-6, &RtsaController::densityMinDbChanged);
}

void RtsaController::setDensityMaxDb(double db)
{
    update(this, m_spectrumSettings.densityMaxDb, db, 1e-6, &RtsaController::densityMaxDbChanged);
}

void RtsaController::setWaterfallEnabled(bool enabled)
{
    update(this, m_spectrumSettings.waterfallEnabled, enabled, 0.0, &RtsaController::waterfallEnabledChanged);
}

void RtsaController::setWaterfallLines(int lines)
{
    update(this, m_spectrumSettings.waterfallLines, std::clamp(lines, 1, 1200), 0.0,
           &RtsaController::waterfallLinesChanged);
}

void RtsaController::setWaterfallFps(double fps)
{
    update(this, m_spectrumSettings.waterfallFps, clampTo(fps, 1.0, 120.0), 1e-6, &RtsaController::waterfallFpsChanged);
}

void RtsaController::setWaterfallPaletteId(int id)
{
    update(this, m_spectrumSettings.waterfallPaletteId, std::clamp(id, 0, 1), 0.0,
           &RtsaController::waterfallPaletteIdChanged);
}

void RtsaController::clearDensity()
{
    m_spectrum.density().clear();
}
