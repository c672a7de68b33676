import QtQuick 2.15
import "../logic/FrequencyText.js" as FrequencyText

// A field for a frequency: what FrequencyText reads ("99.4M", "433.92 MHz", "2.4G", or a plain
// number in `unitHz`), taken with Enter or when the field is left. A frequency goes out with
// accepted(hz); anything else is refused with a message under the field, which keeps showing
// `valueText` (the owner's current value) until the next keystroke. The message floats over
// what lies below, so nothing moves.
UiTextField {
    id: field

    property string valueText: ""
    property real unitHz: 1e6
    property string error: ""
    // Set by the first keystroke: leaving a field that was not typed into changes nothing.
    property bool typed: false

    signal accepted(real hz)

    text: valueText
    z: error !== "" ? 10 : 0

    onValueTextChanged: if (!edited) text = valueText
    onEditedChanged: {
        if (edited) {
            error = ""
            typed = true
        }
    }
    onEditingFinished: {
        if (!typed)
            return
        typed = false
        const result = FrequencyText.parse(text, unitHz)
        error = result.error !== undefined ? result.error : ""
        text = valueText
        if (result.hz !== undefined)
            accepted(result.hz)
    }

    Rectangle {
        objectName: field.objectName + "Error"
        visible: field.error !== ""
        y: field.height + 2
        width: field.width
        height: errorText.implicitHeight + 6
        radius: 3
        color: "#3A2220"
        border.color: "#FF6B5E"

        Text {
            id: errorText
            objectName: field.objectName + "ErrorText"
            x: 6
            y: 3
            width: field.width - 12
            text: field.error
            color: "#FF6B5E"
            font.pixelSize: 11
            wrapMode: Text.Wrap
        }
    }
}
