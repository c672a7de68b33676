import QtQuick 2.15
import "../.."
import ".."
import "../../logic"
import "../../logic/PanelLogic.js" as PanelLogic
import "../../logic/FrequencyText.js" as FrequencyText

// The part of the captured band the spectrum shows, typed as centre and span or as start and
// stop; a span as wide as the band (or wider) shows all of it.
Panel {
    id: panel

    required property var view

    readonly property real bandMinHz: view ? view.minFreqHz : NaN
    readonly property real bandMaxHz: view ? view.maxFreqHz : NaN
    readonly property var shown: view ? PanelLogic.shownView(view.viewMinFreqHz, view.viewMaxFreqHz, bandMinHz, bandMaxHz)
                                      : PanelLogic.shownView(NaN, NaN, bandMinHz, bandMaxHz)
    readonly property bool known: bandMaxHz - bandMinHz > 0
    // The field that asked, so that a refusal shows under it.
    function show(field, centerHz, spanHz) {
        const result = PanelLogic.viewWithin(centerHz, spanHz, bandMinHz, bandMaxHz)
        if (result.error !== undefined) {
            field.error = result.error
            return
        }
        if (!isFinite(result.centerHz)) {
            view.setView(0, 1)
            return
        }
        const band = bandMaxHz - bandMinHz
        view.setView((result.centerHz - result.spanHz / 2 - bandMinHz) / band,
                     (result.centerHz + result.spanHz / 2 - bandMinHz) / band)
    }
    function shownText(hz) { return known ? FrequencyText.formatMHz(hz) : "--" }

    title: "View"
    controlsEnabled: view !== null

    Grid {
        columns: 2
        columnSpacing: 8
        rowSpacing: 4
        width: panel.contentWidth

        FieldLabel { text: "Center (MHz)" }
        FieldLabel { text: "Span (MHz)" }
        FrequencyField {
            id: centerField
            objectName: "viewCenterField"
            width: (panel.contentWidth - 8) / 2
            valueText: panel.shownText(panel.shown.centerHz)
            onAccepted: (hz) => panel.show(centerField, hz, panel.shown.spanHz)
        }
        FrequencyField {
            id: spanField
            objectName: "viewSpanField"
            width: (panel.contentWidth - 8) / 2
            valueText: panel.shownText(panel.shown.spanHz)
            onAccepted: (hz) => panel.show(spanField, panel.shown.centerHz, hz)
        }
        FieldLabel { text: "Start (MHz)" }
        FieldLabel { text: "Stop (MHz)" }
        FrequencyField {
            id: startField
            objectName: "viewStartField"
            width: (panel.contentWidth - 8) / 2
            valueText: panel.shownText(panel.shown.centerHz - panel.shown.spanHz / 2)
            onAccepted: (hz) => {
                const stop = panel.shown.centerHz + panel.shown.spanHz / 2
                panel.show(startField, (hz + stop) / 2, stop - hz)
            }
        }
        FrequencyField {
            id: stopField
            objectName: "viewStopField"
            width: (panel.contentWidth - 8) / 2
            valueText: panel.shownText(panel.shown.centerHz + panel.shown.spanHz / 2)
            onAccepted: (hz) => {
                const start = panel.shown.centerHz - panel.shown.spanHz / 2
                panel.show(stopField, (start + hz) / 2, hz - start)
            }
        }
    }
    UiButton {
        objectName: "viewFullButton"
        width: panel.contentWidth
        text: "Full Band"
        onTriggered: panel.view.setView(0, 1)
    }
}
