import QtQuick 2.15
import QtQuick.Dialogs
import NorvaleRTSA 1.0
import ".."
import "../.."
import "../../logic/PanelLogic.js" as PanelLogic

// A recording played as the receiver: chosen with "Recording…" in the device list, opened
// here (a raw .cs16 file with the rate and centre it was taken at), then the transport.
Panel {
    id: panel

    required property var rtsa

    readonly property var playback: rtsa && rtsa.playback ? rtsa.playback : null
    readonly property bool chosen: rtsa !== null && rtsa.deviceSelection === "Recording\u2026"
    readonly property bool loaded: playback !== null && playback.loaded
    // A raw file picked and waiting for its rate and centre.
    property url rawFile: ""
    property string rawRateMsps: "20"
    property real rawCenterMHz: 100

    function timeText(seconds) {
        const whole = Math.floor(seconds)
        const minutes = Math.floor(whole / 60)
        const rest = seconds - minutes * 60
        return minutes + ":" + (rest < 10 ? "0" : "") + rest.toFixed(1)
    }
    function open(file) {
        if (String(file).toLowerCase().endsWith(".cs16")) {
            rawFile = file
            return
        }
        rawFile = ""
        playback.openFile(String(file))
    }

    title: "Recording"
    collapsible: false
    visible: chosen || loaded
    controlsEnabled: playback !== null

    // Asks for the file (as choosing "Recording…" in the device list does).
    function chooseFile() {
        chooser.open()
    }

    FileDialog {
        id: chooser
        title: "Open a recording"
        nameFilters: ["Recordings (*.sigmf-meta *.sigmf-data *.cs16)", "All files (*)"]
        onAccepted: panel.open(selectedFile)
    }

    UiButton {
        objectName: "openRecordingButton"
        width: panel.contentWidth
        text: "Open\u2026"
        onTriggered: panel.chooseFile()
    }

    // A raw file says nothing of itself.
    Column {
        width: panel.contentWidth
        spacing: 8
        visible: String(panel.rawFile) !== ""

        FieldLabel { text: "Rate of the .cs16 file (MSps)" }
        ChoiceRow {
            width: parent.width
            namePrefix: "rawRate"
            choices: Settings.receiver.ratesMsps.map(String)
            current: panel.rawRateMsps
            onChosen: (value) => panel.rawRateMsps = value
        }
        FieldLabel { text: "Its Center Frequency (MHz)" }
        FrequencyField {
            objectName: "rawCenterField"
            width: parent.width
            valueText: panel.rawCenterMHz.toFixed(6)
            onAccepted: (hz) => panel.rawCenterMHz = hz / 1e6
        }
        UiButton {
            objectName: "playRawButton"
            width: parent.width
            text: "Play"
            onTriggered: {
                panel.playback.openFile(String(panel.rawFile), Number(panel.rawRateMsps) * 1e6, panel.rawCenterMHz * 1e6)
                panel.rawFile = ""
            }
        }
    }

    Column {
        width: panel.contentWidth
        spacing: 8
        visible: panel.loaded

        Text {
            objectName: "recordingNameText"
            width: parent.width
            elide: Text.ElideMiddle
            text: panel.playback ? panel.playback.fileName : ""
            color: "#E0E6ED"
            font.pixelSize: 12
        }
        Text {
            width: parent.width
            wrapMode: Text.WordWrap
            text: "Center frequency and rate come from the recording"
            color: "#AEB6C0"
            font.pixelSize: 11
        }
        UiButton {
            objectName: "playPauseButton"
            width: parent.width
            text: panel.playback && panel.playback.playing && !panel.playback.atEnd ? "Pause" : "Play"
            onTriggered: panel.playback.playing && !panel.playback.atEnd ? panel.playback.pause() : panel.playback.play()
        }
        UiSlider {
            objectName: "positionSlider"
            width: parent.width
            text: panel.playback ? panel.timeText(panel.playback.positionSeconds) + " / "
                                   + panel.timeText(panel.playback.lengthSeconds) : ""
            from: 0
            to: panel.playback ? Math.max(panel.playback.lengthSeconds, 0.001) : 1
            stepSize: 0.001
            value: panel.playback ? panel.playback.positionSeconds : 0
            onMoved: (value) => panel.playback.seekSeconds(value)
        }
        StatusText {
            objectName: "captureTimeText"
            width: parent.width
            text: panel.playback && panel.playback.captureTime !== "" ? panel.playback.captureTime : "no date in the recording"
            color: "#AEB6C0"
        }
        UiSwitch {
            objectName: "loopSwitch"
            text: "Loop"
            checked: panel.playback ? panel.playback.loop : false
            onToggled: panel.playback.loop = !checked
        }
        FieldLabel { text: "Speed" }
        ChoiceRow {
            width: parent.width
            namePrefix: "speed"
            choices: [{ label: "\u00bd\u00d7", value: 0.5 }, { label: "1\u00d7", value: 1 }, { label: "2\u00d7", value: 2 },
                      { label: "4\u00d7", value: 4 }, { label: "Max", value: 0 }]
            current: panel.playback ? panel.playback.speed : 1
            onChosen: (value) => panel.playback.speed = value
        }
        StatusText {
            objectName: "achievedSpeedText"
            width: parent.width
            text: panel.playback && panel.playback.playing
                  ? "playing at " + panel.playback.achievedSpeed.toFixed(2) + "\u00d7 real time" : "paused"
            color: "#4FC3F7"
        }
    }

    StatusText {
        objectName: "playbackMessageText"
        width: panel.contentWidth
        text: panel.playback ? panel.playback.message : ""
        color: PanelLogic.levelColor(panel.playback && panel.playback.messageIsError ? Settings.Error : Settings.Info,
                                     "#AEB6C0")
    }
}
