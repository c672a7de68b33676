import QtQuick 2.15
import ".."

// A drop-down: a button that shows the current choice and opens the list of choices under it.
// Opening first says aboutToOpen(), so that the owner can refresh `model`; a click on an entry
// says activated(index, entry) and closes the list. Entries are texts, or objects whose
// `label` is shown. The button is named objectName + "Button", the entries objectName +
// "Entry" + their index.
Column {
    id: dropDown

    property string text: ""
    property var model: []
    property bool open: false
    property int maxListHeight: 220
    readonly property int entryHeight: 26

    signal aboutToOpen()
    signal activated(int index, var entry)

    function popup() {
        aboutToOpen()
        open = true
    }

    function labelOf(entry) {
        return typeof entry === "object" && entry !== null ? String(entry.label) : String(entry)
    }

    spacing: 2
    onEnabledChanged: if (!enabled) open = false

    UiButton {
        objectName: dropDown.objectName + "Button"
        width: dropDown.width
        text: dropDown.text + (dropDown.open ? "  \u25b4" : "  \u25be")
        onTriggered: {
            if (dropDown.open)
                dropDown.open = false
            else
                dropDown.popup()
        }
    }

    ListView {
        id: list
        visible: dropDown.open
        width: dropDown.width
        height: visible ? Math.min(count * dropDown.entryHeight, dropDown.maxListHeight) : 0
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: dropDown.model
        // The delegate reads ids of this document, which the linter cannot follow into it.
        // qmllint disable unqualified
        delegate: UiButton {
            required property var modelData
            required property int index
            objectName: dropDown.objectName + "Entry" + index
            width: list.width
            height: dropDown.entryHeight
            text: dropDown.labelOf(modelData)
            normalColor: "#232831"
            onTriggered: {
                dropDown.open = false
                dropDown.activated(index, modelData)
            }
        }
        // qmllint enable unqualified
    }
}
