#include "app/SettingTables.h"

#include "audio/AudioSettingTable.h"
#include "demod/DemodParams.h"
#include "measure/MeasureSettingTable.h"
#include "receivers/ReceiverSettingTable.h"

#include <QQmlEngine>

namespace {

template <typename T>
QVariantMap entry(const SettingRange<T>& range)
{
    return {{QStringLiteral("initial"), range.initial},
            {QStringLiteral("min"), range.min},
            {QStringLiteral("max"), range.max},
            {QStringLiteral("step"), range.step}};
}

QVariantMap entry(const SettingRange<uint64_t>& range)
{
    return entry(SettingRange<double>{static_cast<double>(range.initial), static_cast<double>(range.min),
                                      static_cast<double>(range.max), static_cast<double>(range.step)});
}

// The overlap's entry with the overlaps the spectrum thread takes: each step of the range, snapped.
QVariantMap overlapEntry()
{
    namespace s = spectrum_settings;
    static_assert(s::overlapPercent.step > 0);
    QVariantList choices;
    for (int percent = s::overlapPercent.min; percent <= s::overlapPercent.max; percent += s::overlapPercent.step) {
        if (const int offered = s::overlapChoice(percent); !choices.contains(offered))
            choices.append(offered);
    }
    QVariantMap overlap = entry(s::overlapPercent);
    overlap.insert(QStringLiteral("choices"), choices);
    return overlap;
}

QVariantMap spectrumTable()
{
    namespace s = spectrum_settings;
    return {{QStringLiteral("fftSize"), entry(s::fftSize)},
            {QStringLiteral("windowType"), entry(s::windowType)},
            {QStringLiteral("vbwAlpha"), entry(s::vbwAlpha)},
            {QStringLiteral("vbwHz"), entry(s::vbwHz)},
            {QStringLiteral("rbwTargetHz"), entry(s::rbwTargetHz)},
            {QStringLiteral("maxFps"), entry(s::maxFps)},
            {QStringLiteral("detectorMode"), entry(s::detectorMode)},
            {QStringLiteral("detectorWindow"), entry(s::detectorWindow)},
            {QStringLiteral("overlapPercent"), overlapEntry()},
            {QStringLiteral("peakLineWindowSec"), entry(s::peakLineWindowSec)},
            {QStringLiteral("densitySource"), entry(s::densitySource)},
            {QStringLiteral("densityLevels"), entry(s::densityLevels)},
            {QStringLiteral("densityWidthBins"), entry(s::densityWidthBins)},
            {QStringLiteral("densityFps"), entry(s::densityFps)},
            {QStringLiteral("densityTau"), entry(s::densityTau)},
            {QStringLiteral("densityHitGain"), entry(s::densityHitGain)},
            {QStringLiteral("densityGamma"), entry(s::densityGamma)},
            {QStringLiteral("densityMax"), entry(s::densityMax)},
            {QStringLiteral("densityMinDb"), entry(s::densityMinDb)},
            {QStringLiteral("densityMaxDb"), entry(s::densityMaxDb)},
            {QStringLiteral("waterfallLines"), entry(s::waterfallLines)},
            {QStringLiteral("waterfallFps"), entry(s::waterfallFps)},
            {QStringLiteral("waterfallPaletteId"), entry(s::waterfallPaletteId)},
            {QStringLiteral("waterfallTimeDepthSec"), entry(s::waterfallTimeDepthSec)}};
}

QVariantMap displayTable()
{
    namespace d = display_settings;
    return {{QStringLiteral("minDb"), entry(d::minDb)},
            {QStringLiteral("maxDb"), entry(d::maxDb)},
            {QStringLiteral("refLevelDb"), entry(d::refLevelDb)},
            {QStringLiteral("dbPerDiv"), entry(d::dbPerDiv)},
            {QStringLiteral("levelDivisions"), d::kLevelDivisions},
            {QStringLiteral("minViewBins"), d::kMinViewBins},
            {QStringLiteral("tuneStepHz"), d::kTuneStepHz},
            {QStringLiteral("fineTuneStepHz"), d::kFineTuneStepHz},
            {QStringLiteral("waterfallMinDb"), entry(d::waterfallMinDb)},
            {QStringLiteral("waterfallMaxDb"), entry(d::waterfallMaxDb)},
            {QStringLiteral("waterfallMinSpanDb"), d::kWaterfallMinSpanDb},
            {QStringLiteral("waterfallHeightRatio"), entry(d::waterfallHeightRatio)},
            {QStringLiteral("densityPalette"), entry(d::densityPalette)}};
}

QVariantMap demodTable()
{
    namespace d = demod_settings;
    return {{QStringLiteral("demodFreqHz"), entry(d::demodFreqHz)},
            {QStringLiteral("fmDeviationHz"), entry(d::fmDeviationHz)},
            {QStringLiteral("audioHpfHz"), entry(d::audioHpfHz)},
            {QStringLiteral("audioLpfHz"), entry(d::audioLpfHz)},
            {QStringLiteral("audioGain"), entry(d::audioGain)},
            {QStringLiteral("squelchOpenDb"), entry(d::squelchOpenDb)},
            {QStringLiteral("squelchCloseDb"), entry(d::squelchCloseDb)},
            {QStringLiteral("squelchAttackMs"), entry(d::squelchAttackMs)},
            {QStringLiteral("squelchReleaseMs"), entry(d::squelchReleaseMs)},
            {QStringLiteral("squelchHangMs"), entry(d::squelchHangMs)},
            {QStringLiteral("squelchNoiseAlpha"), entry(d::squelchNoiseAlpha)},
            {QStringLiteral("squelchMinFloorDb"), entry(d::squelchMinFloorDb)}};
}

QVariantMap receiverTable()
{
    namespace r = receiver_settings;
    QVariantList rates;
    for (const uint32_t rate : r::kProcessingRatesHz)
        rates.append(rate / 1'000'000);
    return {{QStringLiteral("ratesMsps"), rates},
            {QStringLiteral("frequencyCorrectionPpm"), entry(r::frequencyCorrectionPpm)}};
}

QVariantMap measureTable()
{
    namespace m = measure_settings;
    return {{QStringLiteral("channelBandwidthHz"), entry(m::channelBandwidthHz)},
            {QStringLiteral("obwPercent"), entry(m::obwPercent)},
            {QStringLiteral("xDb"), entry(m::xDb)},
            {QStringLiteral("acpMainBandwidthHz"), entry(m::acpMainBandwidthHz)},
            {QStringLiteral("acpAdjacentBandwidthHz"), entry(m::acpAdjacentBandwidthHz)},
            {QStringLiteral("acpSpacingHz"), entry(m::acpSpacingHz)},
            {QStringLiteral("acpPairs"), entry(m::acpPairs)},
            {QStringLiteral("noiseBinsEachSide"), entry(m::noiseBinsEachSide)},
            {QStringLiteral("peakCount"), entry(m::peakCount)},
            {QStringLiteral("peakExcursionDb"), entry(m::peakExcursionDb)},
            {QStringLiteral("peakThresholdDb"), entry(m::peakThresholdDb)},
            {QStringLiteral("referenceOffsetDb"), entry(m::referenceOffsetDb)}};
}

} // namespace

SettingTables::SettingTables(QObject* parent)
    : QObject(parent)
    , m_spectrum(spectrumTable())
    , m_display(displayTable())
    , m_demod(demodTable())
    , m_audio({{QStringLiteral("bufferFrames"), entry(audio_settings::bufferFrames)}})
    , m_receiver(receiverTable())
    , m_measure(measureTable())
{
}

void SettingTables::registerForQml(SettingTables& tables)
{
    qmlRegisterSingletonInstance("NorvaleRTSA", 1, 0, "Settings", &tables);
}

bool SettingTables::isStereoDeviation(double hz) const
{
    return ::isStereoDeviation(hz);
}
