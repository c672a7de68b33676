import QtQuick 2.15
import "../logic"
import "../logic/SpectrumMath.js" as SpectrumMath

// One line per marker in the corner of the spectrum: its number, its frequency with the digits
// the bin width supports, its level, and whether the demodulator follows it. In delta mode the
// other markers read their distance from the reference marker in frequency and level.
Rectangle {
    id: readout

    required property var rtsa
    required property AppState app
    required property var view

    readonly property var markerModel: rtsa && rtsa.markersModel ? rtsa.markersModel : null
    readonly property real binHz: view ? view.binHz : 0
    readonly property var measurements: rtsa ? rtsa.measurements : null
    readonly property real levelOffsetDb: measurements ? measurements.referenceOffsetDb : 0
    readonly property string levelUnit: measurements && measurements.levelUnit === "dBm" ? "dBm" : "dB"
    // The reference marker's row in the model, refreshed whenever the model changes.
    property var reference: null

    function refreshReference() {
        reference = SpectrumMath.referenceMarker(markerModel, app.referenceMarkerId)
    }

    visible: lines.count > 0
    width: column.implicitWidth + 16
    height: column.implicitHeight + 12
    radius: 4
    color: "#CC15181C"

    Connections {
        target: readout.markerModel
        function onDataChanged() { readout.refreshReference() }
        function onRowsInserted() { readout.refreshReference() }
        function onRowsRemoved() { readout.refreshReference() }
        function onModelReset() { readout.refreshReference() }
    }
    Connections {
        target: readout.app
        function onReferenceMarkerIdChanged() { readout.refreshReference() }
    }
    Component.onCompleted: refreshReference()

    Column {
        id: column
        x: 8
        y: 6
        spacing: 2
        Repeater {
            id: lines
            model: readout.markerModel
            // The delegate reads ids of this document, which the linter cannot follow into it.
            // qmllint disable unqualified
            delegate: Text {
                required property var model
                readonly property bool relative: readout.app.markerDeltaMode && readout.reference !== null
                                                 && readout.reference.id !== model.id
                objectName: "markerReadout" + model.id
                color: model.color
                font.pixelSize: 12
                font.family: "monospace"
                text: (relative
                       ? "\u0394M" + model.id + "  " + SpectrumMath.formatFrequencyDelta(
                             model.freqHz - readout.reference.freqHz, readout.binHz)
                         + "  " + SpectrumMath.formatLevelDelta(model.ampDb - readout.reference.ampDb)
                       : "M" + model.id + "  " + SpectrumMath.formatFrequency(model.freqHz, readout.binHz)
                         + "  " + Number(model.ampDb + readout.levelOffsetDb).toFixed(1) + " " + readout.levelUnit)
                      + (readout.app.newDemodMarkerId === model.id ? "  Demod" : "")
            }
            // qmllint enable unqualified
        }
    }
}
