import QtQuick 2.15
import NorvaleRTSA 1.0
import "../.."
import ".."
import "../../logic"
import "../../logic/PanelLogic.js" as PanelLogic

// The log: every controller message with its time, coloured by its level or by what it is
// about, from a chosen level up. The figures reported every second have their own places in the
// window and join the log only in verbose mode. Lines wrap to the panel's width; unwrapped, the
// view scrolls both ways.
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
            visible: !panel.app.logWrap
            text: "Shift+Wheel: H-Scroll"
            color: "#6D7A86"
            font.pixelSize: 11
        }
    }

    FieldLabel { text: "Show" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "logLevel"
        choices: [{ label: "All", value: Settings.Info }, { label: "Warnings", value: Settings.Warning },
                  { label: "Errors", value: Settings.Error }]
        current: panel.app.logMinLevel
        onChosen: (value) => panel.app.logMinLevel = value
    }
    UiSwitch {
        objectName: "logVerboseSwitch"
        width: panel.contentWidth
        text: "Verbose (figures every second)"
        checked: panel.app.logVerbose
        onToggled: panel.app.logVerbose = !checked
    }
    UiSwitch {
        objectName: "logWrapSwitch"
        width: panel.contentWidth
        text: "Wrap Lines"
        checked: panel.app.logWrap
        onToggled: panel.app.logWrap = !checked
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
            contentWidth: panel.app.logWrap ? width : Math.max(width, logText.implicitWidth)
            contentHeight: Math.max(height, logText.implicitHeight)
            boundsBehavior: Flickable.StopAtBounds
            // The newest line is at the bottom: keep it in sight as lines arrive.
            onContentHeightChanged: contentY = Math.max(0, contentHeight - height)

            Text {
                id: logText
                objectName: "logText"
                width: panel.app.logWrap ? view.width : implicitWidth
                wrapMode: panel.app.logWrap ? Text.Wrap : Text.NoWrap
                textFormat: Text.RichText
                text: PanelLogic.logHtml(panel.app.logHistory, panel.app.logMinLevel)
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
