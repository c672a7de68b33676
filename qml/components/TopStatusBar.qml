import QtQuick 2.15
import NorvaleRTSA 1.0
import "../logic"
import "../logic/SpectrumMath.js" as SpectrumMath

// Receiver settings, detector, the fill of the spectrum thread's IQ ring and the frame-rate
// limit on the left; the transient automatic-adjustment badge and the blinking overload badge
// after them. What does not fit is cut off at the bar's edge, never drawn over a column.
Rectangle {
    id: bar

    required property var rtsa
    required property AppState app
    required property SpectrumView view

    implicitHeight: 34
    radius: 6
    color: "#1E2228"
    clip: true

    Row {
        anchors.left: parent.left
        anchors.leftMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        spacing: 24

        Text {
            objectName: "deviceSummaryText"
            visible: bar.rtsa !== null && bar.rtsa.deviceBackend === "RZ640"
            color: "#C8D0D8"
            font.pixelSize: 13
            text: "Port " + (bar.app.rzPortValue + 1) + "  |  Rate/BW " + bar.app.usrpRateValue + " MSps"
                  + "  |  ATT " + bar.app.rzAttValue + " dB" + "  |  Pre " + bar.app.rzPreampValue + " dB"
                  + "  |  IF " + bar.app.rzIfGainValue + " dB"
        }
        Text {
            objectName: "receiverSummaryText"
            visible: bar.rtsa !== null && bar.rtsa.deviceBackend !== "RZ640"
            readonly property var frontEnd: visible ? bar.rtsa.deviceFrontEnd : ({})
            color: "#C8D0D8"
            font.pixelSize: 13
            text: ["Rate/BW " + bar.app.usrpRateValue + " MSps"]
                  .concat(frontEnd.automaticGain ? ["AGC"] : (frontEnd.gains || []).map(g => g.name + " " + g.value + " dB"))
                  .concat((frontEnd.antennas || []).length > 1 ? ["Ant " + frontEnd.antenna] : [])
                  .concat(frontEnd.frequencyCorrectionAvailable ? [Number(frontEnd.frequencyCorrectionPpm).toFixed(1) + " ppm"] : [])
                  .join("  |  ")
        }
        Text {
            objectName: "detectorText"
            color: "#8AA2B2"
            font.pixelSize: 13
            text: "Det: "
                  + (bar.rtsa ? SpectrumMath.detectorLabel(bar.rtsa.detectorMode, bar.rtsa.detectorWindow) : "--")
        }
        Text {
            objectName: "dspLoadText"
            color: "#8AA2B2"
            font.pixelSize: 13
            // How full the ring the RX thread fills for the spectrum thread is: near 100 % the
            // spectrum falls behind the receiver.
            text: "DSP ring: " + (bar.rtsa ? bar.rtsa.ringUsagePct.toFixed(1) + "%" : "--")
        }
        Text {
            objectName: "maxFpsText"
            color: "#8AA2B2"
            font.pixelSize: 13
            text: "MaxFPS: " + (bar.rtsa ? bar.rtsa.maxFps : "--")
        }
        Rectangle {
            objectName: "autoBadge"
            visible: bar.app.autoAdjustMessage !== ""
            width: autoText.implicitWidth + 16
            height: 22
            radius: 4
            color: "#3A3320"
            border.color: "#E4B55E"
            Text {
                id: autoText
                objectName: "autoBadgeText"
                anchors.centerIn: parent
                color: "#E4B55E"
                font.pixelSize: 12
                text: "AUTO: " + bar.app.autoAdjustMessage
            }
        }
        Rectangle {
            id: overloadBadge
            objectName: "overloadBadge"
            property bool bright: true
            visible: bar.view.overload
            opacity: bright ? 1.0 : 0.2
            width: overloadText.implicitWidth + 16
            height: 22
            radius: 4
            color: "#6B2D26"
            Text {
                id: overloadText
                anchors.centerIn: parent
                color: "#FFE0DC"
                font.pixelSize: 12
                font.bold: true
                text: "OVERLOAD"
            }
            Timer {
                interval: 450
                repeat: true
                running: overloadBadge.visible
                onTriggered: overloadBadge.bright = !overloadBadge.bright
                onRunningChanged: overloadBadge.bright = true
            }
        }
    }
}
