import QtQuick 2.15
import QtQuick.Dialogs
import "../.."
import ".."

// IQ recording: the receiver's samples as they arrive into NAME.sigmf-data with its
// NAME.sigmf-meta, in a folder kept between runs; the button shows the elapsed time and the size
// while it records, and the lines below the free space, the lost samples and what went wrong.
Panel {
    id: panel

    required property var rtsa

    readonly property var recorder: rtsa ? rtsa.recording : null
    readonly property bool recording: recorder !== null && recorder.recording

    function sizeText(bytes) {
        return bytes >= 1e9 ? (bytes / 1e9).toFixed(2) + " GB" : (bytes / 1e6).toFixed(1) + " MB"
    }
    function timeText(seconds) {
        const s = Math.floor(seconds)
        const two = (n) => (n < 10 ? "0" : "") + n
        return Math.floor(s / 3600) + ":" + two(Math.floor(s / 60) % 60) + ":" + two(s % 60)
    }
    function localPath(url) {
        return decodeURIComponent(url.toString().replace(/^file:\/\//, ""))
    }

    title: "Record"
    controlsEnabled: recorder !== null

    FolderDialog {
        id: folderDialog
        title: "Recording folder"
        currentFolder: panel.recorder ? "file://" + panel.recorder.folder : ""
        onAccepted: panel.recorder.folder = panel.localPath(folderDialog.selectedFolder)
    }

    FieldLabel { text: "Folder" }
    Row {
        spacing: 8
        StatusText {
            objectName: "recordFolder"
            width: panel.contentWidth - folderButton.width - 8
            anchors.verticalCenter: parent.verticalCenter
            text: panel.recorder ? panel.recorder.folder : ""
            color: "#E0E6ED"
        }
        UiButton {
            id: folderButton
            objectName: "recordFolderButton"
            text: "Choose..."
            enabled: !panel.recording
            onTriggered: folderDialog.open()
        }
    }
    FieldLabel { text: "Name (empty: date, time, frequency)" }
    UiTextField {
        objectName: "recordNameField"
        width: panel.contentWidth
        enabled: !panel.recording
        text: panel.recorder ? panel.recorder.fileName : ""
        onEditingFinished: panel.recorder.fileName = text
    }
    FieldLabel { text: "Description" }
    UiTextField {
        objectName: "recordDescriptionField"
        width: panel.contentWidth
        enabled: !panel.recording
        text: panel.recorder ? panel.recorder.description : ""
        onEditingFinished: panel.recorder.description = text
    }
    UiButton {
        objectName: "recordButton"
        width: panel.contentWidth
        text: panel.recording ? "Stop  " + panel.timeText(panel.recorder.elapsedSec) + "  "
                                + panel.sizeText(panel.recorder.bytesWritten)
                              : "Record"
        normalColor: panel.recording ? "#7A2E2E" : "#2D323A"
        hoverColor: panel.recording ? "#8A3A3A" : "#343B45"
        onTriggered: panel.recording ? panel.recorder.stop() : panel.recorder.start()
    }
    StatusText {
        objectName: "recordFigures"
        width: panel.contentWidth
        text: panel.recorder ? "Free " + panel.sizeText(panel.recorder.freeBytes) + "   Lost "
                               + panel.recorder.lostSamples + " samples" : ""
        color: panel.recorder && panel.recorder.lostSamples > 0 ? "#FFB74D" : "#8AA2B2"
    }
    StatusText {
        objectName: "recordMessage"
        width: panel.contentWidth
        text: panel.recorder ? panel.recorder.message : ""
        color: text.startsWith("Recorded") ? "#8AA2B2" : "#FF6B6B"
    }
}
