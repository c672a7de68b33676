import QtQuick 2.15
import "../logic"
import "panels"

// The left column: the receiver, its recording, the part of its band in view, then spectrum, persistence and
// waterfall settings.
PanelColumn {
    id: left

    required property var rtsa
    required property AppState app
    required property var view

    DevicePanel {
        objectName: "devicePanel"
        width: left.panelWidth
        rtsa: left.rtsa
        app: left.app
        onRecordingChosen: playbackPanel.chooseFile()
    }
    PlaybackPanel {
        id: playbackPanel
        objectName: "playbackPanel"
        width: left.panelWidth
        rtsa: left.rtsa
    }
    RecordPanel {
        objectName: "recordPanel"
        width: left.panelWidth
        rtsa: left.rtsa
    }
    ViewPanel {
        objectName: "viewPanel"
        width: left.panelWidth
        view: left.view
    }
    DspPanel {
        objectName: "dspPanel"
        width: left.panelWidth
        rtsa: left.rtsa
        app: left.app
        view: left.view
    }
    DpxPanel {
        objectName: "dpxPanel"
        width: left.panelWidth
        rtsa: left.rtsa
        view: left.view
        app: left.app
    }
    WaterfallPanel {
        objectName: "waterfallPanel"
        width: left.panelWidth
        rtsa: left.rtsa
        app: left.app
        view: left.view
    }
}
