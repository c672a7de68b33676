import QtQuick 2.15
import QtQuick.Window 2.15
import "logic"
import "components"

// The main window: the two panel columns at the sides, the status bars at the top and bottom
// between them, and the spectrum area in the middle.
Window {
    id: root

    // The controller, or null when the window was loaded without one: every binding below
    // then shows "--" instead of failing.
    // qmllint disable unqualified
    readonly property var controller: typeof rtsa !== "undefined" && rtsa ? rtsa : null
    // qmllint enable unqualified

    width: 1760
    height: 980
    minimumWidth: 1100
    minimumHeight: 700
    visible: true
    title: "NorvaleRTSA"
    color: "#15181C"

    AppState {
        id: app
        objectName: "appState"
    }

    LeftPanel {
        id: leftPanel
        objectName: "leftPanel"
        x: 8
        y: 8
        width: 300
        height: root.height - 16
        rtsa: root.controller
        app: app
        view: spectrumArea.view
        // Its panels change a few times a second at most: drawn into a texture when they do,
        // the column costs each frame one copy instead of every box and glyph again.
        layer.enabled: true
    }

    RightPanel {
        id: rightPanel
        objectName: "rightPanel"
        x: root.width - 8 - width
        y: 8
        width: 300
        height: root.height - 16
        rtsa: root.controller
        app: app
        view: spectrumArea.view
    }

    TopStatusBar {
        id: topBar
        objectName: "topStatusBar"
        x: leftPanel.x + leftPanel.width + 8
        y: 8
        width: rightPanel.x - 8 - x
        height: implicitHeight
        rtsa: root.controller
        app: app
        view: spectrumArea.view
    }

    BottomStatusBar {
        id: bottomBar
        objectName: "bottomStatusBar"
        x: topBar.x
        y: root.height - 8 - height
        width: topBar.width
        height: implicitHeight
        rtsa: root.controller
        app: app
        view: spectrumArea.view
    }

    SpectrumArea {
        id: spectrumArea
        objectName: "spectrumArea"
        x: topBar.x
        y: topBar.y + topBar.height + 8
        width: topBar.width
        height: bottomBar.y - 8 - y
        rtsa: root.controller
        app: app
    }

    // The keys of the instrument. A text field being typed into keeps its keys (Space, arrows,
    // letters): shortcuts only see what it does not take.
    Shortcut {
        sequence: "Space"
        enabled: root.controller !== null && root.controller.connected
        onActivated: root.controller.running ? root.controller.stopRx() : root.controller.startRx()
    }
    Shortcut {
        sequence: "Right"
        onActivated: app.stepDemod(spectrumArea.markerModel, spectrumArea.view, 1, false)
    }
    Shortcut {
        sequence: "Left"
        onActivated: app.stepDemod(spectrumArea.markerModel, spectrumArea.view, -1, false)
    }
    Shortcut {
        sequence: "Shift+Right"
        onActivated: app.stepDemod(spectrumArea.markerModel, spectrumArea.view, 1, true)
    }
    Shortcut {
        sequence: "Shift+Left"
        onActivated: app.stepDemod(spectrumArea.markerModel, spectrumArea.view, -1, true)
    }
    Shortcut {
        sequence: "P"
        onActivated: app.markerToPeak(spectrumArea.markerModel, spectrumArea.view)
    }
    Shortcut {
        sequence: "M"
        onActivated: app.addMarkerAtPeak(spectrumArea.markerModel, spectrumArea.view)
    }
    Shortcut {
        sequence: "Home"
        onActivated: spectrumArea.showWholeBand()
    }

    // Records where the window was pressed and lets the press through to what lies below.
    MouseArea {
        anchors.fill: parent
        visible: app.debugInputOverlay
        onPressed: (mouse) => {
            app.debugLastClick = "root pressed: " + mouse.x + "," + mouse.y
            mouse.accepted = false
        }
    }

    Component.onCompleted: {
        app.debugInputOverlay = false
        if (!controller)
            console.warn("Main.qml: rtsa context property is undefined.")
        app.initRtsa(controller)
    }
}
