import QtQuick 2.15
import QtQuick.Controls.Basic

// The flat button every panel uses: a label on a rectangle that follows hover, press and
// enabled state, and says triggered() when clicked.
Rectangle {
    id: button

    property string text: ""
    property color normalColor: "#2D323A"
    property color hoverColor: "#343B45"
    property color pressedColor: "#3A404A"
    property color disabledColor: "#2A2F36"
    property color textColor: "#E0E6ED"
    property color disabledTextColor: "#6D7A86"
    property int normalBorderWidth: 0
    property int hoverBorderWidth: 0
    property int pressedBorderWidth: 0
    property int disabledBorderWidth: 0
    // Shown after the pointer rests on the button, e.g. its keyboard shortcut.
    property string toolTip: ""
    // Room between the label and the button's left and right edges.
    property int labelInset: 10
    readonly property bool hovered: mouse.containsMouse
    readonly property bool pressed: mouse.pressed

    signal triggered()

    implicitWidth: label.implicitWidth + 2 * labelInset
    implicitHeight: label.implicitHeight + 12
    radius: 4
    ToolTip.visible: toolTip !== "" && hovered
    ToolTip.delay: 800
    ToolTip.text: toolTip
    color: !enabled ? disabledColor : (pressed ? pressedColor : (hovered ? hoverColor : normalColor))
    border.color: "#69A7FF"
    border.width: !enabled ? disabledBorderWidth
                           : (pressed ? pressedBorderWidth : (hovered ? hoverBorderWidth : normalBorderWidth))

    Text {
        id: label
        anchors.fill: parent
        anchors.leftMargin: button.labelInset
        anchors.rightMargin: button.labelInset
        anchors.topMargin: 6
        anchors.bottomMargin: 6
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        text: button.text
        color: button.enabled ? button.textColor : button.disabledTextColor
        font.pixelSize: 12
        elide: Text.ElideRight
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        enabled: button.enabled
        onClicked: button.triggered()
    }
}
