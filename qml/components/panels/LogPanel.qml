import QtQuick 2.15
import "../.."
import ".."
import "../../logic"
import "../../logic/PanelLogic.js" as PanelLogic

// The log: every controller message with its time, coloured by what it is about, in a view
// that scrolls both ways.
Panel {
    id: panel

    required property AppState app

    title: "Log"

    Row {
        spacing: 8
        UiButton {
            objectName: "logClearButton"
            text: "Clear"
            onTriggered: panel.app.clearLog()
        }
        Text {
            objectName: "logHint"
            anchors.verticalCenter: parent.verticalCenter
            text: "Shift+Wheel: H-Scroll"
            color: "#6D7A86"
            font.pixelSize: 11
        }
    }

    Rectangle {
        width: panel.contentWidth
        height: 240
        radius: 4
        color: "#15181C"

        Flickable {
            id: view
            anchors.fill: parent
            anchors.margins: 6
            clip: true
            contentWidth: Math.max(width, logText.implicitWidth)
            contentHeight: Math.max(height, logText.implicitHeight)
            boundsBehavior: Flickable.StopAtBounds
            // The newest line is at the bottom: keep it in sight as lines arrive.
            onContentHeightChanged: contentY = Math.max(0, contentHeight - height)

            Text {
                id: logText
                objectName: "logText"
                textFormat: Text.RichText
                text: PanelLogic.logHtml(panel.app.logHistory)
                font.pixelSize: 11
                font.family: "monospace"
            }

            // Vertical wheel scrolls up and down; with Shift held it scrolls sideways.
            WheelHandler {
                acceptedModifiers: Qt.ShiftModifier
                onWheel: (event) => {
                    const delta = event.angleDelta.y !== 0 ? event.angleDelta.y : event.angleDelta.x
                    view.contentX = Math.max(0, Math.min(view.contentWidth - view.width, view.contentX - delta))
                }
            }
        }
    }
}
