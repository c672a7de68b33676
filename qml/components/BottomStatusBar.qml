import QtQuick 2.15
import NorvaleRTSA 1.0
import "../logic"
import "../logic/SpectrumMath.js" as SpectrumMath

// Resolution and video bandwidth, FFT size and frame rate; below them the controller's audio,
// demodulator and failure status when there is any.
Rectangle {
    id: bar

    required property var rtsa
    required property AppState app
    required property SpectrumView view

    readonly property string audioStatus: rtsa ? rtsa.audioStatus : ""
    readonly property string demodStatus: rtsa ? rtsa.demodStatus : ""
    readonly property string lastError: rtsa ? rtsa.lastError : ""
    readonly property bool hasStatus: audioStatus !== "" || demodStatus !== "" || lastError !== ""

    implicitHeight: rows.implicitHeight + 16
    radius: 6
    color: "#1E2228"

    Column {
        id: rows
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        spacing: 4

        Row {
            spacing: 24
            Text {
                objectName: "rbwText"
                font.pixelSize: 13
                color: bar.rtsa
                       && SpectrumMath.rbwChangedAutomatically(bar.rtsa.rbwTargetHz, bar.app.lastUserRbwTargetHz)
                       ? "#E4B55E" : "#8AA2B2"
                text: "RBW: " + (bar.rtsa && bar.view.rbwHz > 0 ? SpectrumMath.formatHz(bar.view.rbwHz) : "--")
            }
            Text {
                objectName: "vbwText"
                font.pixelSize: 13
                color: "#8AA2B2"
                text: "VBW: " + (bar.rtsa ? SpectrumMath.formatHz(bar.rtsa.vbwHz) : "--")
            }
            Text {
                objectName: "fftText"
                font.pixelSize: 13
                color: "#8AA2B2"
                text: "FFT: " + (bar.rtsa ? bar.rtsa.fftSize : "--")
            }
            Text {
                objectName: "fpsText"
                font.pixelSize: 13
                color: "#8AA2B2"
                text: "FPS: " + (bar.rtsa ? bar.rtsa.fps.toFixed(1) : "--")
            }
        }
        Row {
            visible: bar.hasStatus
            spacing: 24
            Text {
                objectName: "audioStatusText"
                font.pixelSize: 12
                color: "#79D07B"
                text: bar.audioStatus
            }
            Text {
                objectName: "demodStatusText"
                font.pixelSize: 12
                color: "#B388FF"
                text: bar.demodStatus
            }
            Text {
                objectName: "lastErrorText"
                font.pixelSize: 12
                color: "#FF6B5E"
                text: bar.lastError
            }
        }
    }
}
