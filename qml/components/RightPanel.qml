import QtQuick 2.15
import "../logic"
import "panels"

// The right column: RF level, markers, measurements, demodulation and the log.
PanelColumn {
    id: right

    required property var rtsa
    required property AppState app
    required property var view

    RmsPanel {
        objectName: "rmsPanel"
        width: right.panelWidth
        view: right.view
    }
    MarkersPanel {
        objectName: "markersPanel"
        width: right.panelWidth
        rtsa: right.rtsa
        app: right.app
        view: right.view
    }
    MeasurementsPanel {
        objectName: "measurementsPanel"
        width: right.panelWidth
        rtsa: right.rtsa
        app: right.app
        view: right.view
    }
    DemodPanel {
        objectName: "demodPanel"
        width: right.panelWidth
        rtsa: right.rtsa
        app: right.app
        view: right.view
    }
    LogPanel {
        objectName: "logPanel"
        width: right.panelWidth
        app: right.app
    }
}
