import QtQuick 2.15
import QtTest 1.2
import NorvaleRTSA.Testing 1.0
import "../../qml/logic"

TestCase {
    id: testCase
    name: "AppState"

    Component {
        id: stateComponent
        AppState {}
    }

    // Stands in for the controller: the properties AppState writes, starting away from the values
    // it writes so that each write shows as a change, and every applyParams call recorded.
    Component {
        id: controllerComponent
        QtObject {
            property bool connected: true
            property real rbwTargetHz: 0
            property int densityLevels: 0
            property int densityWidthBins: 0
            property real densityTau: 0
            property real densityHitGain: 0
            property real densityGamma: 0
            property real densityMax: 0
            property real waterfallFps: 0
            property int waterfallLines: 0
            property int waterfallPaletteId: 0
            property bool audioEnabled: true
            property bool newDemodEnabled: false
            property var applied: []

            function applyParams(freqMHz, bwMHz, port, att, preamp, ifgain) {
                applied.push([freqMHz, bwMHz, port, att, preamp, ifgain])
            }
        }
    }

    function makeState() {
        return createTemporaryObject(stateComponent, testCase)
    }

    function makeController(properties) {
        return createTemporaryObject(controllerComponent, testCase, properties || {})
    }

    function test_initRtsaSetsTheControllerInOrder() {
        const state = makeState()
        const rtsa = makeController()
        state.waterfallPaletteId = 1
        const order = []
        state.applyParamsOnConnectChanged.connect(() => order.push("applyParamsOnConnect"))
        const names = ["rbwTargetHz", "densityLevels", "densityWidthBins", "densityTau", "densityHitGain",
                       "densityGamma", "densityMax", "waterfallFps", "waterfallLines", "waterfallPaletteId",
                       "newDemodEnabled"]
        for (const name of names)
            rtsa[name + "Changed"].connect(() => order.push(name))

        state.initRtsa(rtsa)

        compare(order, ["rbwTargetHz", "applyParamsOnConnect", "densityLevels", "densityWidthBins", "densityTau",
                        "densityHitGain", "densityGamma", "densityMax", "waterfallFps", "waterfallLines",
                        "waterfallPaletteId", "newDemodEnabled"])
        compare(rtsa.rbwTargetHz, 10000)
        verify(state.applyParamsOnConnect)
        compare(rtsa.densityLevels, 512)
        compare(rtsa.densityWidthBins, 1024)
        compare(rtsa.densityTau, 0.5)
        compare(rtsa.densityHitGain, 5.0)
        compare(rtsa.densityGamma, 0.6)
        compare(rtsa.densityMax, 20.0)
        compare(rtsa.waterfallFps, 30)
        compare(rtsa.waterfallLines, 300)
        compare(rtsa.waterfallPaletteId, 1)
        compare(rtsa.newDemodEnabled, true)
    }

    function test_withoutControllerNothingIsSentAndNothingFails() {
        const state = makeState()
        state.initRtsa(null)
        state.applyParamsForce(null, 1000, 20, 0, 0, 20, 30)
        state.tuneDemodTo(null, 100e6)
        state.stepDemod(null, null, 1, false)
        state.markerToPeak(null, null)
        compare(state.addMarkerAtPeak(null, null), -1)
        state.setWaterfallTimeDepth(null, 5)
        verify(!state.applyParamsOnConnect)
        compare(state.waterfallTimeDepthSec, 5)
        verify(isNaN(state.lastAppliedFreqMHz))
    }

    function test_logKeepsTheNewestHundredAndReplacesTheList() {
        const state = makeState()
        let changes = 0
        state.logHistoryChanged.connect(() => ++changes)
        for (let i = 0; i <= 100; ++i)
            state.pushLog("line " + i)

        compare(state.logHistory.length, 100)
        compare(state.logHistory[0].msg, "line 1")
        compare(state.logHistory[99].msg, "line 100")
        verify(state.logHistory[99].time.length > 0)
        compare(changes, 101)

        state.clearLog()
        compare(state.logHistory.length, 0)
    }

    function test_logLengthFollowsItsLimit() {
        const state = makeState()
        state.logMaxLines = 3
        for (let i = 0; i < 5; ++i)
            state.pushLog("line " + i)
        compare(state.logHistory.map(e => e.msg), ["line 2", "line 3", "line 4"])
    }

    function test_autoAdjustMessageClearsAfterTheLastPush() {
        const state = makeState()
        // The check comes 1.2 s before the second message expires: room for a busy machine's late wait.
        state.autoAdjustTimer.interval = 3000
        state.pushAutoAdjust("RBW target too low, clamped to 3.662 kHz")
        wait(1800)
        state.pushAutoAdjust("DSP overload trigger: ring=4000000/4194304")
        wait(1800)
        // The first push alone would have expired by now.
        compare(state.autoAdjustMessage, "DSP overload trigger: ring=4000000/4194304")
        tryCompare(state, "autoAdjustMessage", "", 30000)
    }

    function test_applyParamsSendsOnlyChanges() {
        const state = makeState()
        const rtsa = makeController()
        state.applyParamsIfChanged(rtsa, 1000, 20, 0, 0, 20, 30)
        state.applyParamsIfChanged(rtsa, 1000, 20, 0, 0, 20, 30)
        compare(rtsa.applied, [[1000, 20, 0, 0, 20, 30]])

        state.applyParamsIfChanged(rtsa, 1000, 20, 0, 0, 20, 20)
        compare(rtsa.applied.length, 2)
        compare(state.lastAppliedIfGain, 20)

        state.applyParamsForce(rtsa, 1000, 20, 0, 0, 20, 20)
        state.applyParamsForce(rtsa, 1000, 20, 0, 0, 20, 20)
        compare(rtsa.applied.length, 4)
        compare([state.lastAppliedFreqMHz, state.lastAppliedBwMHz, state.lastAppliedPort, state.lastAppliedAtt,
                 state.lastAppliedPreamp, state.lastAppliedIfGain], [1000, 20, 0, 0, 20, 20])
    }

    function test_applyParamsNeedsAConnectedController() {
        const state = makeState()
        const rtsa = makeController({ connected: false })
        state.applyParamsForce(rtsa, 1000, 20, 0, 0, 20, 30)
        compare(rtsa.applied.length, 0)
        // Nothing was recorded, so the first apply after connecting still goes out.
        rtsa.connected = true
        state.applyParamsIfChanged(rtsa, 1000, 20, 0, 0, 20, 30)
        compare(rtsa.applied.length, 1)
    }

    Component {
        id: modelComponent
        MarkerModel {}
    }
    // Stands in for the spectrum view: its centre and the peaks of its trace, highest first.
    Component {
        id: viewComponent
        QtObject {
            property real centerFreqHz: 100e6
            property var peaksHz: []
            function highestUnmarkedPeakHz(markedHz) {
                const free = peaksHz.filter(hz => markedHz.indexOf(hz) < 0)
                return free.length > 0 ? free[0] : NaN
            }
        }
    }

    function markerHz(model, id) {
        for (let row = 0; row < model.rowCount(); ++row) {
            if (model.get(row).id === id)
                return model.get(row).freqHz
        }
        return NaN
    }

    function test_tuningTheDemodulatorMovesItsMarkerOrMakesOne() {
        const state = makeState()
        const model = createTemporaryObject(modelComponent, testCase)
        // Following the centre, the demodulator gets a marker of its own at the clicked place.
        compare(state.newDemodMarkerId, -2)
        state.tuneDemodTo(model, 995.6e6)
        compare(model.rowCount(), 1)
        compare(state.newDemodMarkerId, 1)
        compare(markerHz(model, 1), 995.6e6)
        // From then on its marker moves; no new one is made.
        state.tuneDemodTo(model, 1002.4e6)
        compare(model.rowCount(), 1)
        compare(markerHz(model, 1), 1002.4e6)
        // Its marker deleted, the next tune makes a new one.
        model.removeMarker(1)
        state.tuneDemodTo(model, 990e6)
        compare(state.newDemodMarkerId, 2)
        compare(markerHz(model, 2), 990e6)
        state.tuneDemodTo(model, 0)
        compare(markerHz(model, 2), 990e6)
    }

    function test_stepsStartFromTheDemodulatorsFrequencyOnTheRaster() {
        const state = makeState()
        const model = createTemporaryObject(modelComponent, testCase)
        const view = createTemporaryObject(viewComponent, testCase)
        // Without a marker the step starts from the centre.
        state.stepDemod(model, view, 1, false)
        compare(markerHz(model, 1), 100.1e6)
        state.tuneDemodTo(model, 99.4471e6)
        state.stepDemod(model, view, 1, false)
        compare(markerHz(model, 1), 99.5e6)
        state.stepDemod(model, view, -2, false)
        compare(markerHz(model, 1), 99.3e6)
        state.stepDemod(model, view, 1, true)
        fuzzyCompare(markerHz(model, 1), 99.301e6, 1e-3)
    }

    function test_newMarkersGoToUnmarkedPeaksAndPeakKeyMovesTheDemodMarker() {
        const state = makeState()
        const model = createTemporaryObject(modelComponent, testCase)
        const view = createTemporaryObject(viewComponent, testCase, { peaksHz: [99.4e6, 96.7e6] })
        compare(state.addMarkerAtPeak(model, view), 1)
        compare(state.addMarkerAtPeak(model, view), 2)
        compare(state.addMarkerAtPeak(model, view), 3)
        compare([markerHz(model, 1), markerHz(model, 2), markerHz(model, 3)], [99.4e6, 96.7e6, 100e6])

        // Before a frame the peak is at 0 Hz: whichever marker goes to the peak shows it.
        state.markerToPeak(model, view)
        compare(markerHz(model, 1), 0)
        state.newDemodMarkerId = 3
        state.markerToPeak(model, view)
        compare([markerHz(model, 2), markerHz(model, 3)], [96.7e6, 0])

        // With no marker at all, one is added on the highest peak.
        const empty = createTemporaryObject(modelComponent, testCase)
        state.markerToPeak(empty, view)
        compare(empty.rowCount(), 1)
    }

    function test_waterfallTimeDepthSetsTheLineCount() {
        const state = makeState()
        const rtsa = makeController()
        state.setWaterfallTimeDepth(rtsa, 0.2)
        compare(state.waterfallTimeDepthSec, 0.2)
        compare(rtsa.waterfallLines, 6)
        state.waterfallFps = 24
        state.setWaterfallTimeDepth(rtsa, 30)
        compare(rtsa.waterfallLines, 720)
    }

    function test_formatHzByMagnitude_data() {
        return [
            { tag: "zero", hz: 0, text: "0.0 Hz", unit: "Hz" },
            { tag: "below kHz", hz: 999.94, text: "999.9 Hz", unit: "Hz" },
            { tag: "kHz", hz: 1000, text: "1.000 kHz", unit: "kHz" },
            { tag: "below MHz", hz: 999999, text: "999.999 kHz", unit: "kHz" },
            { tag: "MHz", hz: 1e6, text: "1.000 MHz", unit: "MHz" },
            { tag: "below GHz", hz: 999.9994e6, text: "999.999 MHz", unit: "MHz" },
            { tag: "GHz", hz: 1e9, text: "1.000 GHz", unit: "GHz" },
            { tag: "negative Hz", hz: -12.34, text: "-12.3 Hz", unit: "Hz" },
            { tag: "negative kHz", hz: -1500, text: "-1.500 kHz", unit: "kHz" },
            { tag: "negative MHz", hz: -2.5e6, text: "-2.500 MHz", unit: "MHz" },
            { tag: "negative GHz", hz: -2.5e9, text: "-2.500 GHz", unit: "GHz" },
        ]
    }

    function test_formatHzByMagnitude(row) {
        const state = makeState()
        compare(state.formatHz(row.hz), row.text)
        compare(state.unitForHz(row.hz), row.unit)
    }

    function test_formatHzValueAndMarkerFrequency() {
        const state = makeState()
        compare(state.formatHzValue(1234567890, "GHz"), "1.235")
        compare(state.formatHzValue(1234567890, "MHz"), "1234.568")
        compare(state.formatHzValue(1234567, "kHz"), "1234.567")
        compare(state.formatHzValue(1234.56, "Hz"), "1234.6")
        compare(state.formatHzValue(1234.56, "bogus"), "1234.6")
        compare(state.formatMarkerMHz(1000123456.7), "1000.123457 MHz")
    }

    function test_markerColours() {
        const state = makeState()
        const palette = state.markerColorPalette
        for (let i = 0; i < palette.length; ++i)
            compare(state.nextMarkerColor(palette[i]), palette[(i + 1) % palette.length])
        compare(state.nextMarkerColor("#B388FF"), "#4FC3F7")
        compare(state.nextMarkerColor("#123456"), "#4FC3F7")
        compare(state.nextMarkerColor(""), "#4FC3F7")
        compare(state.nextMarkerColor("#4fc3f7"), "#FF6B5E")

        compare(state.colorForMarkerId(1), "#FF6B5E")
        compare(state.colorForMarkerId(5), "#4FC3F7")
        compare(state.colorForMarkerId(7), "#E4B55E")
        compare(state.colorForMarkerId(-1), "#B388FF")
    }
}
