import QtQuick
import QtQuick.Window
import NorvaleRTSA 1.0

Window {
    id: root
    title: "NorvaleRTSA"
    width: 1760
    height: 980
    visible: true
    color: "#15181C"

    property string lastMessage: ""

    // A flat button of the control strip; a toggle shows its state in the accent colour.
    component StripButton: Rectangle {
        id: button
        property string text: ""
        property bool checked: false
        property bool enabledState: true
        signal clicked()

        width: Math.max(96, label.implicitWidth + 28)
        height: 30
        radius: 4
        color: checked ? "#2F6FB2" : (mouse.pressed ? "#3A414B" : "#262B32")
        border.color: checked ? "#5A9BE0" : "#3A414B"
        opacity: enabledState ? 1.0 : 0.45

        Text {
            id: label
            anchors.centerIn: parent
            text: button.text
            color: "#E6E9ED"
            font.pixelSize: 14
        }
        MouseArea {
            id: mouse
            anchors.fill: parent
            enabled: button.enabledState
            onClicked: button.clicked()
        }
    }

    Connections {
        target: rtsa
        function onLogMessage(msg) { root.lastMessage = msg }
        // The receiver starts on the front-end settings its levels are calibrated for.
        function onConnectedChanged() {
            if (rtsa.connected)
                rtsa.applyParams(1000.0, 20.0, 0, 0, 20, 30)
        }
    }

    Component.onCompleted: {
        rtsa.rbwTargetHz = 10000
        rtsa.densityHitGain = 5.0
        rtsa.waterfallLines = 300
    }

    // Until the full control panels exist: connect, start and stop, and the two displays.
    Row {
        id: strip
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 8
        spacing: 8

        StripButton {
            objectName: "connectButton"
            text: rtsa.connected ? "Disconnect" : "Connect"
            onClicked: rtsa.connected ? rtsa.disconnectDevice() : rtsa.connectDevice()
        }
        StripButton {
            objectName: "startButton"
            text: "Start"
            enabledState: !rtsa.running
            onClicked: rtsa.startRx()
        }
        StripButton {
            objectName: "stopButton"
            text: "Stop"
            enabledState: rtsa.running
            onClicked: rtsa.stopRx()
        }
        StripButton {
            objectName: "densityToggle"
            text: "Density"
            checked: rtsa.densityEnabled
            onClicked: rtsa.densityEnabled = !rtsa.densityEnabled
        }
        StripButton {
            objectName: "waterfallToggle"
            text: "Waterfall"
            checked: rtsa.waterfallEnabled
            onClicked: rtsa.waterfallEnabled = !rtsa.waterfallEnabled
        }
        Text {
            objectName: "statusText"
            height: 30
            width: strip.width - x
            verticalAlignment: Text.AlignVCenter
            leftPadding: 8
            elide: Text.ElideRight
            color: "#AEB6C0"
            font.pixelSize: 14
            text: (rtsa.connected ? rtsa.deviceName + "  " : "") + root.lastMessage
        }
    }

    // The spectrum area: a synthetic spectrum until acquisition starts.
    SpectrumView {
        id: spectrum
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: strip.bottom
        anchors.bottom: parent.bottom
        anchors.margins: 8
        demo: true
        peakLineEnabled: true
        waterfallEnabled: rtsa.waterfallEnabled
        Component.onCompleted: rtsa.spectrumItem = spectrum
    }
}
