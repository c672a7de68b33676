import QtQuick 2.15
import NorvaleRTSA 1.0
import "../logic"
import "../logic/SpectrumMath.js" as SpectrumMath
import "../logic/PanelLogic.js" as PanelLogic

// Resolution and video bandwidth, FFT size, the intercept time they give while a receiver runs,
// frame rate and the spectrum thread's latest figures (or the spectra it skips while blocks
// overlap); below them the audio and demodulator figures and the last failure, each in a place
// of its own that never changes size.
Rectangle {
    id: bar

    required property var rtsa
    required property AppState app
    required property SpectrumView view

    // Figures of a path that is off are stale: they go when it does.
    readonly property string audioStatus: rtsa && rtsa.audioEnabled ? rtsa.audioStatus : ""
    readonly property string demodStatus: rtsa && rtsa.newDemodEnabled ? rtsa.demodStatus : ""
    readonly property string lastError: rtsa ? rtsa.lastError : ""
    readonly property string spectraSkipped: rtsa ? rtsa.spectraSkipped : ""
    // Three places of equal width in the status row.
    readonly property real placeWidth: (rows.width - 2 * 24) / 3

    // Both rows always: the bar keeps its height whatever the status says.
    implicitHeight: rows.implicitHeight + 16
    radius: 6
    color: "#1E2228"
    clip: true

    Column {
        id: rows
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4

        Row {
            id: figures
            width: parent.width
            spacing: 24
            Text {
                id: rbwText
                objectName: "rbwText"
                font.pixelSize: 13
                color: bar.rtsa
                       && SpectrumMath.rbwChangedAutomatically(bar.rtsa.rbwTargetHz, bar.app.lastUserRbwTargetHz)
                       ? "#E4B55E" : "#8AA2B2"
                text: "RBW: " + (bar.rtsa && bar.view.rbwHz > 0 ? SpectrumMath.formatHz(bar.view.rbwHz) : "--")
            }
            Text {
                id: vbwText
                objectName: "vbwText"
                font.pixelSize: 13
                color: "#8AA2B2"
                text: "VBW: " + (bar.rtsa ? SpectrumMath.formatHz(bar.rtsa.vbwHz) : "--")
            }
            Text {
                id: fftText
                objectName: "fftText"
                font.pixelSize: 13
                color: "#8AA2B2"
                text: "FFT: " + (bar.rtsa ? bar.rtsa.fftSize : "--")
            }
            Text {
                id: poiText
                objectName: "poiText"
                visible: text !== ""
                font.pixelSize: 13
                color: "#8AA2B2"
                text: bar.rtsa ? bar.rtsa.interceptText : ""
            }
            Text {
                id: fpsText
                objectName: "fpsText"
                font.pixelSize: 13
                color: "#8AA2B2"
                text: "FPS: " + (bar.rtsa ? bar.rtsa.fps.toFixed(1) : "--")
            }
            StatusText {
                objectName: "dspStatusText"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.max(0, figures.width - rbwText.width - vbwText.width - fftText.width - fpsText.width
                                - (poiText.visible ? poiText.width + figures.spacing : 0) - 4 * figures.spacing)
                // Spectra skipped are news about the spectrum thread that outweighs its figures.
                color: bar.spectraSkipped !== "" ? PanelLogic.kWarningColor
                                                 : PanelLogic.levelColor(bar.app.dspStatusLevel, "#4FC3F7")
                text: bar.spectraSkipped !== "" ? bar.spectraSkipped : bar.app.dspStatus
            }
        }
        Row {
            spacing: 24
            StatusText {
                objectName: "audioStatusText"
                width: bar.placeWidth
                color: "#79D07B"
                text: bar.audioStatus
            }
            StatusText {
                objectName: "demodStatusText"
                width: bar.placeWidth
                color: "#B388FF"
                text: bar.demodStatus
            }
            StatusText {
                objectName: "lastErrorText"
                width: bar.placeWidth
                color: PanelLogic.kErrorColor
                text: bar.lastError
            }
        }
    }
}
