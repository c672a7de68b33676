import QtQuick 2.15
import NorvaleRTSA 1.0
import "../logic/SpectrumMath.js" as SpectrumMath

// The markers over the trace: a line and a triangle above the marker's level each. A marker
// that is not following the peak can be pressed and dragged to another frequency.
Item {
    id: overlay

    required property var rtsa
    required property SpectrumView view

    readonly property var markerModel: rtsa && rtsa.markersModel ? rtsa.markersModel : null

    function freqAt(x) {
        return SpectrumMath.freqForX(x, view.viewMinFreqHz, view.viewMaxFreqHz, view.centerFreqHz, width)
    }

    Repeater {
        model: overlay.markerModel
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: Item {
            id: marker

            required property var model
            readonly property real markerX: SpectrumMath.xForFreq(model.freqHz, overlay.view.viewMinFreqHz,
                                                                  overlay.view.viewMaxFreqHz, overlay.width)
            readonly property real levelY: SpectrumMath.yForLevel(model.ampDb, overlay.view.minDb, overlay.view.maxDb,
                                                                   overlay.height)
            readonly property color markerColor: model.color

            objectName: "marker" + model.id
            // Outside a zoomed view a marker is not drawn at its edge.
            visible: model.freqHz >= overlay.view.viewMinFreqHz && model.freqHz <= overlay.view.viewMaxFreqHz
            // A hit area a little wider than the line, centred on it.
            x: Math.round(markerX) - 6
            width: 13
            height: overlay.height

            Rectangle {
                x: 6
                width: 1
                height: parent.height
                color: marker.markerColor
                opacity: 0.55
            }

            Canvas {
                id: triangle
                width: 13
                height: 8
                y: marker.levelY - 2 - height
                onPaint: {
                    const ctx = getContext("2d")
                    ctx.reset()
                    ctx.fillStyle = marker.markerColor
                    ctx.beginPath()
                    ctx.moveTo(0.5, 0)
                    ctx.lineTo(12.5, 0)
                    ctx.lineTo(6.5, 8)
                    ctx.closePath()
                    ctx.fill()
                }
                Connections {
                    target: marker
                    function onMarkerColorChanged() { triangle.requestPaint() }
                }
            }

            MouseArea {
                anchors.fill: parent
                enabled: !marker.model.autoPeakEnabled
                cursorShape: Qt.SizeHorCursor
                // A double click on a marker (the first click of one puts the demodulator's marker
                // under the pointer) is the view's, which shows the whole band.
                propagateComposedEvents: true
                onDoubleClicked: (mouse) => mouse.accepted = false
                function moveTo(mouseX) {
                    overlay.markerModel.setMarkerFreq(marker.model.id, overlay.freqAt(mapToItem(overlay, mouseX, 0).x))
                }
                onPressed: (mouse) => moveTo(mouse.x)
                onPositionChanged: (mouse) => moveTo(mouse.x)
            }
        }
        // qmllint enable unqualified
    }
}
