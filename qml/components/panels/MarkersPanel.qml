import QtQuick 2.15
import "../.."
import ".."
import "../../logic"

// The markers: add one on the highest peak not yet marked, read them relative to a reference
// marker, and for each its colour, its frequency, whether the demodulator follows it, and the
// commands that move it or the receiver.
Panel {
    id: panel

    required property var rtsa
    required property AppState app
    required property var view

    readonly property var markerModel: rtsa && rtsa.markersModel ? rtsa.markersModel : null

    title: "Markers"
    controlsEnabled: markerModel !== null && view !== null

    Row {
        spacing: 8
        UiButton {
            id: add
            objectName: "addMarkerButton"
            text: "Add"
            toolTip: "A new marker on the highest peak not yet marked (M)"
            onTriggered: panel.app.addMarkerAtPeak(panel.markerModel, panel.view)
        }
        UiSwitch {
            objectName: "markerDeltaSwitch"
            width: panel.contentWidth - 8 - add.width
            anchors.verticalCenter: parent.verticalCenter
            text: "Delta"
            checked: panel.app.markerDeltaMode
            onToggled: panel.app.markerDeltaMode = !panel.app.markerDeltaMode
        }
    }

    Repeater {
        model: panel.markerModel
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: Column {
            id: row

            required property var model
            readonly property int markerId: model.id
            readonly property real freqHz: model.freqHz
            readonly property string freqText: (freqHz / 1e6).toFixed(6)

            width: panel.contentWidth
            spacing: 4

            Row {
                spacing: 6
                Rectangle {
                    objectName: "mkSwatch" + row.markerId
                    anchors.verticalCenter: parent.verticalCenter
                    width: 18
                    height: 18
                    radius: 3
                    color: row.model.color
                    MouseArea {
                        anchors.fill: parent
                        onClicked: panel.markerModel.setMarkerColor(row.markerId,
                                                                    panel.app.nextMarkerColor(row.model.color))
                    }
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "M" + row.markerId
                    color: "#E0E6ED"
                    font.pixelSize: 12
                }
                // Follows the marker except while something is being typed into it.
                FrequencyField {
                    objectName: "mkFreq" + row.markerId
                    width: 110
                    valueText: row.freqText
                    onAccepted: (hz) => panel.markerModel.setMarkerFreq(row.markerId, hz)
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "MHz"
                    color: "#8AA2B2"
                    font.pixelSize: 12
                }
                Text {
                    objectName: "mkDemod" + row.markerId
                    anchors.verticalCenter: parent.verticalCenter
                    visible: panel.app.newDemodMarkerId === row.markerId
                    text: "Demod"
                    color: "#B388FF"
                    font.pixelSize: 12
                    font.bold: true
                }
            }

            Flow {
                width: row.width
                spacing: 4
                UiButton {
                    objectName: "mkDel" + row.markerId
                    text: "Del"
                    onTriggered: {
                        if (panel.app.referenceMarkerId === row.markerId)
                            panel.app.referenceMarkerId = -1
                        panel.markerModel.removeMarker(row.markerId)
                    }
                }
                UiButton {
                    objectName: "mkAuto" + row.markerId
                    text: row.model.autoPeakEnabled ? "Auto:On" : "Auto:Off"
                    onTriggered: panel.markerModel.setMarkerAutoPeak(row.markerId, !row.model.autoPeakEnabled)
                }
                UiButton {
                    objectName: "mkRef" + row.markerId
                    // The chosen reference, or the first marker while none is chosen.
                    readonly property bool isReference: panel.app.referenceMarkerId === row.markerId
                                                        || (panel.app.referenceMarkerId < 0 && row.model.index === 0)
                    visible: panel.app.markerDeltaMode
                    text: isReference ? "Ref \u2713" : "Ref"
                    toolTip: "The marker the others are measured from"
                    onTriggered: panel.app.referenceMarkerId = row.markerId
                }
                UiButton {
                    objectName: "mkToPeak" + row.markerId
                    toolTip: "To the peak (P moves the demodulator's marker)"
                    text: "toPeak"
                    onTriggered: panel.markerModel.markerToPeak(row.markerId)
                }
                UiButton {
                    objectName: "mkCentMk" + row.markerId
                    text: "Cent=MK"
                    onTriggered: panel.markerModel.jumpCenterToMarker(row.markerId)
                }
                UiButton {
                    objectName: "mkToCent" + row.markerId
                    text: "toCent"
                    onTriggered: panel.markerModel.markerToCenter(row.markerId)
                }
            }
        }
        // qmllint enable unqualified
    }
}
