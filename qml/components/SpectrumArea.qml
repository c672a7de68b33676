import QtQuick 2.15
import QtQuick.Controls.Basic
import NorvaleRTSA 1.0
import "../logic"
import "../logic/SpectrumMath.js" as SpectrumMath

// The spectrum view with its level ruler on the left (and the waterfall's time ruler below
// it), the frequency ruler underneath, the markers over the trace and their readout. The mouse
// works on the trace and the waterfall alike: a click tunes the demodulator there, a drag
// moves the centre frequency (retuned on release), the wheel zooms around the pointer, a
// double click shows the whole band again; Shift with the wheel tunes in fine steps.
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
    readonly property var markerModel: rtsa && rtsa.markersModel ? rtsa.markersModel : null
    // dBFS plus the receiver's reference offset is dBm at the antenna; the rulers read that.
    readonly property real levelOffsetDb: rtsa && rtsa.measurements ? rtsa.measurements.referenceOffsetDb : 0
    // The colour scale the waterfall and the density display take when set automatically; it
    // follows the view's trace levels, starting from those of an empty view (the full scale).
    property var autoColourRange: SpectrumMath.autoColourRange(Settings.display.minDb.initial,
                                                               Settings.display.maxDb.initial)
    readonly property var waterfallRange: app.waterfallAutoRange
                                          ? autoColourRange : { minDb: app.waterfallMinDb, maxDb: app.waterfallMaxDb }

    function freqAt(x) {
        return SpectrumMath.freqForX(x, spectrum.viewMinFreqHz, spectrum.viewMaxFreqHz, spectrum.centerFreqHz,
                                     spectrum.width)
    }

    function hzPerPixel() {
        return (spectrum.viewMaxFreqHz - spectrum.viewMinFreqHz) / Math.max(1, spectrum.width - 1)
    }

    // Clicks land on round frequencies: the 1-2-5 step just coarser than a pixel.
    function clickedFreq(x) {
        return SpectrumMath.snapToStep(freqAt(x), SpectrumMath.niceStep(hzPerPixel()))
    }

    function zoomAt(x, angleDelta) {
        const zoomed = SpectrumMath.zoomView(spectrum.viewStart, spectrum.viewStop, x / Math.max(1, spectrum.width - 1),
                                             SpectrumMath.wheelZoomFactor(angleDelta), spectrum.minViewWidth)
        spectrum.setView(zoomed.start, zoomed.stop)
    }

    function showWholeBand() {
        spectrum.setView(0, 1)
    }

    // Dragging the picture by dx pixels brings the frequencies it drags into the middle.
    function centreAfterDrag(dx) {
        return spectrum.centerFreqHz - dx * hzPerPixel()
    }

    SpectrumView {
        id: spectrum
        objectName: "spectrumView"
        x: area.levelRulerWidth
        width: area.width - area.levelRulerWidth
        height: area.height - area.frequencyRulerHeight
        visible: width >= 1 && height >= 1
        enabled: visible
        // Before a receiver delivers, the view stays empty rather than showing a made-up trace.
        demo: false
        maxDb: area.app.refLevelDb
        minDb: area.app.refLevelDb - Settings.display.levelDivisions * area.app.dbPerDiv
        waterfallEnabled: area.rtsa ? area.rtsa.waterfallEnabled : false
        waterfallHeightRatio: area.app.waterfallHeightRatio
        waterfallMinDb: area.waterfallRange.minDb
        waterfallMaxDb: area.waterfallRange.maxDb
        Component.onCompleted: {
            if (area.rtsa)
                area.rtsa.spectrumItem = spectrum
        }
        // Reassigning the same range would still re-evaluate everything bound to it.
        onTraceLevelsChanged: {
            const range = SpectrumMath.followColourRange(area.autoColourRange, noiseFloorDb, strongestDb)
            if (range !== area.autoColourRange)
                area.autoColourRange = range
        }
    }

    Binding {
        target: area.rtsa
        property: "densityMinDb"
        value: area.autoColourRange.minDb
        when: area.rtsa !== null && area.app.densityAutoRange
    }
    Binding {
        target: area.rtsa
        property: "densityMaxDb"
        value: area.autoColourRange.maxDb
        when: area.rtsa !== null && area.app.densityAutoRange
    }

    Text {
        objectName: "connectHint"
        anchors.centerIn: spectrum
        visible: !(area.rtsa && area.rtsa.connected)
        text: "Connect a receiver"
        color: area.rulerColor
        font.pixelSize: 18
    }

    MouseArea {
        id: pointer
        objectName: "spectrumMouseArea"
        anchors.fill: spectrum
        hoverEnabled: true
        property real pressX: 0
        property bool dragging: false

        ToolTip.visible: containsMouse && !pressed
        ToolTip.delay: 1500
        ToolTip.timeout: 6000
        ToolTip.text: "Click: tune the demodulator here\nDrag: move the centre frequency\n"
                      + "Wheel: zoom, double click or Home: whole band\nShift+wheel, \u2190 \u2192: tune "
                      + "(Shift+arrow: fine)\nP: marker to peak, M: add marker, Space: start/stop"

        onPressed: (mouse) => {
            pressX = mouse.x
            dragging = false
        }
        onPositionChanged: (mouse) => {
            if (pressed && Math.abs(mouse.x - pressX) >= Qt.styleHints.startDragDistance)
                dragging = true
        }
        onReleased: (mouse) => {
            if (dragging && area.rtsa && area.rtsa.connected)
                area.rtsa.retuneCenterTo(area.centreAfterDrag(mouse.x - pressX))
        }
        onClicked: (mouse) => {
            if (!dragging)
                area.app.tuneDemodTo(area.markerModel, area.clickedFreq(mouse.x))
        }
        onDoubleClicked: area.showWholeBand()
        onWheel: (wheel) => {
            const delta = wheel.angleDelta.y !== 0 ? wheel.angleDelta.y : wheel.angleDelta.x
            if (wheel.modifiers & Qt.ShiftModifier)
                area.app.stepDemod(area.markerModel, spectrum, delta > 0 ? 1 : -1, true)
            else
                area.zoomAt(wheel.x, delta)
        }
    }

    Text {
        objectName: "dragCentreText"
        visible: pointer.dragging && pointer.pressed
        x: Math.min(spectrum.x + pointer.mouseX + 12, area.width - width)
        y: pointer.mouseY + 12
        text: "Centre " + SpectrumMath.formatFrequency(area.centreAfterDrag(pointer.mouseX - pointer.pressX),
                                                       spectrum.binHz)
        color: "#E0E6ED"
        font.pixelSize: 12
    }

    Item {
        id: levelRuler
        width: area.levelRulerWidth - 4
        height: area.traceHeight

        Text {
            objectName: "levelUnit"
            text: area.levelOffsetDb !== 0 ? "dBm" : "dB"
            color: area.rulerColor
            font.pixelSize: 9
        }
        Text {
            objectName: "levelLabel0"
            anchors.right: parent.right
            text: (spectrum.maxDb + area.levelOffsetDb).toFixed(0)
            color: area.rulerColor
            font.pixelSize: 11
        }
        Repeater {
            model: SpectrumMath.levelLabels(spectrum.minDb + area.levelOffsetDb, spectrum.maxDb + area.levelOffsetDb,
                                            levelRuler.height).slice(1)
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
            model: SpectrumMath.frequencyTicks(spectrum.viewMinFreqHz, spectrum.viewMaxFreqHz, spectrum.centerFreqHz,
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

    MeasurementOverlay {
        objectName: "measurementOverlay"
        x: spectrum.x
        width: spectrum.width
        height: area.traceHeight
        rtsa: area.rtsa
        view: spectrum
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
        view: spectrum
    }
}
