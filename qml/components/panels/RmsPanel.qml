import QtQuick 2.15
import ".."
import "../../logic/PanelLogic.js" as PanelLogic

// The RF level of the receiver's input as a bar from -120 to 0 dBFS: green up to the level,
// amber from -30 dB and red from -20 dB as it reaches them, a needle at the level and the
// number beside, which moves only a few times a second so that it can be read.
Panel {
    id: panel

    required property var view

    readonly property var bar: PanelLogic.rfLevelBar(view ? view.rmsDb : NaN)

    title: "RF Level"
    collapsible: false

    Rectangle {
        id: track
        objectName: "rfLevelBar"
        width: panel.contentWidth
        height: 16
        radius: 3
        color: "#15181C"
        border.color: "#3A404A"

        Rectangle {
            objectName: "rfLevelFill"
            width: panel.bar.fill * track.width
            height: track.height
            radius: 3
            color: "#2A5B36"
        }
        Rectangle {
            objectName: "rfLevelAmber"
            visible: panel.bar.amber !== null
            x: visible ? panel.bar.amber.from * track.width : 0
            width: visible ? (panel.bar.amber.to - panel.bar.amber.from) * track.width : 0
            height: track.height
            color: "#7A6A2A"
        }
        Rectangle {
            objectName: "rfLevelRed"
            visible: panel.bar.red !== null
            x: visible ? panel.bar.red.from * track.width : 0
            width: visible ? (panel.bar.red.to - panel.bar.red.from) * track.width : 0
            height: track.height
            color: "#6B2D26"
        }
        Rectangle {
            objectName: "rfLevelNeedle"
            x: Math.min(track.width - width, Math.max(0, panel.bar.fill * track.width - width / 2))
            width: 2
            height: track.height
            color: "#E0E6ED"
        }
    }

    Text {
        objectName: "rfLevelText"
        text: panel.view ? PanelLogic.rfLevelBar(panel.view.rmsReadingDb).level.toFixed(2) + " dBFS" : "-- dBFS"
        color: "#E0E6ED"
        font.pixelSize: 13
        font.family: "monospace"
    }
}
