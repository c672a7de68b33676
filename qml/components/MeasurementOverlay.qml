import QtQuick 2.15
import NorvaleRTSA 1.0
import "../logic/SpectrumMath.js" as SpectrumMath

// What the measurements cover, over the trace while they run: the channel as a shaded band,
// the adjacent channels as outlined bands, and the occupied and x-dB bandwidths' edges as lines.
Item {
    id: overlay

    required property var rtsa
    required property SpectrumView view

    readonly property var measurements: rtsa ? rtsa.measurements : null
    readonly property bool active: measurements !== null && measurements.enabled
                                   && measurements.results.channelLowHz !== undefined
    readonly property var results: active ? measurements.results : ({})

    function xOf(hz) {
        return SpectrumMath.xForFreq(hz, view.viewMinFreqHz, view.viewMaxFreqHz, width)
    }

    // The adjacent channels each side, nearest first: {lowHz, highHz}.
    function adjacentBands() {
        if (!active)
            return []
        const m = measurements
        const bands = []
        for (let i = 1; i <= m.acpPairs; ++i) {
            for (const side of [-1, 1]) {
                const centre = m.channelCentreHz + side * i * m.acpSpacingHz
                const half = m.acpAdjacentBandwidthHz / 2
                bands.push({ lowHz: centre - half, highHz: centre + half })
            }
        }
        return bands
    }

    visible: active

    Rectangle {
        objectName: "channelBand"
        visible: overlay.results.channelValid === true
        x: overlay.xOf(overlay.results.channelLowHz || 0)
        width: Math.max(1, overlay.xOf(overlay.results.channelHighHz || 0) - x)
        height: overlay.height
        color: "#2279D07B"
        border.color: "#6679D07B"
    }

    Repeater {
        model: overlay.adjacentBands()
        // qmllint disable unqualified
        delegate: Rectangle {
            required property var modelData
            x: overlay.xOf(modelData.lowHz)
            width: Math.max(1, overlay.xOf(modelData.highHz) - x)
            height: overlay.height
            color: "transparent"
            border.color: "#66E4B55E"
        }
        // qmllint enable unqualified
    }

    Repeater {
        model: [{ name: "obwLow", hz: overlay.results.obwLowHz, on: overlay.results.obwValid, colour: "#FF6B5E" },
                { name: "obwHigh", hz: overlay.results.obwHighHz, on: overlay.results.obwValid, colour: "#FF6B5E" },
                { name: "xDbLow", hz: overlay.results.xDbLowHz, on: overlay.results.xDbValid, colour: "#B388FF" },
                { name: "xDbHigh", hz: overlay.results.xDbHighHz, on: overlay.results.xDbValid, colour: "#B388FF" }]
        // qmllint disable unqualified
        delegate: Rectangle {
            required property var modelData
            objectName: modelData.name + "Line"
            visible: modelData.on === true
            x: overlay.xOf(modelData.hz || 0)
            width: 1
            height: overlay.height
            color: modelData.colour
        }
        // qmllint enable unqualified
    }
}
