import QtQuick 2.15
import NorvaleRTSA 1.0
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
    readonly property bool rz640: rtsa !== null && rtsa.deviceBackend === "RZ640"
    readonly property var frontEnd: rtsa && !rz640 ? rtsa.deviceFrontEnd : ({})

    // "Recording…" was chosen in the device list: the recording's panel asks for the file.
    signal recordingChosen()

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
                // A receiver that cannot run at the panel's rate starts at the fastest it can.
                const rates = panel.rz640 ? [] : (panel.frontEnd.ratesMsps || []).map(String)
                if (rates.length > 0 && !rates.includes(panel.app.usrpRateValue))
                    panel.app.usrpRateValue = rates[rates.length - 1]
                panel.apply(false)
            }
        }
        function onDeviceListChanged() {
            deviceDropDown.model = panel.rtsa.deviceList()
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

    // Shows what is known at once; the search (which across the network takes a while) runs
    // off the window's thread and replaces the list when it is done.
    UiDropDown {
        id: deviceDropDown
        objectName: "deviceDropDown"
        width: panel.contentWidth
        // The selection by its label in the list, where it is there (a receiver's arguments are
        // for SoapySDR, not for people).
        readonly property var chosen: panel.rtsa ? model.find(entry => entry.args === panel.rtsa.deviceSelection) : undefined
        text: panel.rtsa && panel.rtsa.deviceSelection !== ""
              ? (chosen !== undefined ? chosen.label : panel.rtsa.deviceSelection) : "Auto"
        onAboutToOpen: {
            model = panel.rtsa.deviceList()
            panel.rtsa.refreshDeviceList()
        }
        onActivated: (index, entry) => {
            panel.rtsa.deviceSelection = entry.args
            if (entry.args === "Recording\u2026")
                panel.recordingChosen()
        }
    }

    Text {
        objectName: "serialText"
        text: "SN " + (panel.rtsa && panel.rtsa.deviceSerial !== "" ? panel.rtsa.deviceSerial : "--")
        color: "#AEB6C0"
        font.pixelSize: 12
    }

    // The receiver's settings; every choice is sent at once if it changed anything. The RZ640's
    // front end has its fixed rows; another receiver shows the stages it has.
    Column {
        width: panel.contentWidth
        spacing: 8
        visible: panel.rtsa !== null

        FieldLabel { text: "Port"; visible: panel.rz640 }
        ChoiceRow {
            visible: panel.rz640
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
            choices: Settings.receiver.ratesMsps.map(String)
            enabledValues: panel.rz640 ? null : (panel.frontEnd.ratesMsps || []).map(String)
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

        FieldLabel { text: "ATT (dB)"; visible: panel.rz640 }
        ChoiceRow {
            visible: panel.rz640
            width: parent.width
            namePrefix: "att"
            choices: ["0", "10", "20", "30"]
            current: panel.app.rzAttValue
            onChosen: (value) => {
                panel.app.rzAttValue = value
                panel.apply(false)
            }
        }

        FieldLabel { text: "PreAmp (dB)"; visible: panel.rz640 }
        ChoiceRow {
            visible: panel.rz640
            width: parent.width
            namePrefix: "preamp"
            choices: ["0", "20", "40"]
            current: panel.app.rzPreampValue
            onChosen: (value) => {
                panel.app.rzPreampValue = value
                panel.apply(false)
            }
        }

        FieldLabel { text: "IF Gain (dB)"; visible: panel.rz640 }
        ChoiceRow {
            visible: panel.rz640
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

    // A receiver other than the RZ640: its gain stages, automatic gain, antennas and correction.
    Column {
        objectName: "frontEndColumn"
        width: panel.contentWidth
        spacing: 8
        visible: panel.rtsa !== null && !panel.rz640 && panel.connected

        UiSwitch {
            objectName: "automaticGainSwitch"
            visible: panel.frontEnd.automaticGainAvailable === true
            text: "Automatic Gain"
            checked: panel.frontEnd.automaticGain === true
            onToggled: panel.rtsa.setDeviceAutomaticGain(!checked)
        }
        Repeater {
            model: panel.frontEnd.gains || []
            // The delegate reads ids of this document, which the linter cannot follow into it.
            // qmllint disable unqualified
            delegate: UiSlider {
                required property var modelData
                objectName: "gain" + modelData.name
                width: panel.contentWidth
                enabled: panel.frontEnd.automaticGain !== true
                text: modelData.name + " (dB): " + modelData.value
                from: modelData.min
                to: modelData.max
                stepSize: modelData.step > 0 ? modelData.step : 1
                value: modelData.value
                onMoved: (value) => panel.rtsa.setDeviceGain(modelData.name, value)
            }
            // qmllint enable unqualified
        }
        FieldLabel { text: "Antenna"; visible: antennaRow.choices.length > 1 }
        ChoiceRow {
            id: antennaRow
            width: parent.width
            visible: choices.length > 1
            namePrefix: "antenna"
            choices: panel.frontEnd.antennas || []
            current: panel.frontEnd.antenna
            onChosen: (value) => panel.rtsa.setDeviceAntenna(value)
        }
        UiSlider {
            objectName: "frequencyCorrectionSlider"
            width: panel.contentWidth
            visible: panel.frontEnd.frequencyCorrectionAvailable === true
            text: "Correction (ppm): " + Number(panel.frontEnd.frequencyCorrectionPpm || 0).toFixed(1)
            from: Settings.receiver.frequencyCorrectionPpm.min
            to: Settings.receiver.frequencyCorrectionPpm.max
            stepSize: Settings.receiver.frequencyCorrectionPpm.step
            value: panel.frontEnd.frequencyCorrectionPpm || 0
            onMoved: (value) => panel.rtsa.setDeviceFrequencyCorrection(value)
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
