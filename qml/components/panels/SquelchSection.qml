import QtQuick 2.15
import ".."

// The squelch: its switch always in sight, its thresholds and timings under a fold of their
// own. Before there is a controller the sliders show the controller's defaults.
Column {
    id: section

    required property var rtsa
    property bool expanded: false

    spacing: 8

    Row {
        width: section.width
        spacing: 8
        Text {
            objectName: "squelchExpander"
            anchors.verticalCenter: parent.verticalCenter
            width: 16
            text: section.expanded ? "v" : ">"
            color: "#8AA2B2"
            font.pixelSize: 14
            font.bold: true
            MouseArea {
                anchors.fill: parent
                onClicked: section.expanded = !section.expanded
            }
        }
        UiSwitch {
            objectName: "squelchSwitch"
            width: section.width - 24
            text: "Squelch"
            checked: section.rtsa ? section.rtsa.squelchEnabled : false
            onToggled: section.rtsa.squelchEnabled = !checked
        }
    }

    Repeater {
        model: [
            { name: "Open", label: "Open Threshold", unit: " dB", property: "squelchOpenDb", from: 0.0, to: 20.0,
              step: 0.5, decimals: 1, fallback: 3.0 },
            { name: "Close", label: "Close Threshold", unit: " dB", property: "squelchCloseDb", from: 0.0,
              to: 15.0, step: 0.5, decimals: 1, fallback: 1.0 },
            { name: "Attack", label: "Attack Time", unit: " ms", property: "squelchAttackMs", from: 1, to: 50,
              step: 1, decimals: 0, fallback: 4.0 },
            { name: "Release", label: "Release Time", unit: " ms", property: "squelchReleaseMs", from: 50,
              to: 1000, step: 10, decimals: 0, fallback: 50 },
            { name: "Hang", label: "Hang Time", unit: " ms", property: "squelchHangMs", from: 0, to: 500,
              step: 10, decimals: 0, fallback: 10 },
            { name: "NoiseAlpha", label: "Noise Alpha", unit: "", property: "squelchNoiseAlpha", from: 0.001,
              to: 0.05, step: 0.001, decimals: 3, fallback: 0.001 },
            { name: "MinFloor", label: "Min Floor", unit: " dBFS", property: "squelchMinFloorDb", from: -90,
              to: -30, step: 1, decimals: 0, fallback: -87 }
        ]
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: UiSlider {
            required property var modelData
            objectName: "squelch" + modelData.name + "Slider"
            visible: section.expanded
            width: section.width
            text: modelData.label + ": " + value.toFixed(modelData.decimals) + modelData.unit
            from: modelData.from
            to: modelData.to
            stepSize: modelData.step
            value: section.rtsa ? section.rtsa[modelData.property] : modelData.fallback
            onMoved: (value) => section.rtsa[modelData.property] = value
        }
        // qmllint enable unqualified
    }
}
