import QtQuick 2.15
import QtQuick.Window 2.15

// A status in a place of fixed size: one line, cut short with "..." when it does not fit, so
// that nothing around it moves when it changes; hovering shows the whole text above the window.
Text {
    id: status

    height: fullMetrics.height
    elide: Text.ElideRight
    maximumLineCount: 1
    wrapMode: Text.NoWrap
    font.pixelSize: 12

    FontMetrics {
        id: fullMetrics
        font: status.font
    }

    MouseArea {
        id: hover
        anchors.fill: parent
        hoverEnabled: true
        acceptedButtons: Qt.NoButton
    }

    // Lives on the window's content so that no sibling or column covers or clips it.
    Rectangle {
        id: whole
        objectName: status.objectName + "Whole"
        readonly property Item host: status.Window.window ? status.Window.window.contentItem : null
        readonly property point at: host ? status.mapToItem(host, 0, status.height + 4) : Qt.point(0, 0)
        parent: host ? host : status
        visible: hover.containsMouse && status.truncated
        z: 1000
        width: Math.min(wholeText.implicitWidth + 12, host ? host.width - 16 : 600)
        height: wholeText.implicitHeight + 8
        x: host ? Math.max(8, Math.min(at.x, host.width - width - 8)) : 0
        y: at.y
        radius: 4
        color: "#2A2F36"
        border.color: "#4A525C"

        Text {
            id: wholeText
            x: 6
            y: 4
            width: whole.width - 12
            text: status.text
            color: status.color
            font: status.font
            wrapMode: Text.Wrap
        }
    }
}
