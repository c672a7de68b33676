import QtQuick 2.15
import QtTest 1.2
import NorvaleRTSA 1.0
import "../../qml/logic"
import "../../qml/components"
import "../../qml/components/panels"

// The status bars and the device panel against a stand-in controller: the badges and the
// status row show what the controller's properties say, never what a log line says.
TestCase {
    id: testCase
    name: "StatusBars"
    width: 1200
    height: 600
    visible: true
    when: windowShown

    Component {
        id: controllerComponent
        StubController {}
    }
    Component {
        id: stateComponent
        AppState {}
    }
    Component {
        id: viewComponent
        SpectrumView {
            width: 400
            height: 200
        }
    }
    Component {
        id: windowComponent
        Column {
            id: column
            required property var rtsa
            required property AppState app
            required property SpectrumView view
            width: 1200
            TopStatusBar {
                width: column.width
                rtsa: column.rtsa
                app: column.app
                view: column.view
            }
            BottomStatusBar {
                width: column.width
                rtsa: column.rtsa
                app: column.app
                view: column.view
            }
            DevicePanel {
                width: 300
                rtsa: column.rtsa
                app: column.app
            }
        }
    }

    property var rtsa: null
    property var app: null
    property Item bars: null

    function init() {
        failOnWarning(/./)
        rtsa = createTemporaryObject(controllerComponent, testCase)
        app = createTemporaryObject(stateComponent, testCase)
        const view = createTemporaryObject(viewComponent, testCase)
        bars = createTemporaryObject(windowComponent, testCase, { rtsa: rtsa, app: app, view: view })
        verify(bars !== null)
    }

    // The bars go before what they are bound to.
    function cleanup() {
        bars.destroy()
        bars = null
        wait(0)
    }

    function item(name) {
        const found = findChild(bars, name)
        verify(found !== null, "no item named " + name)
        return found
    }

    function test_deviceSummaryFollowsTheReceiverInUse() {
        verify(item("deviceSummaryText").visible)
        verify(!item("receiverSummaryText").visible)
        compare(item("deviceSummaryText").text, "Port 1  |  Rate/BW 20 MSps  |  ATT 0 dB  |  Pre 20 dB  |  IF 30 dB")
        rtsa.deviceBackend = "SoapySDR"
        verify(!item("deviceSummaryText").visible)
        compare(item("receiverSummaryText").text, "Rate/BW 20 MSps  |  LNA 20 dB  |  VGA 30 dB  |  Ant RX1  |  0.0 ppm")
        rtsa.deviceFrontEnd = Object.assign({}, rtsa.deviceFrontEnd, { automaticGain: true, antennas: ["RX"] })
        compare(item("receiverSummaryText").text, "Rate/BW 20 MSps  |  AGC  |  0.0 ppm")
    }

    function test_overloadShowsInTheAutoBadge() {
        // The line the controller logs for an overload is only logged.
        rtsa.logMessage("DSP overload trigger: ring=4000000/4194304")
        verify(!item("autoBadge").visible)

        rtsa.autoAdjustment = "DSP overload trigger: ring=4000000/4194304"
        verify(item("autoBadge").visible)
        compare(item("autoBadgeText").text, "AUTO: DSP overload trigger: ring=4000000/4194304")

        // Gone after its time, and back with the next overload, though its text is the same.
        app.autoAdjustTimer.interval = 10
        tryVerify(() => !item("autoBadge").visible, 30000)
        app.autoAdjustTimer.interval = 3500
        rtsa.autoAdjustmentChanged()
        verify(item("autoBadge").visible)
    }

    function test_statusRowShowsTheControllersStatus() {
        verify(!item("audioStatusText").visible)
        rtsa.audioStatus = "Audio: fill=12.5%, demodRing=0.3%, underruns=0, overruns=0"
        verify(item("audioStatusText").visible)
        compare(item("audioStatusText").text, "Audio: fill=12.5%, demodRing=0.3%, underruns=0, overruns=0")
        compare(item("demodStatusText").text, "")

        rtsa.demodStatus = "[Demod] CPU=2.0% | measRate=100.0k"
        rtsa.lastError = "Audio: open failed"
        compare(item("demodStatusText").text, "[Demod] CPU=2.0% | measRate=100.0k")
        compare(item("lastErrorText").text, "Audio: open failed")

        // Log lines do not set it.
        rtsa.audioStatus = ""
        rtsa.demodStatus = ""
        rtsa.logMessage("[Demod] CPU=2.0% | measRate=100.0k")
        rtsa.logMessage("Audio: closed")
        compare(item("demodStatusText").text, "")
        compare(item("audioStatusText").text, "")
        verify(item("audioStatusText").visible)
        rtsa.lastError = ""
        verify(!item("audioStatusText").visible)
    }
}
