import QtQuick 2.15

// The frame every control panel sits in: a rounded box with a title row over its controls.
// A collapsible panel starts folded; a click on its title row opens or folds it, and the
// row shows ">" while folded and "v" while open.
Rectangle {
    id: panel

    property string title: ""
    property bool collapsible: true
    property bool expanded: false
    // What the panel shows below its title, laid out top to bottom.
    default property alias content: body.data
    readonly property bool open: !collapsible || expanded
    // The room the controls have, inside the frame's padding.
    readonly property real contentWidth: width - 24
    // Off while there is nothing for the controls to act on; the title row still folds.
    property bool controlsEnabled: true

    implicitHeight: header.height + (open ? body.implicitHeight + 8 : 0) + 20
    radius: 8
    color: "#1E2228"

    Item {
        id: header
        objectName: panel.objectName + "Header"
        x: 12
        y: 10
        width: panel.contentWidth
        height: titleText.implicitHeight

        Text {
            id: titleText
            text: panel.title
            color: "#E0E6ED"
            font.pixelSize: 14
            font.bold: true
        }
        Text {
            anchors.right: parent.right
            visible: panel.collapsible
            text: panel.expanded ? "v" : ">"
            color: "#8AA2B2"
            font.pixelSize: 14
            font.bold: true
        }
        MouseArea {
            anchors.fill: parent
            enabled: panel.collapsible
            onClicked: panel.expanded = !panel.expanded
        }
    }

    Column {
        id: body
        x: 12
        y: header.y + header.height + 8
        width: panel.contentWidth
        spacing: 8
        visible: panel.open
        enabled: panel.controlsEnabled
    }
}
