import QtQuick 2.15
import ".."
import "../logic/PanelLogic.js" as PanelLogic

// A choice group: a row of small buttons, the one standing for `current` drawn selected. The
// buttons share the row equally when every label fits its share; otherwise each keeps the
// width its label needs plus an equal part of what is left, and the row wraps only when even
// that does not fit.
Flow {
    id: row

    // Each choice is {label, value}, or a plain value that is its own label.
    property var choices: []
    property var current
    // The values that can be chosen; every one when null. The others show disabled.
    property var enabledValues: null
    // Buttons are named namePrefix + their label without punctuation ("rbw" + "1k" = "rbw1k").
    property string namePrefix: ""

    readonly property var labels: choices.map(c => typeof c === "object" ? String(c.label) : String(c))
    // Choice buttons are small: less room beside their labels than other buttons have.
    readonly property int labelInset: 6
    // What each label needs on a button, its insets included.
    readonly property var needed: labels.map(label => Math.ceil(metrics.advanceWidth(label)) + 2 * labelInset + 1)
    readonly property real free: width - Math.max(0, choices.length - 1) * spacing
    readonly property real share: choices.length > 0 ? Math.floor(free / choices.length) : 0
    readonly property bool equal: needed.every(w => w <= share)
    readonly property real extra: choices.length > 0
                                  ? Math.max(0, Math.floor((free - needed.reduce((a, b) => a + b, 0)) / choices.length))
                                  : 0

    signal chosen(var value)

    spacing: 4

    FontMetrics {
        id: metrics
        font.pixelSize: 12
    }

    Repeater {
        model: row.choices
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: UiButton {
            required property var modelData
            required property int index
            readonly property var value: typeof modelData === "object" ? modelData.value : modelData

            objectName: row.namePrefix + text.replace(/[^A-Za-z0-9]/g, "")
            // From the entry itself: when the choices change, the delegates may be made before
            // the row's label list follows.
            text: typeof modelData === "object" ? String(modelData.label) : String(modelData)
            labelInset: row.labelInset
            width: row.equal ? row.share : row.needed[index] + row.extra
            enabled: row.enabledValues === null || row.enabledValues.some(v => PanelLogic.sameChoice(v, value))
            normalColor: PanelLogic.sameChoice(value, row.current) ? "#2F3945" : "#232831"
            onTriggered: row.chosen(value)
        }
        // qmllint enable unqualified
    }
}
