import QtQuick 2.15

// A one-line text field; editingFinished() on Enter or when it loses the focus. `edited` is
// true from the user's first keystroke until then, so that an owner can keep the text up to
// date without overwriting what is being typed.
Rectangle {
    id: field

    property alias text: input.text
    property bool edited: false

    signal editingFinished()

    implicitWidth: 120
    implicitHeight: input.implicitHeight + 10
    radius: 4
    color: "#15181C"
    border.color: input.activeFocus ? "#69A7FF" : "#3A404A"
    opacity: enabled ? 1.0 : 0.5

    TextInput {
        id: input
        anchors.fill: parent
        anchors.leftMargin: 6
        anchors.rightMargin: 6
        verticalAlignment: TextInput.AlignVCenter
        color: "#E0E6ED"
        selectionColor: "#2F6FB0"
        selectByMouse: true
        clip: true
        font.pixelSize: 12
        onTextEdited: field.edited = true
        onEditingFinished: {
            field.edited = false
            field.editingFinished()
        }
    }
}
