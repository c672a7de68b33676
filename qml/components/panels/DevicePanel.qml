import QtQuick 2.15
import "../.."
import ".."
import "../../logic"
import "../../logic/PanelLogic.js" as PanelLogic

// The receiver: connect, which receiver, its front-end settings and centre frequency, apply,
// start and stop, and the latest status line. It also routes every controller message to the
// log and the status places, and the controller's automatic adjustments into the AUTO badge.
Panel {
    id: panel

    required property var rtsa
    required property AppState app

    readonly property bool connected: rtsa ? rtsa.connected : false
    readonly property bool running: rtsa ? rtsa.running : false

    // Sends the panel's settings: only what changed since the last apply, or all of it.
    function apply(force) {
        const args = [rtsa, app.centerFreqMHz, Number(app.usrpRateValue), app.rzPortValue, Number(app.rzAttValue),
                      Number(app.rzPreampValue), Number(app.rzIfGainValue)]
        if (force)
            app.applyParamsForce(...args)
        else
            app.applyParamsIfChanged(...args)
    }

    title: "Device"
    collapsible: false
    controlsEnabled: rtsa !== null

    Connections {
        target: panel.rtsa
        function onLogEntry(msg, level, statistic) {
            panel.app.dispatchLogEntry(msg, level, statistic)
        }
        // A clamped resolution target or a DSP overload, announced each time, even when its
        // text is the same as last time's.
        function onAutoAdjustmentChanged() {
            panel.app.pushAutoAdjust(panel.rtsa.autoAdjustment)
        }
        function onConnectedChanged() {
            if (panel.rtsa.connected && panel.app.applyParamsOnConnect) {
                panel.app.applyParamsOnConnect = false
                panel.apply(false)
            }
        }
        function onCenterFreqChanged(freqMHz) {
            panel.app.centerFreqMHz = freqMHz
            panel.app.lastAppliedFreqMHz = freqMHz
        }
    }

    UiButton {
        objectName: "connectButton"
        width: panel.contentWidth
        enabled: panel.rtsa !== null
        text: panel.connected ? "Disconnect" : "Connect"
        onTriggered: {
            if (panel.connected) {
                panel.rtsa.disconnectDevice()
                return
            }
            // The front end as the panel shows it (kept from the last run) goes out once connected.
            panel.app.applyParamsOnConnect = true
            panel.rtsa.connectDevice()
        }
    }

    UiDropDown {
        objectName: "deviceDropDown"
        width: panel.contentWidth
        text: panel.rtsa && panel.rtsa.deviceSelection !== "" ? panel.rtsa.deviceSelection : "Auto"
        onAboutToOpen: model = panel.rtsa.deviceList()
        onActivated: (index, entry) => panel.rtsa.deviceSelection = entry.args
    }

    Text {
        objectName: "serialText"
        text: "SN " + (panel.rtsa && panel.rtsa.deviceSerial !== "" ? panel.rtsa.deviceSerial : "--")
        color: "#AEB6C0"
        font.pixelSize: 12
    }

    // The receiver's own settings; every choice is sent at once if it changed anything.
    Column {
        width: panel.contentWidth
        spacing: 8
        visible: panel.rtsa !== null && panel.rtsa.deviceBackend === "RZ640"

        FieldLabel { text: "Port" }
        ChoiceRow {
            width: parent.width
            namePrefix: "port"
            choices: [{ label: "Port1", value: 0 }, { label: "Port2", value: 1 }]
            current: panel.app.rzPortValue
            onChosen: (value) => {
                panel.app.rzPortValue = value
                panel.apply(false)
            }
        }

        FieldLabel { text: "Center Frequency (MHz)" }
        // Enter tunes at once while connected.
        FrequencyField {
            objectName: "centerFreqField"
            width: parent.width
            valueText: panel.app.centerFreqMHz.toFixed(6)
            onAccepted: (hz) => {
                panel.app.centerFreqMHz = hz / 1e6
                panel.apply(false)
            }
        }

        FieldLabel { text: "Rate/BW (MSps)" }
        ChoiceRow {
            width: parent.width
            namePrefix: "rate"
            choices: ["2", "5", "10", "20", "30"]
            current: panel.app.usrpRateValue
            onChosen: (value) => {
                panel.app.usrpRateValue = value
                panel.apply(false)
            }
        }

        UiButton {
            objectName: "applyButton"
            width: parent.width
            text: "Apply"
            enabled: panel.connected
            onTriggered: panel.apply(true)
        }

        Row {
            spacing: 8
            UiButton {
                objectName: "startButton"
                width: (panel.contentWidth - 8) / 2
                text: "Start"
                toolTip: "Start acquisition (Space)"
                enabled: panel.connected && !panel.running
                onTriggered: panel.rtsa.startRx()
            }
            UiButton {
                objectName: "stopButton"
                width: (panel.contentWidth - 8) / 2
                text: "Stop"
                toolTip: "Stop acquisition (Space)"
                enabled: panel.connected && panel.running
                onTriggered: panel.rtsa.stopRx()
            }
        }

        FieldLabel { text: "ATT (dB)" }
        ChoiceRow {
            width: parent.width
            namePrefix: "att"
            choices: ["0", "10", "20", "30"]
            current: panel.app.rzAttValue
            onChosen: (value) => {
                panel.app.rzAttValue = value
                panel.apply(false)
            }
        }

        FieldLabel { text: "PreAmp (dB)" }
        ChoiceRow {
            width: parent.width
            namePrefix: "preamp"
            choices: ["0", "20", "40"]
            current: panel.app.rzPreampValue
            onChosen: (value) => {
                panel.app.rzPreampValue = value
                panel.apply(false)
            }
        }

        FieldLabel { text: "IF Gain (dB)" }
        ChoiceRow {
            width: parent.width
            namePrefix: "ifGain"
            choices: ["0", "10", "20", "30"]
            current: panel.app.rzIfGainValue
            onChosen: (value) => {
                panel.app.rzIfGainValue = value
                panel.apply(false)
            }
        }
    }

    StatusText {
        objectName: "deviceStatusText"
        width: panel.contentWidth
        text: "status: " + (panel.app.lastMessage !== "" ? panel.app.lastMessage : "idle")
        color: PanelLogic.levelColor(panel.app.lastMessageLevel, "#AEB6C0")
    }
    StatusText {
        objectName: "rxStatusText"
        width: panel.contentWidth
        text: panel.app.rxStatus
        color: "#4FC3F7"
    }
}
