import QtQuick 2.15
import "../logic"
import "panels"

// The left column: receiver, then (as they arrive) spectrum, persistence and waterfall settings.
PanelColumn {
    id: left

    required property var rtsa
    required property AppState app

    DevicePanel {
        width: left.panelWidth
        rtsa: left.rtsa
        app: left.app
    }
}
