import QtQuick 2.15
import NorvaleRTSA 1.0
import ".."

// The squelch: its switch always in sight, its thresholds and timings under a fold of their
// own, each slider over its setting's range. Before there is a controller the sliders show
// where the settings start.
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
            { name: "Open", label: "Open Threshold", unit: " dB", property: "squelchOpenDb", decimals: 1 },
            { name: "Close", label: "Close Threshold", unit: " dB", property: "squelchCloseDb", decimals: 1 },
            { name: "Attack", label: "Attack Time", unit: " ms", property: "squelchAttackMs", decimals: 0 },
            { name: "Release", label: "Release Time", unit: " ms", property: "squelchReleaseMs", decimals: 0 },
            { name: "Hang", label: "Hang Time", unit: " ms", property: "squelchHangMs", decimals: 0 },
            { name: "NoiseAlpha", label: "Noise Alpha", unit: "", property: "squelchNoiseAlpha", decimals: 3 },
            { name: "MinFloor", label: "Min Floor", unit: " dBFS", property: "squelchMinFloorDb", decimals: 0 }
        ]
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: UiSlider {
            required property var modelData
            readonly property var setting: Settings.demod[modelData.property]
            objectName: "squelch" + modelData.name + "Slider"
            visible: section.expanded
            width: section.width
            text: modelData.label + ": " + value.toFixed(modelData.decimals) + modelData.unit
            from: setting.min
            to: setting.max
            stepSize: setting.step
            value: section.rtsa ? section.rtsa[modelData.property] : setting.initial
            onMoved: (value) => section.rtsa[modelData.property] = value
        }
        // qmllint enable unqualified
    }
}
