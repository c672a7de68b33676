import QtQuick 2.15

// The caption above a control.
Text {
    color: "#8AA2B2"
    font.pixelSize: 12
}
