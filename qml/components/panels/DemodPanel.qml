import QtQuick 2.15
import NorvaleRTSA 1.0
import "../.."
import ".."
import "../../logic"
import "../../logic/PanelLogic.js" as PanelLogic

// The demodulator and its audio output: on and off, the audio device and its buffer, the
// frequency it follows, FM deviation and stereo, audio filters and gain, the squelch, and the
// output channels.
Panel {
    id: panel

    required property var rtsa
    required property AppState app
    required property var view

    readonly property var markerModel: rtsa && rtsa.markersModel ? rtsa.markersModel : null
    readonly property string deviceName: rtsa ? rtsa.audioDeviceName : ""
    readonly property bool stereoOn: rtsa ? rtsa.newDemodFmStereoEnabled : false
    // Set when demodulation was asked for without an audio device to play it.
    property bool deviceWarning: false
    property var bufferSizes: []
    property var outputChannels: []
    // What the binding points at now, NaN when nothing.
    property real boundFreqHz: NaN
    readonly property real viewCenterHz: view ? view.centerFreqHz : NaN

    // Demodulation plays through the audio output, so both go on and off together; switching
    // on needs a device, and without one the device list opens instead.
    function setDemodEnabled(on) {
        if (on && deviceName === "") {
            deviceWarning = true
            audioDevice.popup()
            return
        }
        rtsa.newDemodEnabled = on
        rtsa.audioEnabled = on
    }

    function rebuildBufferSizes() {
        const choice = PanelLogic.bufferSizeChoices(rtsa.audioBufferSizeInfo(deviceName), Settings.audio.bufferFrames)
        if (choice.sizes.length === 0)
            console.warn("DemodPanel: no buffer sizes for audio device \"" + deviceName + "\"")
        bufferSizes = choice.sizes
        if (choice.selected > 0)
            rtsa.audioBufferFrames = choice.selected
    }

    function refreshOutputChannels() {
        outputChannels = deviceName !== "" ? rtsa.audioOutputChannels(deviceName) : []
    }

    // The driver's own settings dialog; audio stops around it, and its buffer sizes may change.
    function showControlPanel() {
        const wasOn = rtsa.audioEnabled
        if (wasOn)
            rtsa.audioEnabled = false
        rtsa.showAudioControlPanel(deviceName)
        rebuildBufferSizes()
        if (wasOn)
            rtsa.audioEnabled = true
    }

    // Sends the bound frequency to the demodulator, when there is one.
    function refreshBinding() {
        boundFreqHz = PanelLogic.boundDemodFreqHz(app.newDemodMarkerId, viewCenterHz, markerModel)
        if (rtsa && PanelLogic.isUsableFreq(boundFreqHz))
            rtsa.newDemodFreqHz = boundFreqHz
    }

    title: "Demod"
    controlsEnabled: rtsa !== null

    onViewCenterHzChanged: {
        if (app.newDemodMarkerId === PanelLogic.kBindCenter)
            refreshBinding()
    }
    onDeviceNameChanged: {
        if (deviceName === "")
            return
        rebuildBufferSizes()
        refreshOutputChannels()
    }
    Component.onCompleted: {
        if (deviceName !== "") {
            rebuildBufferSizes()
            refreshOutputChannels()
        }
        refreshBinding()
    }

    Connections {
        target: panel.app
        function onNewDemodMarkerIdChanged() { panel.refreshBinding() }
    }
    Connections {
        target: panel.markerModel
        function onDataChanged() { panel.refreshBinding() }
        function onRowsInserted() { panel.refreshBinding() }
        function onRowsRemoved() { panel.refreshBinding() }
        function onModelReset() { panel.refreshBinding() }
    }

    UiSwitch {
        objectName: "demodSwitch"
        width: panel.contentWidth
        text: "Demod"
        checked: panel.rtsa ? panel.rtsa.newDemodEnabled : false
        onToggled: panel.setDemodEnabled(!checked)
    }
    // Warnings and hints keep their line when they are not shown, so that nothing below moves.
    Item {
        width: panel.contentWidth
        height: deviceWarningText.implicitHeight
        Text {
            id: deviceWarningText
            objectName: "audioDeviceWarning"
            visible: panel.deviceWarning
            text: "Select Audio Device"
            color: "#FF6B5E"
            font.pixelSize: 12
        }
    }

    FieldLabel { text: "Audio Device" }
    UiDropDown {
        id: audioDevice
        objectName: "audioDeviceDropDown"
        width: panel.contentWidth
        text: panel.deviceName !== "" ? panel.deviceName : "Select Audio Device"
        onAboutToOpen: model = panel.rtsa.audioDevices()
        onActivated: (index, entry) => {
            panel.rtsa.audioDeviceName = entry
            panel.deviceWarning = false
        }
    }
    UiButton {
        objectName: "controlPanelButton"
        width: panel.contentWidth
        text: "ASIO Control Panel"
        enabled: panel.deviceName !== ""
        onTriggered: panel.showControlPanel()
    }

    FieldLabel { text: "Buffer Size (frames)" }
    UiDropDown {
        objectName: "bufferSizeDropDown"
        width: panel.contentWidth
        text: panel.rtsa ? String(panel.rtsa.audioBufferFrames) : "--"
        model: panel.bufferSizes
        onActivated: (index, entry) => panel.rtsa.audioBufferFrames = entry
    }

    UiSwitch {
        objectName: "testToneSwitch"
        width: panel.contentWidth
        text: "Test Tone"
        checked: panel.rtsa ? panel.rtsa.audioTestTone : false
        onToggled: panel.rtsa.audioTestTone = !checked
    }

    FieldLabel { text: "Demod Freq" }
    Text {
        objectName: "demodFreqText"
        text: panel.rtsa ? (panel.rtsa.newDemodFreqHz / 1e6).toFixed(6) + " MHz" : "--"
        color: "#E0E6ED"
        font.pixelSize: 13
        font.family: "monospace"
    }
    UiDropDown {
        objectName: "demodBindingDropDown"
        width: panel.contentWidth
        text: PanelLogic.bindingLabel(panel.app.newDemodMarkerId)
        onAboutToOpen: model = PanelLogic.bindingChoices(panel.markerModel)
        onActivated: (index, entry) => panel.app.newDemodMarkerId = entry.markerId
    }
    Text {
        objectName: "demodBoundText"
        text: PanelLogic.boundLine(panel.app.newDemodMarkerId, panel.boundFreqHz)
        color: "#AEB6C0"
        font.pixelSize: 12
    }

    FieldLabel { text: "FM Deviation (kHz)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "deviation"
        // The values are the discriminator's full scale; the labels the deviation a user knows.
        choices: PanelLogic.deviationChoices([2500, 5000, 15000, 150000, 300000])
        current: panel.rtsa ? panel.rtsa.newDemodFmDeviationHz : undefined
        onChosen: (value) => panel.rtsa.newDemodFmDeviationHz = value
    }

    UiSwitch {
        objectName: "stereoSwitch"
        width: panel.contentWidth
        text: "FM Stereo Demod"
        enabled: panel.rtsa !== null && Settings.isStereoDeviation(panel.rtsa.newDemodFmDeviationHz)
        checked: panel.stereoOn
        onToggled: panel.rtsa.newDemodFmStereoEnabled = !checked
    }
    Item {
        width: panel.contentWidth
        height: stereoHintText.implicitHeight
        Text {
            id: stereoHintText
            objectName: "stereoHint"
            visible: panel.rtsa !== null && !Settings.isStereoDeviation(panel.rtsa.newDemodFmDeviationHz)
            text: "Requires 150 or 300 kHz deviation"
            color: "#6D7A86"
            font.pixelSize: 11
        }
    }

    UiSwitch {
        objectName: "filterSwitch"
        width: panel.contentWidth
        text: "Audio Filter"
        checked: panel.rtsa ? panel.rtsa.newDemodFilterEnabled : false
        onToggled: panel.rtsa.newDemodFilterEnabled = !checked
    }
    FieldLabel { text: "Audio HPF (Hz)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "hpf"
        choices: [10, 20, 50, 100, 200, 300]
        current: panel.rtsa ? panel.rtsa.newDemodAudioHpfHz : undefined
        onChosen: (value) => panel.rtsa.newDemodAudioHpfHz = value
    }
    FieldLabel { text: "Audio LPF (Hz)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "lpf"
        choices: [2500, 3000, 3500, 4000, 20000]
        current: panel.rtsa ? panel.rtsa.newDemodAudioLpfHz : undefined
        onChosen: (value) => panel.rtsa.newDemodAudioLpfHz = value
    }

    UiSlider {
        readonly property var setting: Settings.demod.audioGain
        objectName: "audioGainSlider"
        width: panel.contentWidth
        text: "Audio Gain: " + value.toFixed(1) + "x"
        from: setting.min
        to: setting.max
        stepSize: setting.step
        value: panel.rtsa ? panel.rtsa.newDemodAudioGain : setting.initial
        onMoved: (value) => panel.rtsa.newDemodAudioGain = value
    }

    SquelchSection {
        width: panel.contentWidth
        rtsa: panel.rtsa
    }

    // Where the audio goes: one channel for mono, a left and a right one for stereo.
    FieldLabel {
        visible: panel.deviceName !== "" && !panel.stereoOn
        text: "Output Channel"
    }
    UiDropDown {
        objectName: "outputChannelDropDown"
        visible: panel.deviceName !== "" && !panel.stereoOn
        width: panel.contentWidth
        text: PanelLogic.channelLabel(panel.outputChannels, panel.rtsa ? panel.rtsa.audioOutputChannel : -1)
        model: PanelLogic.channelChoices(panel.outputChannels)
        onAboutToOpen: panel.refreshOutputChannels()
        onActivated: (index, entry) => panel.rtsa.audioOutputChannel = entry.index
    }
    Row {
        visible: panel.stereoOn
        spacing: 8
        Repeater {
            model: [{ side: "Left", property: "audioOutputChannelLeft" },
                    { side: "Right", property: "audioOutputChannelRight" }]
            // The delegate reads ids of this document, which the linter cannot follow into it.
            // qmllint disable unqualified
            delegate: Column {
                required property var modelData
                width: (panel.contentWidth - 8) / 2
                spacing: 4
                FieldLabel { text: modelData.side + " Output" }
                UiDropDown {
                    objectName: modelData.side.toLowerCase() + "OutputDropDown"
                    width: parent.width
                    text: PanelLogic.channelLabel(panel.outputChannels,
                                                  panel.rtsa ? panel.rtsa[modelData.property] : -1)
                    model: PanelLogic.channelChoices(panel.outputChannels)
                    onAboutToOpen: panel.refreshOutputChannels()
                    onActivated: (index, entry) => panel.rtsa[modelData.property] = entry.index
                }
            }
            // qmllint enable unqualified
        }
    }
    Item {
        width: panel.contentWidth
        height: channelWarningText.implicitHeight
        Text {
            id: channelWarningText
            objectName: "channelWarning"
            visible: panel.stereoOn && panel.rtsa !== null && panel.rtsa.audioOutputChannelLeft >= 0
                     && panel.rtsa.audioOutputChannelLeft === panel.rtsa.audioOutputChannelRight
            text: "Left and Right channels must be different"
            color: "#FF6B5E"
            font.pixelSize: 12
        }
    }
}
