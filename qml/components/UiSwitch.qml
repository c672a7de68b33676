import QtQuick 2.15

// A labelled on/off switch. It shows `checked` and says toggled() when clicked anywhere on
// its row; what changes is up to its owner, so the switch always shows the real state.
Item {
    id: toggle

    property string text: ""
    property bool checked: false

    signal toggled()

    implicitWidth: label.implicitWidth + 8 + track.width + 8 + state.implicitWidth
    implicitHeight: Math.max(label.implicitHeight, track.height)
    opacity: enabled ? 1.0 : 0.5

    Text {
        id: label
        anchors.verticalCenter: parent.verticalCenter
        text: toggle.text
        color: "#C8D0D8"
        font.pixelSize: 12
    }
    Text {
        id: state
        anchors.right: track.left
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        text: toggle.checked ? "On" : "Off"
        color: toggle.checked ? "#69A7FF" : "#6D7A86"
        font.pixelSize: 12
    }
    Rectangle {
        id: track
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        width: 36
        height: 18
        radius: 9
        color: toggle.checked ? "#2F6FB0" : "#2D323A"
        border.color: "#3A404A"

        Rectangle {
            x: toggle.checked ? parent.width - width - 2 : 2
            anchors.verticalCenter: parent.verticalCenter
            width: 14
            height: 14
            radius: 7
            color: "#E0E6ED"
        }
    }
    MouseArea {
        anchors.fill: parent
        enabled: toggle.enabled
        onClicked: toggle.toggled()
    }
}
