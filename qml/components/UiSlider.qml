import QtQuick 2.15
import "../logic/PanelLogic.js" as PanelLogic

// A slider over from..to in steps of stepSize: a caption, a track filled up to the handle, and
// the handle. Pressing or dragging says moved(value) with the value under the pointer snapped
// to the step, continuously while dragging; the handle shows `value`, which its owner binds
// to the setting it writes.
Column {
    id: slider

    property string text: ""
    property real from: 0
    property real to: 1
    property real stepSize: 0.1
    property real value: from
    readonly property bool pressed: mouse.pressed

    signal moved(real value)

    spacing: 4
    opacity: enabled ? 1.0 : 0.5

    Text {
        text: slider.text
        color: "#C8D0D8"
        font.pixelSize: 12
    }

    Item {
        id: area
        width: slider.width
        height: 18

        readonly property real travel: width - handle.width
        readonly property real fraction: PanelLogic.sliderFraction(slider.value, slider.from, slider.to)

        Rectangle {
            id: track
            anchors.verticalCenter: parent.verticalCenter
            x: handle.width / 2
            width: area.travel
            height: 4
            radius: 2
            color: "#2D323A"

            Rectangle {
                width: area.fraction * track.width
                height: parent.height
                radius: 2
                color: "#2F6FB0"
            }
        }
        Rectangle {
            id: handle
            x: area.fraction * area.travel
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 14
            radius: 7
            color: mouse.pressed ? "#69A7FF" : "#E0E6ED"
        }
        MouseArea {
            id: mouse

            property real lastSent: NaN

            function send(x) {
                const v = PanelLogic.sliderValueAt(x - handle.width / 2, area.travel, slider.from, slider.to,
                                                   slider.stepSize)
                if (v !== lastSent) {
                    lastSent = v
                    slider.moved(v)
                }
            }

            anchors.fill: parent
            enabled: slider.enabled
            preventStealing: true
            onPressed: (event) => send(event.x)
            onPositionChanged: (event) => send(event.x)
            onReleased: lastSent = NaN
        }
    }
}
