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

    // Each status has a place of its own that never changes size: the bar keeps its height
    // whatever it shows.
    function test_statusRowShowsTheControllersStatus() {
        const bar = item("audioStatusText").parent.parent.parent
        const height = bar.height
        compare(item("audioStatusText").text, "")
        rtsa.audioEnabled = true
        rtsa.newDemodEnabled = true
        rtsa.audioStatus = "Audio: fill=12.5%, demodRing=0.3%, underruns=0, overruns=0"
        compare(item("audioStatusText").text, "Audio: fill=12.5%, demodRing=0.3%, underruns=0, overruns=0")
        compare(item("demodStatusText").text, "")

        rtsa.demodStatus = "[Demod] CPU=2.0% | measRate=100.0k"
        rtsa.lastError = "Audio: open failed: ASIO: start failed: cannot create /a/folder/that/is/not/there/audio.wav"
        compare(item("demodStatusText").text, "[Demod] CPU=2.0% | measRate=100.0k")
        compare(item("lastErrorText").text, rtsa.lastError)
        compare(item("lastErrorText").color, Qt.color("#FF6B5E"))
        verify(item("lastErrorText").truncated)
        compare(bar.height, height)

        // Log lines do not set it.
        rtsa.audioStatus = ""
        rtsa.demodStatus = ""
        rtsa.logMessage("[Demod] CPU=2.0% | measRate=100.0k")
        rtsa.logMessage("Audio: closed")
        compare(item("demodStatusText").text, "")
        compare(item("audioStatusText").text, "")

        // The figures of a path that is off are gone with it.
        rtsa.audioStatus = "Audio: fill=12.5%, demodRing=0.3%, underruns=0, overruns=0"
        rtsa.demodStatus = "[Demod] CPU=2.0% | measRate=100.0k"
        rtsa.newDemodEnabled = false
        rtsa.audioEnabled = false
        compare(item("demodStatusText").text, "")
        compare(item("audioStatusText").text, "")
        compare(bar.height, height)
    }

    // The intercept time stands beside the FFT size while the controller states it; spectra
    // skipped take the spectrum thread's place, in the warning colour, while they last.
    function test_interceptAndSkippedSpectraShowInTheFiguresRow() {
        const dsp = item("dspStatusText")
        const width = dsp.width
        verify(!item("poiText").visible)
        rtsa.interceptText = "POI 100 % \u2265 48.9 \u00B5s"
        verify(item("poiText").visible)
        compare(item("poiText").text, "POI 100 % \u2265 48.9 \u00B5s")
        // The spectrum thread's place gives up the room, and keeps to the row.
        verify(dsp.width < width)
        tryVerify(() => Math.abs(dsp.x + dsp.width - item("poiText").parent.width) < 0.5, 30000)

        app.dispatchLogEntry("DSP 14648 fps, dropFrames=0", Settings.Info, true)
        rtsa.spectraSkipped = "Overlap 75 %: the CPU cannot keep up, spectra skipped"
        compare(dsp.text, rtsa.spectraSkipped)
        compare(dsp.color, Qt.color("#E4B55E"))
        rtsa.spectraSkipped = ""
        compare(dsp.text, "DSP 14648 fps, dropFrames=0")
        compare(dsp.color, Qt.color("#4FC3F7"))
        rtsa.interceptText = ""
        verify(!item("poiText").visible)
        compare(dsp.width, width)
    }

    // A text cut short shows whole while the pointer rests on it.
    function test_hoverShowsTheWholeStatus() {
        rtsa.lastError = "Device open error: RZ640 device not found (find(RZ_640_1/RZ_640_N) both returned null); "
                         + "the SDK said: [rzsdr-sim] no receiver: cannot open /recordings/missing.cs16"
        const place = item("lastErrorText")
        verify(place.truncated)
        const whole = findChild(testCase, "lastErrorTextWhole")
        verify(whole !== null)
        verify(!whole.visible)
        mouseMove(place, 10, place.height / 2)
        tryVerify(() => whole.visible, 30000)
        mouseMove(testCase, 1, 1)
        tryVerify(() => !whole.visible, 30000)
    }
}
