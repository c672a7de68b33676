// Persistence settings: the density (DPX) histogram and the waterfall.
#include "app/RtsaController.h"

#include "app/SettingUpdate.h"
#include "display/SpectrumItem.h"
#include "engine/SpectrumSettingTable.h"

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

void RtsaController::setDensitySource(int source)
{
    update(this, m_spectrumSettings.densitySource, spectrum_settings::densitySource.clamp(source), 0.0,
           &RtsaController::densitySourceChanged);
}

void RtsaController::setDensityLevels(int levels)
{
    update(this, m_spectrumSettings.densityLevels, spectrum_settings::densityLevels.clamp(levels), 0.0,
           &RtsaController::densityLevelsChanged);
}

void RtsaController::setDensityWidthBins(int bins)
{
    if (!storeIfDifferent(m_spectrumSettings.densityWidthBins, spectrum_settings::densityWidthBins.clamp(bins)))
        return;
    m_spectrum.density().clear();
    emit densityWidthBinsChanged();
}

void RtsaController::setDensityFps(double fps)
{
    update(this, m_spectrumSettings.densityFps, spectrum_settings::densityFps.clamp(fps), 1e-6, &RtsaController::densityFpsChanged);
}

void RtsaController::setDensityTau(double tau)
{
    update(this, m_spectrumSettings.densityTau, spectrum_settings::densityTau.clamp(tau), 1e-6, &RtsaController::densityTauChanged);
}

void RtsaController::setDensityHitGain(double gain)
{
    update(this, m_spectrumSettings.densityHitGain, spectrum_settings::densityHitGain.clamp(gain), 1e-6,
           &RtsaController::densityHitGainChanged);
}

void RtsaController::setDensityGamma(double gamma)
{
    update(this, m_spectrumSettings.densityGamma, spectrum_settings::densityGamma.clamp(gamma), 1e-6, &RtsaController::densityGammaChanged);
}

void RtsaController::setDensityMax(double max)
{
    update(this, m_spectrumSettings.densityMax, spectrum_settings::densityMax.clamp(max), 1e-6, &RtsaController::densityMaxChanged);
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
    update(this, m_spectrumSettings.waterfallLines, spectrum_settings::waterfallLines.clamp(lines), 0.0,
           &RtsaController::waterfallLinesChanged);
}

void RtsaController::setWaterfallFps(double fps)
{
    update(this, m_spectrumSettings.waterfallFps, spectrum_settings::waterfallFps.clamp(fps), 1e-6, &RtsaController::waterfallFpsChanged);
}

void RtsaController::setWaterfallPaletteId(int id)
{
    update(this, m_spectrumSettings.waterfallPaletteId, spectrum_settings::waterfallPaletteId.clamp(id), 0.0,
           &RtsaController::waterfallPaletteIdChanged);
}

void RtsaController::clearDensity()
{
    m_spectrum.density().clear();
}
