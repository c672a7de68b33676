import QtQuick 2.15
import NorvaleRTSA 1.0
import "../.."
import ".."
import "../../logic"
import "../../logic/SpectrumMath.js" as SpectrumMath

// Spectrum processing: window, detector and its averaging length, resolution and video
// bandwidth, the blocks' overlap, the frame-rate limit, and the trace's scale (reference level,
// dB per division, or set from the trace).
Panel {
    id: panel

    required property var rtsa
    required property AppState app
    required property var view

    readonly property var dbPerDivChoices: [1, 2, 5, 10, 20]

    title: "Spectrum (DSP)"
    controlsEnabled: rtsa !== null

    FieldLabel { text: "Window Type" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "window"
        choices: [{ label: "Hann", value: Settings.Hann }, { label: "Hamming", value: Settings.Hamming },
                  { label: "Blackman", value: Settings.Blackman }]
        current: panel.rtsa ? panel.rtsa.windowType : undefined
        onChosen: (value) => panel.rtsa.windowType = value
    }

    FieldLabel { text: "Detector" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "detector"
        choices: [{ label: "Sample", value: Settings.Sample }, { label: "Max", value: Settings.Max },
                  { label: "Min", value: Settings.Min }, { label: "Avg", value: Settings.Avg },
                  { label: "RMS", value: Settings.Rms }]
        current: panel.rtsa ? panel.rtsa.detectorMode : undefined
        onChosen: (value) => panel.rtsa.detectorMode = value
    }

    // The averaging length matters only to the detectors that average.
    Column {
        width: panel.contentWidth
        spacing: 8
        visible: panel.rtsa !== null
                 && (panel.rtsa.detectorMode === Settings.Avg || panel.rtsa.detectorMode === Settings.Rms)

        FieldLabel { text: "Detector Window (N)" }
        ChoiceRow {
            width: parent.width
            namePrefix: "detectorWindow"
            choices: [5, 10, 20, 50]
            current: panel.rtsa ? panel.rtsa.detectorWindow : undefined
            onChosen: (value) => panel.rtsa.detectorWindow = value
        }
    }

    FieldLabel { text: "RBW (Hz)" }
    Repeater {
        model: [[{ label: "100", value: 100 }, { label: "300", value: 300 }, { label: "1k", value: 1000 },
                 { label: "3k", value: 3000 }],
                [{ label: "10k", value: 10000 }, { label: "100k", value: 100000 }]]
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: ChoiceRow {
            required property var modelData
            width: panel.contentWidth
            namePrefix: "rbw"
            choices: modelData
            current: panel.rtsa ? Math.round(panel.rtsa.rbwTargetHz) : undefined
            onChosen: (value) => {
                panel.app.lastUserRbwTargetHz = value
                panel.rtsa.rbwTargetHz = value
            }
        }
        // qmllint enable unqualified
    }

    FieldLabel { text: "VBW (Hz)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "vbw"
        choices: [{ label: "off", value: 0 }, 1, 5, 10, 30, 100]
        current: panel.rtsa ? panel.rtsa.vbwHz : undefined
        onChosen: (value) => panel.rtsa.vbwHz = value
    }

    FieldLabel { text: "Overlap" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "overlap"
        choices: Settings.spectrum.overlapPercent.choices.map(percent => ({ label: percent + " %", value: percent }))
        current: panel.rtsa ? panel.rtsa.spectrumOverlap : undefined
        onChosen: (value) => panel.rtsa.spectrumOverlap = value
    }

    FieldLabel { text: "Max FPS" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "maxFps"
        choices: [1, 10, 30, 60]
        current: panel.rtsa ? panel.rtsa.maxFps : undefined
        onChosen: (value) => {
            panel.app.lastUserMaxFps = value
            panel.rtsa.maxFps = value
        }
    }

    UiSlider {
        readonly property var setting: Settings.display.refLevelDb
        objectName: "refLevelSlider"
        width: panel.contentWidth
        text: "Ref Level (dB): " + value.toFixed(0)
        from: setting.min
        to: setting.max
        stepSize: setting.step
        value: panel.app.refLevelDb
        onMoved: (value) => panel.app.refLevelDb = value
    }

    FieldLabel { text: "Scale (dB/div)" }
    Row {
        spacing: 8
        ChoiceRow {
            width: panel.contentWidth - 8 - autoRange.width
            namePrefix: "dbPerDiv"
            choices: panel.dbPerDivChoices
            current: panel.app.dbPerDiv
            onChosen: (value) => panel.app.dbPerDiv = value
        }
        UiButton {
            id: autoRange
            objectName: "autoRangeButton"
            text: "Auto"
            toolTip: "Noise floor near the bottom, strongest signal below the top"
            enabled: panel.view !== null
            onTriggered: {
                const scale = SpectrumMath.autoTraceScale(panel.view.noiseFloorDb, panel.view.strongestDb,
                                                          Settings.display.levelDivisions, panel.dbPerDivChoices)
                panel.app.refLevelDb = scale.refLevelDb
                panel.app.dbPerDiv = scale.dbPerDiv
            }
        }
    }
}
