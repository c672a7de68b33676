import QtQuick 2.15
import NorvaleRTSA 1.0
import "../.."
import ".."
import "../../logic"

// The waterfall: on, off and clear, how far back it reaches, how much of the view it takes,
// its colour scale (following the trace, or set by hand) and palette.
Panel {
    id: panel

    required property var rtsa
    required property AppState app
    required property var view

    readonly property bool waterfallOn: rtsa ? rtsa.waterfallEnabled : false

    // Leaves the automatic scale where it stands, for the hand to move from.
    function setByHand() {
        if (!app.waterfallAutoRange || !view)
            return
        app.waterfallMinDb = view.waterfallMinDb
        app.waterfallMaxDb = view.waterfallMaxDb
        app.waterfallAutoRange = false
    }

    title: "Waterfall"
    controlsEnabled: rtsa !== null

    Row {
        spacing: 8
        UiSwitch {
            objectName: "waterfallSwitch"
            width: panel.contentWidth - 8 - clear.width
            anchors.verticalCenter: parent.verticalCenter
            text: "On/Off"
            checked: panel.waterfallOn
            onToggled: panel.rtsa.waterfallEnabled = !panel.waterfallOn
        }
        UiButton {
            id: clear
            objectName: "waterfallClearButton"
            text: "Clear"
            enabled: panel.waterfallOn && panel.view !== null
            onTriggered: panel.view.clearWaterfall()
        }
    }

    FieldLabel { text: "Time Depth (s)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "timeDepth"
        choices: [0.2, 1, 5, 10, 30]
        current: panel.app.waterfallTimeDepthSec
        onChosen: (value) => panel.app.setWaterfallTimeDepth(panel.rtsa, value)
    }

    FieldLabel { text: "Height Ratio" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "heightRatio"
        choices: [{ label: "10%", value: 0.1 }, { label: "30%", value: 0.3 }, { label: "50%", value: 0.5 },
                  { label: "70%", value: 0.7 }]
        current: panel.app.waterfallHeightRatio
        onChosen: (value) => panel.app.waterfallHeightRatio = value
    }

    UiSwitch {
        objectName: "waterfallAutoSwitch"
        width: panel.contentWidth
        text: "Auto Range"
        checked: panel.app.waterfallAutoRange
        onToggled: panel.app.waterfallAutoRange = !panel.app.waterfallAutoRange
    }
    // The sliders show the scale in use; moving one sets the scale by hand from there. The
    // scale keeps a minimum span between its bottom and its top.
    UiSlider {
        readonly property var setting: Settings.display.waterfallMinDb
        objectName: "waterfallMinSlider"
        width: panel.contentWidth
        text: "Min (dB): " + value.toFixed(0)
        from: setting.min
        to: setting.max
        stepSize: setting.step
        value: panel.view ? panel.view.waterfallMinDb : panel.app.waterfallMinDb
        onMoved: (value) => {
            panel.setByHand()
            panel.app.waterfallMinDb = Math.min(value, panel.app.waterfallMaxDb - Settings.display.waterfallMinSpanDb)
        }
    }
    UiSlider {
        readonly property var setting: Settings.display.waterfallMaxDb
        objectName: "waterfallMaxSlider"
        width: panel.contentWidth
        text: "Max (dB): " + value.toFixed(0)
        from: setting.min
        to: setting.max
        stepSize: setting.step
        value: panel.view ? panel.view.waterfallMaxDb : panel.app.waterfallMaxDb
        onMoved: (value) => {
            panel.setByHand()
            panel.app.waterfallMaxDb = Math.max(value, panel.app.waterfallMinDb + Settings.display.waterfallMinSpanDb)
        }
    }

    FieldLabel { text: "Palette" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "waterfallPalette"
        choices: [{ label: "Turbo", value: Settings.Turbo }, { label: "Inferno", value: Settings.Inferno }]
        current: panel.app.waterfallPaletteId
        onChosen: (value) => {
            panel.app.waterfallPaletteId = value
            panel.rtsa.waterfallPaletteId = value
        }
    }
}
