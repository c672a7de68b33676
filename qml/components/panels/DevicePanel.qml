import QtQuick 2.15
import "../.."
import "../../logic"
import "../../logic/SpectrumMath.js" as SpectrumMath

// The receiver: connect, rate/bandwidth, start and stop, and the latest status line. It also
// routes every controller message into the log and the status texts.
Rectangle {
    id: panel

    required property var rtsa
    required property AppState app

    // The centre frequency as last applied or reported, in MHz.
    property string centerFreqText: "1000"
    readonly property bool connected: rtsa ? rtsa.connected : false
    readonly property bool running: rtsa ? rtsa.running : false

    function applyIfChanged() {
        app.applyParamsIfChanged(rtsa, SpectrumMath.parseCenterMHz(centerFreqText), Number(app.usrpRateValue),
                                 app.rzPortValue, Number(app.rzAttValue), Number(app.rzPreampValue),
                                 Number(app.rzIfGainValue))
    }

    implicitHeight: content.implicitHeight + 24
    radius: 8
    color: "#1E2228"

    Connections {
        target: panel.rtsa
        function onLogMessage(msg) {
            status.text = "status: " + msg
            panel.app.dispatchLogMessage(msg)
            if (msg.indexOf("RBW target too low") >= 0 || msg.indexOf("DSP overload:") >= 0)
                panel.app.pushAutoAdjust(msg)
        }
        function onConnectedChanged() {
            if (panel.rtsa.connected && panel.app.applyParamsOnConnect) {
                panel.app.applyParamsOnConnect = false
                panel.applyIfChanged()
            }
        }
        function onCenterFreqChanged(freqMHz) {
            panel.centerFreqText = freqMHz.toFixed(6)
            panel.app.lastAppliedFreqMHz = freqMHz
        }
    }

    Column {
        id: content
        x: 12
        y: 12
        width: parent.width - 24
        spacing: 8

        Text {
            text: "Device"
            color: "#E0E6ED"
            font.pixelSize: 14
            font.bold: true
        }

        UiButton {
            objectName: "connectButton"
            width: parent.width
            enabled: panel.rtsa !== null
            text: panel.connected ? "Disconnect" : "Connect"
            onTriggered: {
                if (panel.connected) {
                    panel.rtsa.disconnectDevice()
                    return
                }
                panel.app.usrpRateValue = "20"
                panel.app.rzPortValue = 0
                panel.app.rzAttValue = "0"
                panel.app.rzPreampValue = "20"
                panel.app.rzIfGainValue = "30"
                panel.app.applyParamsOnConnect = true
                panel.rtsa.connectDevice()
            }
        }

        Text {
            text: "Rate/BW (MSps)"
            color: "#8AA2B2"
            font.pixelSize: 12
        }
        Row {
            id: rates
            spacing: 4
            Repeater {
                model: ["2", "5", "10", "20", "30"]
                // The delegate reads ids of this document, which the linter cannot follow into it.
                // qmllint disable unqualified
                delegate: UiButton {
                    required property string modelData
                    objectName: "rate" + modelData
                    width: (rates.parent.width - 4 * rates.spacing) / 5
                    text: modelData
                    normalColor: panel.app.usrpRateValue === modelData ? "#2F3945" : "#232831"
                    onTriggered: {
                        panel.app.usrpRateValue = modelData
                        panel.applyIfChanged()
                    }
                }
                // qmllint enable unqualified
            }
        }

        Row {
            spacing: 8
            UiButton {
                objectName: "startButton"
                width: (content.width - 8) / 2
                text: "Start"
                enabled: panel.connected && !panel.running
                onTriggered: panel.rtsa.startRx()
            }
            UiButton {
                objectName: "stopButton"
                width: (content.width - 8) / 2
                text: "Stop"
                enabled: panel.connected && panel.running
                onTriggered: panel.rtsa.stopRx()
            }
        }

        Text {
            id: status
            objectName: "deviceStatusText"
            width: parent.width
            text: "status: idle"
            color: "#AEB6C0"
            font.pixelSize: 12
            wrapMode: Text.Wrap
        }
    }
}
