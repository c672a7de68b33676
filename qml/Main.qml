import QtQuick
import QtQuick.Window
import NorvaleRTSA 1.0

Window {
    id: root
    title: "NorvaleRTSA"
    width: 1760
    height: 980
    visible: true
    color: "#15181C"

    // The spectrum area: a synthetic spectrum until acquisition starts.
    SpectrumView {
        id: spectrum
        anchors.fill: parent
        anchors.margins: 8
        demo: true
        Component.onCompleted: rtsa.spectrumItem = spectrum
    }
}
