import QtQuick 2.15
import NorvaleRTSA 1.0
import "../.."
import ".."
import "../../logic"
import "../../logic/MeasureText.js" as MeasureText
import "../../logic/SpectrumMath.js" as SpectrumMath

// Measurements of the trace on screen while the panel is open: channel power around the
// demodulator's frequency, occupied and x-dB bandwidth, adjacent channels, a noise marker on the
// reference marker, and the strongest peaks (a click puts a marker on one); the holds and stored
// traces; and the reference offset that turns dBFS into dBm for the receiver and front end in use.
Panel {
    id: panel

    required property var rtsa
    required property AppState app
    required property var view

    readonly property var measurements: rtsa ? rtsa.measurements : null
    readonly property var results: measurements ? measurements.results : ({})
    readonly property string unit: measurements ? measurements.levelUnit : "dBFS"
    readonly property var peaks: results.peaks || []
    readonly property var markerModel: rtsa && rtsa.markersModel ? rtsa.markersModel : null
    // Counts the marker model's changes, so that the noise marker follows its marker.
    property int markerRevision: 0
    readonly property var noiseMarker: markerRevision >= 0
                                       ? SpectrumMath.referenceMarker(markerModel, app.referenceMarkerId) : null
    property string exportMessage: ""

    title: "Measurements"
    controlsEnabled: measurements !== null

    Connections {
        target: panel.markerModel
        function onDataChanged() { ++panel.markerRevision }
        function onRowsInserted() { ++panel.markerRevision }
        function onRowsRemoved() { ++panel.markerRevision }
    }
    Binding {
        target: panel.measurements
        property: "enabled"
        value: panel.open
        when: panel.measurements !== null
    }
    Binding {
        target: panel.measurements
        property: "channelCentreHz"
        value: panel.rtsa ? panel.rtsa.newDemodFreqHz : 0
        when: panel.measurements !== null
    }
    Binding {
        target: panel.measurements
        property: "viewLowHz"
        value: panel.view ? panel.view.viewMinFreqHz : 0
        when: panel.measurements !== null
    }
    Binding {
        target: panel.measurements
        property: "viewHighHz"
        value: panel.view ? panel.view.viewMaxFreqHz : 0
        when: panel.measurements !== null
    }
    // Without a marker the noise marker reads at the view's centre.
    Binding {
        target: panel.measurements
        property: "noiseMarkerHz"
        value: panel.noiseMarker !== null ? panel.noiseMarker.freqHz : (panel.view ? panel.view.centerFreqHz : 0)
        when: panel.measurements !== null
    }

    // The readout lines by name; each follows the results.
    function readout(name) {
        const m = measurements
        switch (name) {
        case "measChannel": return MeasureText.channelLine(results)
        case "measObw": return MeasureText.obwLine(results, m ? m.obwPercent : 0)
        case "measXdb": return MeasureText.xDbLine(results, m ? m.xDb : 0)
        case "measAcp": return MeasureText.acpLine(results)
        default: return MeasureText.noiseLine(results)
        }
    }

    Column {
        width: panel.contentWidth
        spacing: 3
        Repeater {
            model: ["measChannel", "measObw", "measXdb", "measAcp", "measNoise"]
            // qmllint disable unqualified
            delegate: Text {
                required property string modelData
                objectName: modelData
                width: panel.contentWidth
                wrapMode: Text.Wrap
                text: panel.readout(modelData)
                color: "#E0E6ED"
                font.pixelSize: 12
                font.family: "monospace"
            }
            // qmllint enable unqualified
        }
    }

    FieldLabel { text: "Channel BW (centre: demodulator)" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "measChannelBw"
        choices: [{ label: "12.5k", value: 12500 }, { label: "25k", value: 25000 }, { label: "200k", value: 200000 },
                  { label: "1M", value: 1e6 }, { label: "5M", value: 5e6 }]
        current: panel.measurements ? panel.measurements.channelBandwidthHz : undefined
        onChosen: (value) => panel.measurements.channelBandwidthHz = value
    }

    FieldLabel { text: "OBW (%)  /  x dB" }
    Row {
        spacing: 8
        ChoiceRow {
            width: (panel.contentWidth - 8) / 2
            namePrefix: "measObw"
            choices: [90, 99, 99.9]
            current: panel.measurements ? panel.measurements.obwPercent : undefined
            onChosen: (value) => panel.measurements.obwPercent = value
        }
        ChoiceRow {
            width: (panel.contentWidth - 8) / 2
            namePrefix: "measXdb"
            choices: [3, 6, 20, 26]
            current: panel.measurements ? panel.measurements.xDb : undefined
            onChosen: (value) => panel.measurements.xDb = value
        }
    }

    FieldLabel { text: "Adjacent channels: pairs, bandwidth, spacing" }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "measAcpPairs"
        choices: [0, 1, 2, 3]
        current: panel.measurements ? panel.measurements.acpPairs : undefined
        onChosen: (value) => panel.measurements.acpPairs = value
    }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "measAcpBw"
        choices: [{ label: "12.5k", value: 12500 }, { label: "25k", value: 25000 }, { label: "200k", value: 200000 },
                  { label: "1M", value: 1e6 }]
        current: panel.measurements ? panel.measurements.acpMainBandwidthHz : undefined
        onChosen: (value) => {
            panel.measurements.acpMainBandwidthHz = value
            panel.measurements.acpAdjacentBandwidthHz = value
        }
    }
    ChoiceRow {
        width: panel.contentWidth
        namePrefix: "measAcpSpacing"
        choices: [{ label: "12.5k", value: 12500 }, { label: "25k", value: 25000 }, { label: "200k", value: 200000 },
                  { label: "400k", value: 400000 }, { label: "1M", value: 1e6 }]
        current: panel.measurements ? panel.measurements.acpSpacingHz : undefined
        onChosen: (value) => panel.measurements.acpSpacingHz = value
    }

    FieldLabel { text: "Peaks: count, threshold (dBFS)" }
    Row {
        spacing: 8
        ChoiceRow {
            width: (panel.contentWidth - 8) * 0.4
            namePrefix: "measPeakCount"
            choices: [5, 10, 20]
            current: panel.measurements ? panel.measurements.peakCount : undefined
            onChosen: (value) => panel.measurements.peakCount = value
        }
        ChoiceRow {
            width: (panel.contentWidth - 8) * 0.6
            namePrefix: "measThreshold"
            choices: [-120, -90, -60]
            current: panel.measurements ? panel.measurements.peakThresholdDb : undefined
            onChosen: (value) => panel.measurements.peakThresholdDb = value
        }
    }
    FieldLabel { text: "Peaks: excursion (dB), order" }
    Row {
        spacing: 8
        ChoiceRow {
            width: (panel.contentWidth - 8) / 2
            namePrefix: "measExcursion"
            choices: [3, 6, 10]
            current: panel.measurements ? panel.measurements.peakExcursionDb : undefined
            onChosen: (value) => panel.measurements.peakExcursionDb = value
        }
        ChoiceRow {
            width: (panel.contentWidth - 8) / 2
            namePrefix: "measOrder"
            choices: [{ label: "by dB", value: 0 }, { label: "by Hz", value: 1 }]
            current: panel.measurements ? panel.measurements.peakOrder : undefined
            onChosen: (value) => panel.measurements.peakOrder = value
        }
    }

    Column {
        objectName: "peakTable"
        width: panel.contentWidth
        spacing: 1
        // One row for each peak the table may list, shown while there is one: the rows stay, so
        // that a click finds the row it pressed on, while the peaks change with every frame.
        Repeater {
            model: panel.measurements ? panel.measurements.peakCount : 0
            // qmllint disable unqualified
            delegate: Rectangle {
                required property int index
                readonly property var modelData: panel.peaks[index] || ({ freqHz: NaN, level: NaN })
                objectName: "peakRow" + index
                visible: index < panel.peaks.length
                width: panel.contentWidth
                height: peakText.implicitHeight + 4
                color: peakMouse.containsMouse ? "#2F3945" : "transparent"
                Text {
                    id: peakText
                    x: 4
                    y: 2
                    text: (index + 1) + "  " + MeasureText.peakLine(modelData, panel.unit)
                    color: "#C8D0D8"
                    font.pixelSize: 12
                    font.family: "monospace"
                }
                MouseArea {
                    id: peakMouse
                    anchors.fill: parent
                    hoverEnabled: true
                    onClicked: panel.app.addMarkerAt(panel.markerModel, modelData.freqHz)
                }
            }
            // qmllint enable unqualified
        }
    }

    // The peak line is the maximum hold (its own switch is in the persistence panel); both holds
    // start again on a retune.
    FieldLabel { text: "Traces: holds and memories M1, M2" }
    Flow {
        width: panel.contentWidth
        spacing: 4
        UiSwitch {
            objectName: "maxHoldSwitch"
            width: (panel.contentWidth - 4) / 2
            text: "Max Hold"
            checked: panel.view ? panel.view.peakLineEnabled : false
            onToggled: panel.view.peakLineEnabled = !panel.view.peakLineEnabled
        }
        UiSwitch {
            objectName: "minHoldSwitch"
            width: (panel.contentWidth - 4) / 2
            text: "Min Hold"
            checked: panel.view ? panel.view.minHoldEnabled : false
            onToggled: panel.view.minHoldEnabled = !panel.view.minHoldEnabled
        }
        UiButton {
            objectName: "resetHoldsButton"
            text: "Reset Holds"
            onTriggered: {
                panel.rtsa.clearPeakLine()
                panel.view.resetMinHold()
            }
        }
        Repeater {
            model: 2
            // qmllint disable unqualified
            delegate: UiButton {
                required property int index
                readonly property bool held: panel.view !== null && (panel.view.storedTraces & (1 << index)) !== 0
                objectName: "storeM" + (index + 1)
                text: (held ? "Clear M" : "Store M") + (index + 1)
                textColor: index === 0 ? "#E040FB" : "#FF8A65"
                onTriggered: held ? panel.view.clearStoredTrace(index) : panel.view.storeTrace(index)
            }
            // qmllint enable unqualified
        }
    }

    FieldLabel { text: "Reference offset (dB, dBFS + offset = dBm)" }
    Row {
        spacing: 8
        UiTextField {
            id: offsetField
            objectName: "measOffsetField"
            width: 80
            text: panel.measurements ? String(panel.measurements.referenceOffsetDb) : "0"
            onEditingFinished: {
                const value = Number(text.replace(",", "."))
                if (isFinite(value))
                    panel.measurements.referenceOffsetDb = value
                text = Qt.binding(() => panel.measurements ? String(panel.measurements.referenceOffsetDb) : "0")
            }
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "reads " + panel.unit
            color: "#8AA2B2"
            font.pixelSize: 12
        }
    }

    Row {
        spacing: 8
        UiButton {
            objectName: "measExportCsv"
            text: "Export CSV"
            toolTip: "The trace as frequency and level, to NorvaleRTSA-trace.csv"
            onTriggered: panel.exportMessage = panel.measurements.exportTraceCsv("NorvaleRTSA-trace.csv")
                         ? "Saved NorvaleRTSA-trace.csv" : "No trace to export"
        }
        UiButton {
            objectName: "measSavePng"
            text: "Save PNG"
            toolTip: "The window as a picture, to NorvaleRTSA-window.png"
            onTriggered: panel.Window.window.contentItem.grabToImage(result => {
                panel.exportMessage = result.saveToFile("NorvaleRTSA-window.png")
                        ? "Saved NorvaleRTSA-window.png" : "Cannot write NorvaleRTSA-window.png"
            })
        }
    }
    Text {
        objectName: "measExportMessage"
        visible: panel.exportMessage !== ""
        text: panel.exportMessage
        color: "#8AA2B2"
        font.pixelSize: 11
    }
}
