import QtQuick 2.15
import NorvaleRTSA 1.0
import "../logic"
import "../logic/SpectrumMath.js" as SpectrumMath

// The spectrum view with its level ruler on the left (and the waterfall's time ruler below
// it), the frequency ruler underneath, the markers over the trace and their readout.
Item {
    id: area

    required property var rtsa
    required property AppState app

    readonly property alias view: spectrum
    // The trace takes the top of the view; the waterfall, when on, the rest.
    readonly property real traceHeight: spectrum.waterfallEnabled
                                        ? spectrum.height * (1 - spectrum.waterfallHeightRatio) : spectrum.height

    readonly property int levelRulerWidth: 56
    readonly property int frequencyRulerHeight: 22
    readonly property color rulerColor: "#8AA2B2"

    SpectrumView {
        id: spectrum
        objectName: "spectrumView"
        x: area.levelRulerWidth
        width: area.width - area.levelRulerWidth
        height: area.height - area.frequencyRulerHeight
        visible: width >= 1 && height >= 1
        enabled: visible
        demo: true
        waterfallEnabled: area.rtsa ? area.rtsa.waterfallEnabled : false
        waterfallHeightRatio: area.app.waterfallHeightRatio
        waterfallMinDb: area.app.waterfallMinDb
        waterfallMaxDb: area.app.waterfallMaxDb
        Component.onCompleted: {
            if (area.rtsa)
                area.rtsa.spectrumItem = spectrum
        }
    }

    Item {
        id: levelRuler
        width: area.levelRulerWidth - 4
        height: area.traceHeight

        Text {
            text: "dB"
            color: area.rulerColor
            font.pixelSize: 9
        }
        Text {
            objectName: "levelLabel0"
            anchors.right: parent.right
            text: spectrum.maxDb.toFixed(0)
            color: area.rulerColor
            font.pixelSize: 11
        }
        Repeater {
            model: SpectrumMath.levelLabels(spectrum.minDb, spectrum.maxDb, levelRuler.height).slice(1)
            // The delegate reads ids of this document, which the linter cannot follow into it.
            // qmllint disable unqualified
            delegate: Text {
                required property var modelData
                required property int index
                objectName: "levelLabel" + (index + 1)
                anchors.right: parent.right
                y: Math.min(levelRuler.height - height, Math.max(0, modelData.y - height / 2))
                text: modelData.text
                color: area.rulerColor
                font.pixelSize: 11
            }
            // qmllint enable unqualified
        }
    }

    Item {
        id: timeRuler
        objectName: "timeRuler"
        visible: spectrum.waterfallEnabled
        y: area.traceHeight
        width: area.levelRulerWidth - 4
        height: spectrum.height - area.traceHeight

        Text {
            objectName: "timeRulerNow"
            anchors.right: parent.right
            text: "Now"
            color: area.rulerColor
            font.pixelSize: 11
        }
        Text {
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: "t"
            color: area.rulerColor
            font.pixelSize: 11
        }
        Text {
            objectName: "timeRulerDepth"
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            text: "-" + area.app.waterfallTimeDepthSec + "s"
            color: area.rulerColor
            font.pixelSize: 11
        }
    }

    Item {
        id: frequencyRuler
        x: spectrum.x
        y: spectrum.height
        width: spectrum.width
        height: area.frequencyRulerHeight

        Repeater {
            model: SpectrumMath.frequencyTicks(spectrum.minFreqHz, spectrum.maxFreqHz, spectrum.centerFreqHz,
                                               frequencyRuler.width)
            // The delegate reads ids of this document, which the linter cannot follow into it.
            // qmllint disable unqualified
            delegate: Item {
                id: tick
                required property var modelData
                required property int index
                readonly property alias text: label.text
                objectName: "frequencyTick" + index
                x: modelData.x
                Rectangle {
                    width: 1
                    height: 4
                    color: area.rulerColor
                }
                Text {
                    id: label
                    y: 5
                    x: tick.modelData.align === "left" ? 0
                       : (tick.modelData.align === "right" ? -implicitWidth : -implicitWidth / 2)
                    text: tick.modelData.text
                    color: area.rulerColor
                    font.pixelSize: 11
                }
            }
            // qmllint enable unqualified
        }
    }

    MarkerOverlay {
        x: spectrum.x
        width: spectrum.width
        height: area.traceHeight
        rtsa: area.rtsa
        view: spectrum
    }

    MarkerReadout {
        anchors.top: spectrum.top
        anchors.right: spectrum.right
        anchors.margins: 8
        rtsa: area.rtsa
        app: area.app
    }
}
