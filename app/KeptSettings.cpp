#include "app/KeptSettings.h"

#include "app/RtsaController.h"
#include "app/SettingsStore.h"

#include <QStringList>

#include <vector>

namespace {

struct KeptGroup {
    QString group;
    // The object's name in the window; empty for the controller.
    QString objectName;
    QStringList properties;
};

// In restore order: a setting that another one allows (stereo needs its deviation, the output
// channels and buffer size their device) comes after it, and the window's marker binding after
// the markers. The demodulator's frequency is not kept: it follows its binding.
const std::vector<KeptGroup>& keptGroups()
{
    static const std::vector<KeptGroup> groups{
        {QStringLiteral("receiver"), {}, {QStringLiteral("deviceSelection"), QStringLiteral("deviceChannel"), QStringLiteral("deviceFrontEndChoices")}},
        {QStringLiteral("spectrum"),
         {},
         {QStringLiteral("windowType"), QStringLiteral("rbwTargetHz"), QStringLiteral("vbwHz"),
          QStringLiteral("maxFps"), QStringLiteral("detectorMode"), QStringLiteral("detectorWindow"),
          QStringLiteral("spectrumOverlap"), QStringLiteral("peakLineWindowSec"), QStringLiteral("densityEnabled"),
          QStringLiteral("densitySource"), QStringLiteral("densityLevels"),
          QStringLiteral("densityWidthBins"), QStringLiteral("densityFps"), QStringLiteral("densityTau"),
          QStringLiteral("densityHitGain"), QStringLiteral("densityGamma"), QStringLiteral("densityMax"),
          QStringLiteral("densityMinDb"), QStringLiteral("densityMaxDb"), QStringLiteral("waterfallEnabled"),
          QStringLiteral("waterfallFps"), QStringLiteral("waterfallLines"), QStringLiteral("waterfallPaletteId")}},
        {QStringLiteral("demod"),
         {},
         {QStringLiteral("newDemodFmDeviationHz"),
          QStringLiteral("newDemodFmStereoEnabled"), QStringLiteral("newDemodAudioHpfHz"),
          QStringLiteral("newDemodAudioLpfHz"), QStringLiteral("newDemodAudioGain"),
          QStringLiteral("newDemodFilterEnabled"), QStringLiteral("squelchEnabled"), QStringLiteral("squelchOpenDb"),
          QStringLiteral("squelchCloseDb"), QStringLiteral("squelchAttackMs"), QStringLiteral("squelchReleaseMs"),
          QStringLiteral("squelchHangMs"), QStringLiteral("squelchNoiseAlpha"), QStringLiteral("squelchMinFloorDb")}},
        {QStringLiteral("audio"),
         {},
         {QStringLiteral("audioDeviceName"), QStringLiteral("audioBufferFrames"), QStringLiteral("audioOutputChannel"),
          QStringLiteral("audioOutputChannelLeft"), QStringLiteral("audioOutputChannelRight")}},
        {QStringLiteral("measure"),
         QStringLiteral("measurements"),
         {QStringLiteral("channelBandwidthHz"), QStringLiteral("obwPercent"), QStringLiteral("xDb"),
          QStringLiteral("acpMainBandwidthHz"), QStringLiteral("acpAdjacentBandwidthHz"),
          QStringLiteral("acpSpacingHz"), QStringLiteral("acpPairs"), QStringLiteral("noiseBinsEachSide"),
          QStringLiteral("peakCount"), QStringLiteral("peakExcursionDb"), QStringLiteral("peakThresholdDb"),
          QStringLiteral("peakOrder"), QStringLiteral("referenceOffsets")}},
        {QStringLiteral("recording"), QStringLiteral("recording"), {QStringLiteral("folder")}},
        {QStringLiteral("playback"), QStringLiteral("playback"), {QStringLiteral("keptFile")}},
        {QStringLiteral("display"),
         QStringLiteral("spectrumView"),
         {QStringLiteral("peakLineEnabled"), QStringLiteral("densityPalette")}},
        {QStringLiteral("window"),
         QStringLiteral("appState"),
         {QStringLiteral("usrpRateValue"), QStringLiteral("rzPortValue"), QStringLiteral("rzAttValue"),
          QStringLiteral("rzPreampValue"), QStringLiteral("rzIfGainValue"), QStringLiteral("centerFreqMHz"),
          QStringLiteral("waterfallHeightRatio"), QStringLiteral("waterfallPaletteId"),
          QStringLiteral("waterfallTimeDepthSec"), QStringLiteral("waterfallMinDb"), QStringLiteral("waterfallMaxDb"),
          QStringLiteral("nextMarkerId"), QStringLiteral("newDemodMarkerId"), QStringLiteral("logVerbose"),
          QStringLiteral("logMinLevel"), QStringLiteral("logWrap")}},
    };
    return groups;
}

// The panels that fold, by their names in the window.
const QStringList& foldingPanels()
{
    static const QStringList panels{QStringLiteral("recordPanel"),  QStringLiteral("viewPanel"),    QStringLiteral("dspPanel"),
                                    QStringLiteral("dpxPanel"),     QStringLiteral("waterfallPanel"),
                                    QStringLiteral("markersPanel"), QStringLiteral("measurementsPanel"),
                                    QStringLiteral("demodPanel"),   QStringLiteral("logPanel")};
    return panels;
}

const QStringList kExpanded{QStringLiteral("expanded")};

QObject* holderOf(const KeptGroup& group, RtsaController& controller, const QObject& window)
{
    if (group.objectName.isEmpty())
        return &controller;
    // The controller's own parts first, then the window's.
    if (QObject* part = controller.findChild<QObject*>(group.objectName, Qt::FindDirectChildrenOnly))
        return part;
    return window.findChild<QObject*>(group.objectName);
}

} // namespace

void restoreKeptSettings(const SettingsStore& store, RtsaController& controller, QObject& window)
{
    store.restoreMarkers(*controller.markersModel());
    for (const KeptGroup& group : keptGroups()) {
        if (QObject* holder = holderOf(group, controller, window))
            store.restore(*holder, group.group, group.properties);
    }
    for (const QString& name : foldingPanels()) {
        if (QObject* panel = window.findChild<QObject*>(name))
            store.restore(*panel, QStringLiteral("panels/") + name, kExpanded);
    }
}

void saveKeptSettings(SettingsStore& store, RtsaController& controller, const QObject& window)
{
    store.saveMarkers(*controller.markersModel());
    for (const KeptGroup& group : keptGroups()) {
        if (const QObject* holder = holderOf(group, controller, window))
            store.save(*holder, group.group, group.properties);
    }
    for (const QString& name : foldingPanels()) {
        if (const QObject* panel = window.findChild<QObject*>(name))
            store.save(*panel, QStringLiteral("panels/") + name, kExpanded);
    }
    store.sync();
}
