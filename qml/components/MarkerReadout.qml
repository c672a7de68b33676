import QtQuick 2.15
import "../logic"
import "../logic/SpectrumMath.js" as SpectrumMath

// One line per marker in the corner of the spectrum: its number, its frequency and whether
// the demodulator follows it.
Rectangle {
    id: readout

    required property var rtsa
    required property AppState app

    readonly property var markerModel: rtsa && rtsa.markersModel ? rtsa.markersModel : null

    visible: lines.count > 0
    width: column.implicitWidth + 16
    height: column.implicitHeight + 12
    radius: 4
    color: "#CC15181C"

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
                objectName: "markerReadout" + model.id
                color: model.color
                font.pixelSize: 12
                font.family: "monospace"
                text: "M" + model.id + "  " + SpectrumMath.formatMarkerMHz(model.freqHz)
                      + (readout.app.newDemodMarkerId === model.id ? "  Demod" : "")
            }
            // qmllint enable unqualified
        }
    }
}
