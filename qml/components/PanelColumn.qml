import QtQuick 2.15

// A side column: panels stacked top to bottom in a vertical flickable, with a thin scroll
// indicator on the right edge once they no longer fit.
Item {
    id: column

    default property alias panels: stack.data
    // Width the panels should take, leaving room for the scroll indicator.
    readonly property real panelWidth: stack.width

    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: stack.implicitHeight
        flickableDirection: Flickable.VerticalFlick
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        Column {
            id: stack
            width: flick.width - 6
            spacing: 8
            topPadding: 8
            bottomPadding: 8
        }
    }

    Rectangle {
        visible: flick.contentHeight > flick.height
        anchors.right: parent.right
        width: 4
        radius: 2
        y: flick.visibleArea.yPosition * flick.height
        height: flick.visibleArea.heightRatio * flick.height
        color: "#4A525C"
    }
}
