import QtQuick 2.15
import ".."
import "../logic/PanelLogic.js" as PanelLogic

// A choice group: a row of small buttons, the one standing for `current` drawn selected. The
// buttons share the row's width; ones whose label needs more keep their own width and the
// row wraps.
Flow {
    id: row

    // Each choice is {label, value}, or a plain value that is its own label.
    property var choices: []
    property var current
    // Buttons are named namePrefix + their label without punctuation ("rbw" + "1k" = "rbw1k").
    property string namePrefix: ""
    readonly property real share: choices.length > 0
                                  ? Math.floor((width - (choices.length - 1) * spacing) / choices.length) : 0

    signal chosen(var value)

    spacing: 4

    Repeater {
        model: row.choices
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: UiButton {
            required property var modelData
            readonly property var value: typeof modelData === "object" ? modelData.value : modelData

            objectName: row.namePrefix + text.replace(/[^A-Za-z0-9]/g, "")
            text: typeof modelData === "object" ? modelData.label : String(modelData)
            width: Math.max(implicitWidth, row.share)
            normalColor: PanelLogic.sameChoice(value, row.current) ? "#2F3945" : "#232831"
            onTriggered: row.chosen(value)
        }
        // qmllint enable unqualified
    }
}
