import QtQuick 2.15
import NorvaleRTSA 1.0
import "../.."
import ".."
import "../../logic"

// The persistence display and the peak line: on, off and clear, its level range (following the
// trace, or the full scale), how long the peak holds, the spectra it draws, the histogram's size,
// rate, decay and mapping, and its palette.
Panel {
    id: panel

    required property var rtsa
    required property var view
    required property AppState app

    readonly property bool densityOn: rtsa ? rtsa.densityEnabled : false
    readonly property bool peakLineOn: view ? view.peakLineEnabled : false

    title: "DPX"
    controlsEnabled: rtsa !== null && view !== null

    Row {
        spacing: 8
        UiSwitch {
            objectName: "fluorSwitch"
            width: panel.contentWidth - 8 - densityClear.width
            anchors.verticalCenter: parent.verticalCenter
            text: "Fluor Mode"
            checked: panel.densityOn
            onToggled: panel.rtsa.densityEnabled = !panel.densityOn
        }
        UiButton {
            id: densityClear
            objectName: "densityClearButton"
            text: "Clear"
            enabled: panel.densityOn
            onTriggered: panel.rtsa.clearDensity()
        }
    }

    Row {
        spacing: 8
        UiSwitch {
            objectName: "peakLineSwitch"
            width: panel.contentWidth - 8 - peakLineClear.width
            anchors.verticalCenter: parent.verticalCenter
            text: "Peak Line"
            checked: panel.peakLineOn
            onToggled: panel.view.peakLineEnabled = !panel.peakLineOn
        }
        UiButton {
            id: peakLineClear
            objectName: "peakLineClearButton"
            text: "Clear"
            enabled: panel.peakLineOn
            onTriggered: panel.rtsa.clearPeakLine()
        }
    }

    UiSwitch {
        objectName: "densityAutoSwitch"
        width: panel.contentWidth
        text: "Auto Range " + (panel.rtsa ? panel.rtsa.densityMinDb.toFixed(0) + "\u2026"
                                            + panel.rtsa.densityMaxDb.toFixed(0) + " dB" : "")
        checked: panel.app.densityAutoRange
        onToggled: panel.app.densityAutoRange = !panel.app.densityAutoRange
    }

    FieldLabel { text: "Peak Hold (s)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "peakHold"
        choices: [{ label: "Inf", value: 0 }, 1, 3, 5, 10, 30]
        current: panel.rtsa ? panel.rtsa.peakLineWindowSec : undefined
        onChosen: (value) => panel.rtsa.peakLineWindowSec = value
    }

    FieldLabel { text: "Density source" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "densitySource"
        choices: [{ label: "every spectrum", value: Settings.EverySpectrum },
                  { label: "display trace", value: Settings.DisplayTrace }]
        current: panel.rtsa ? panel.rtsa.densitySource : undefined
        onChosen: (value) => panel.rtsa.densitySource = value
    }

    FieldLabel { text: "Density Levels" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "densityLevels"
        choices: [64, 128, 256, 512]
        current: panel.rtsa ? panel.rtsa.densityLevels : undefined
        onChosen: (value) => panel.rtsa.densityLevels = value
    }

    FieldLabel { text: "DPX Width" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "dpxWidth"
        choices: [384, 512, 768, 1024]
        current: panel.rtsa ? panel.rtsa.densityWidthBins : undefined
        onChosen: (value) => panel.rtsa.densityWidthBins = value
    }

    FieldLabel { text: "DPX FPS" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "dpxFps"
        choices: [6, 10, 12, 16, 24]
        current: panel.rtsa ? panel.rtsa.densityFps : undefined
        onChosen: (value) => panel.rtsa.densityFps = value
    }

    FieldLabel { text: "Density Tau (s)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "densityTau"
        choices: [{ label: "0.2", value: 0.2 }, { label: "0.5", value: 0.5 }, { label: "1.0", value: 1.0 },
                  { label: "2.0", value: 2.0 }]
        current: panel.rtsa ? panel.rtsa.densityTau : undefined
        onChosen: (value) => panel.rtsa.densityTau = value
    }

    // The sliders span the ranges the controller accepts.
    UiSlider {
        readonly property var setting: Settings.spectrum.densityHitGain
        objectName: "hitGainSlider"
        width: panel.contentWidth
        text: "Density Hit Gain: " + value.toFixed(1)
        from: setting.min
        to: setting.max
        stepSize: setting.step
        value: panel.rtsa ? panel.rtsa.densityHitGain : setting.initial
        onMoved: (value) => panel.rtsa.densityHitGain = value
    }

    UiSlider {
        readonly property var setting: Settings.spectrum.densityGamma
        objectName: "gammaSlider"
        width: panel.contentWidth
        text: "Density Gamma: " + value.toFixed(2)
        from: setting.min
        to: setting.max
        stepSize: setting.step
        value: panel.rtsa ? panel.rtsa.densityGamma : setting.initial
        onMoved: (value) => panel.rtsa.densityGamma = value
    }

    UiSlider {
        readonly property var setting: Settings.spectrum.densityMax
        objectName: "densityMaxSlider"
        width: panel.contentWidth
        text: "Density Max: " + value.toFixed(0)
        from: setting.min
        to: setting.max
        stepSize: setting.step
        value: panel.rtsa ? panel.rtsa.densityMax : setting.initial
        onMoved: (value) => panel.rtsa.densityMax = value
    }

    FieldLabel { text: "Density Palette" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "densityPalette"
        choices: [{ label: "DPX Classic", value: Settings.Classic }, { label: "Rainbow", value: Settings.Rainbow },
                  { label: "Amber", value: Settings.Amber }]
        current: panel.view ? panel.view.densityPalette : undefined
        onChosen: (value) => panel.view.densityPalette = value
    }
}
