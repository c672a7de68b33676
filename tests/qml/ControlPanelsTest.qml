import QtQuick 2.15
import NorvaleRTSA 1.0
import NorvaleRTSA.Testing 1.0
import "../../qml/logic"
import "../../qml/components"
import "../../qml/components/panels"

// The receiver, spectrum, persistence, waterfall, RF level, marker and log panels against a
// stand-in controller holding the real marker model.
PanelTestCase {
    id: testCase
    name: "ControlPanels"

    Component {
        id: stateComponent
        AppState {}
    }
    Component {
        id: modelComponent
        MarkerModel {}
    }
    Component {
        id: controllerComponent
        StubController {}
    }
    Component {
        id: viewComponent
        QtObject {
            property real centerFreqHz: 99.4e6
            property real rmsDb: NaN
            property real rmsReadingDb: NaN
            property bool peakLineEnabled: false
            property int densityPalette: 0
            property real noiseFloorDb: -93
            property real strongestDb: -21
            property real waterfallMinDb: -120
            property real waterfallMaxDb: 0
            property real binHz: 0
            property int clears: 0
            // The peaks of the trace, highest first.
            property var peaksHz: []

            function highestUnmarkedPeakHz(markedHz) {
                const free = peaksHz.filter(hz => markedHz.indexOf(hz) < 0)
                return free.length > 0 ? free[0] : NaN
            }
            function clearWaterfall() { ++clears }
            // The captured band and the zoom into it, as the spectrum item keeps them.
            property real minFreqHz: 990e6
            property real maxFreqHz: 1010e6
            property real viewStart: 0
            property real viewStop: 1
            readonly property real viewMinFreqHz: minFreqHz + viewStart * (maxFreqHz - minFreqHz)
            readonly property real viewMaxFreqHz: minFreqHz + viewStop * (maxFreqHz - minFreqHz)
            function setView(start, stop) {
                viewStart = start
                viewStop = stop
            }
        }
    }
    Component {
        id: viewPanelComponent
        ViewPanel {}
    }
    Component {
        id: readoutComponent
        MarkerReadout {}
    }
    Component {
        id: deviceComponent
        DevicePanel {}
    }
    Component {
        id: dspComponent
        DspPanel {}
    }
    Component {
        id: dpxComponent
        DpxPanel {}
    }
    Component {
        id: waterfallComponent
        WaterfallPanel {}
    }
    Component {
        id: rmsComponent
        RmsPanel {}
    }
    Component {
        id: markersComponent
        MarkersPanel {}
    }
    Component {
        id: logComponent
        LogPanel {}
    }

    property var rtsa: null
    property var app: null
    property var model: null
    property var view: null

    function prepare() {
        model = createTemporaryObject(modelComponent, testCase)
        rtsa = createTemporaryObject(controllerComponent, testCase, { markersModel: model })
        app = createTemporaryObject(stateComponent, testCase)
        view = createTemporaryObject(viewComponent, testCase)
    }

    // What each panel is given: the controller, the application state, the spectrum view.
    function inputsOf(component) {
        const all = { rtsa: rtsa, app: app, view: view }
        const names = new Map([[deviceComponent, ["rtsa", "app"]], [dspComponent, ["rtsa", "app", "view"]],
                               [dpxComponent, ["rtsa", "view", "app"]], [waterfallComponent, ["rtsa", "app", "view"]],
                               [rmsComponent, ["view"]], [markersComponent, ["rtsa", "app", "view"]],
                               [logComponent, ["app"]], [viewPanelComponent, ["view"]]]).get(component)
        const inputs = { width: 300 }
        for (const name of names)
            inputs[name] = all[name]
        return inputs
    }

    // The panel of `component`, open.
    function makePanel(component) {
        panel = createTemporaryObject(component, testCase, inputsOf(component))
        verify(panel !== null)
        if (panel.collapsible)
            panel.expanded = true
        return panel
    }

    function typeInto(name, text) {
        const field = item(name)
        clickItem(field)
        keyClick(Qt.Key_A, Qt.ControlModifier)
        keyClick(Qt.Key_Delete)
        for (const c of text)
            keyClick(c)
        keyClick(Qt.Key_Return)
    }

    function test_headersFoldTheirPanels() {
        for (const component of [dspComponent, dpxComponent, waterfallComponent, markersComponent, logComponent]) {
            panel = createTemporaryObject(component, testCase, inputsOf(component))
            panel.objectName = "panel"
            verify(panel.collapsible)
            verify(!panel.expanded)
            const header = item("panelHeader")
            const folded = panel.height
            clickItem(header)
            verify(panel.expanded)
            verify(panel.height > folded)
            clickItem(header)
            verify(!panel.expanded)
            compare(panel.height, folded)
            panel.destroy()
        }
        for (const component of [deviceComponent, rmsComponent]) {
            panel = createTemporaryObject(component, testCase, inputsOf(component))
            panel.objectName = "panel"
            verify(!panel.collapsible)
            clickItem(item("panelHeader"))
            verify(panel.open)
            panel.destroy()
        }
        panel = null
    }

    // The front end the panel shows (kept from the last run) is what a connect sends.
    function test_connectAppliesTheShownFrontEndOnce() {
        makePanel(deviceComponent)
        app.usrpRateValue = "5"
        app.rzAttValue = "30"
        app.rzPortValue = 1
        click("connectButton")
        compare([app.usrpRateValue, app.rzPortValue, app.rzAttValue, app.rzPreampValue, app.rzIfGainValue],
                ["5", 1, "30", "20", "30"])
        verify(rtsa.connected)
        verify(!app.applyParamsOnConnect)
        compare(rtsa.callsOf("applyParams"), [[1000, 5, 1, 30, 20, 30]])
        compare(item("connectButton").text, "Disconnect")

        click("connectButton")
        verify(!rtsa.connected)
        compare(item("connectButton").text, "Connect")
        // Nothing changed since the last apply, so connecting again sends nothing.
        click("connectButton")
        compare(rtsa.callsOf("applyParams").length, 1)
        compare(rtsa.callsOf("connectDevice").length, 2)
    }

    function test_connectingAReceiverSlowerThanThePanelStartsAtItsFastestRate() {
        makePanel(deviceComponent)
        rtsa.deviceBackend = "SoapySDR"
        rtsa.deviceFrontEnd = Object.assign({}, rtsa.deviceFrontEnd, { ratesMsps: [2, 5] })
        click("connectButton")
        compare(app.usrpRateValue, "5")
        compare(rtsa.callsOf("applyParams")[0][1], 5)
    }

    function test_choicesApplyWhatChanged() {
        rtsa.connected = true
        makePanel(deviceComponent)
        click("portPort2")
        click("rate30")
        click("rate30")
        click("att10")
        click("preamp40")
        click("ifGain0")
        compare(rtsa.callsOf("applyParams"), [[1000, 20, 1, 0, 20, 30], [1000, 30, 1, 0, 20, 30],
                                              [1000, 30, 1, 10, 20, 30], [1000, 30, 1, 10, 40, 30],
                                              [1000, 30, 1, 10, 40, 0]])
        compare(item("rate30").normalColor, Qt.color("#2F3945"))
        compare(item("rate20").normalColor, Qt.color("#232831"))
        // Apply sends even what was sent already.
        click("applyButton")
        compare(rtsa.callsOf("applyParams").length, 6)
    }

    // Enter tunes to what was typed; the field then shows the frequency in MHz.
    function test_centreFrequencyField_data() {
        return [
            { tag: "comma", text: "99,4", mhz: 99.4, shown: "99.400000" },
            { tag: "point", text: "104.3", mhz: 104.3, shown: "104.300000" },
            { tag: "unit", text: "99.4M", mhz: 99.4, shown: "99.400000" },
            { tag: "lower-case unit", text: "433.92m", mhz: 433.92, shown: "433.920000" },
            { tag: "GHz", text: "2.4G", mhz: 2400, shown: "2400.000000" },
        ]
    }

    function test_centreFrequencyField(row) {
        rtsa.connected = true
        makePanel(deviceComponent)
        typeInto("centerFreqField", row.text)
        compare(item("centerFreqField").text, row.shown)
        verify(!item("centerFreqFieldError").visible)
        fuzzyCompare(app.centerFreqMHz, row.mhz, 1e-9)
        compare(rtsa.callsOf("applyParams").length, 1)
        fuzzyCompare(rtsa.callsOf("applyParams")[0][0], row.mhz, 1e-9)
    }

    // Anything else is refused with a message; the old frequency stays and nothing is sent.
    function test_centreFrequencyRefused_data() {
        return [
            { tag: "letters", text: "abc" },
            { tag: "negative", text: "-5" },
            { tag: "zero", text: "0" },
            { tag: "unknown unit", text: "12abc" },
        ]
    }

    function test_centreFrequencyRefused(row) {
        rtsa.connected = true
        makePanel(deviceComponent)
        typeInto("centerFreqField", row.text)
        compare(item("centerFreqField").text, "1000.000000")
        verify(item("centerFreqFieldError").visible)
        verify(item("centerFreqFieldErrorText").text.length > 0)
        compare(app.centerFreqMHz, 1000)
        compare(rtsa.callsOf("applyParams").length, 0)
        // The next keystroke takes the message away.
        clickItem(item("centerFreqField"))
        keyClick(Qt.Key_1)
        verify(!item("centerFreqFieldError").visible)
    }

    function test_applyNeedsAConnection() {
        makePanel(deviceComponent)
        verify(!item("applyButton").enabled)
        verify(!item("startButton").enabled)
        clickItem(item("applyButton"))
        click("rate5")
        compare(rtsa.callsOf("applyParams").length, 0)
        compare(app.usrpRateValue, "5")
    }

    function test_controllerSignalsReachThePanel() {
        rtsa.connected = true
        makePanel(deviceComponent)
        rtsa.centerFreqChanged(99.4)
        compare(item("centerFreqField").text, "99.400000")
        compare(app.lastAppliedFreqMHz, 99.4)

        // Every line that is news goes to the status text and the log; none is read for what it
        // says. Errors show in the error colour.
        const statusHeight = item("deviceStatusText").height
        rtsa.log("RBW target too low, clamped to 3.662 kHz")
        compare(item("deviceStatusText").text, "status: RBW target too low, clamped to 3.662 kHz")
        rtsa.log("DSP overload trigger: ring=4000000/4194304")
        compare(item("deviceStatusText").text, "status: DSP overload trigger: ring=4000000/4194304")
        compare(item("deviceStatusText").color, Qt.color("#AEB6C0"))
        compare(item("deviceStatusText").height, statusHeight)
        compare(app.autoAdjustMessage, "")
        compare(app.logHistory.map(e => e.msg), ["RBW target too low, clamped to 3.662 kHz",
                                                 "DSP overload trigger: ring=4000000/4194304"])

        // The AUTO badge follows the controller's adjustments, each time one is announced.
        rtsa.autoAdjustment = "RBW target too low, clamped to 3.662 kHz"
        compare(app.autoAdjustMessage, "RBW target too low, clamped to 3.662 kHz")
        rtsa.autoAdjustment = "DSP overload trigger: ring=4000000/4194304"
        compare(app.autoAdjustMessage, "DSP overload trigger: ring=4000000/4194304")
        app.autoAdjustMessage = ""
        rtsa.autoAdjustmentChanged()
        compare(app.autoAdjustMessage, "DSP overload trigger: ring=4000000/4194304")
        compare(app.logHistory.length, 2)

        // A figure of every second goes to its status place, not to the log or the status line.
        rtsa.log("RX 76.29 MB/s, timeouts=0, fftDrop=0, demodOvf=0", Settings.Info, true)
        rtsa.log("  FFT ring=1024/4194304, Demod ring=0/4194304", Settings.Info, true)
        compare(item("rxStatusText").text,
                "RX 76.29 MB/s, timeouts=0, fftDrop=0, demodOvf=0 | FFT ring=1024/4194304, Demod ring=0/4194304")
        compare(item("deviceStatusText").text, "status: DSP overload trigger: ring=4000000/4194304")
        compare(app.logHistory.length, 2)

        // A failure far wider than the column keeps to one line, cut short, in the error colour.
        const cause = "Device open error: RZ640 device not found (find(RZ_640_1/RZ_640_N) both returned null); "
                      + "the SDK said: [rzsdr-sim] no receiver: cannot open /recordings/missing.cs16"
        rtsa.log(cause, Settings.Error)
        compare(item("deviceStatusText").text, "status: " + cause)
        verify(item("deviceStatusText").truncated)
        compare(item("deviceStatusText").height, statusHeight)
        compare(item("deviceStatusText").color, Qt.color("#FF6B5E"))

        click("startButton")
        verify(rtsa.running)
        verify(!item("startButton").enabled)
        click("stopButton")
        verify(!rtsa.running)
    }

    function test_deviceListIsAskedForAtEachOpening() {
        makePanel(deviceComponent)
        compare(item("deviceDropDownButton").text.indexOf("Auto"), 0)
        choose("deviceDropDown", "RZ640")
        compare(rtsa.deviceSelection, "RZ640")
        compare(item("deviceDropDownButton").text.indexOf("RZ640"), 0)
        choose("deviceDropDown", "Auto")
        compare(rtsa.deviceSelection, "")
        // At each opening: what is known at once, a search, and its result.
        compare(rtsa.callsOf("refreshDeviceList").length, 2)
        compare(rtsa.callsOf("deviceList").length, 4)
        compare(item("serialText").text, "SN --")
        rtsa.deviceSerial = "RZ640S-1"
        compare(item("serialText").text, "SN RZ640S-1")
    }

    function test_soapyReceiverShowsItsOwnFrontEnd() {
        rtsa.devices = [{ label: "Auto", args: "" }, { label: "RZ640", args: "RZ640" },
                        { label: "HackRF (SN 1234)", args: "driver=hackrf,serial=1234" }]
        makePanel(deviceComponent)
        choose("deviceDropDown", "HackRF (SN 1234)")
        compare(rtsa.deviceSelection, "driver=hackrf,serial=1234")
        compare(item("deviceDropDownButton").text.indexOf("HackRF (SN 1234)"), 0)
        click("connectButton")
        rtsa.deviceBackend = "SoapySDR"
        // The RZ640's rows give way to the receiver's own stages.
        verify(!item("portPort1").visible)
        verify(!item("att0").visible)
        verify(item("frontEndColumn").visible)
        verify(item("gainLNA").visible)
        verify(item("gainVGA").visible)
        // Only the rates it accepts can be chosen.
        verify(item("rate20").enabled)
        verify(!item("rate30").enabled)
        click("antennaRX2")
        compare(rtsa.callsOf("setDeviceAntenna"), [["RX2"]])
        click("automaticGainSwitch")
        compare(rtsa.callsOf("setDeviceAutomaticGain"), [[true]])
        mouseClick(item("gainLNA"), item("gainLNA").width - 2, item("gainLNA").height - 9)
        compare(rtsa.callsOf("setDeviceGain").length, 1)
        compare(rtsa.callsOf("setDeviceGain")[0][0], "LNA")
        verify(rtsa.callsOf("setDeviceGain")[0][1] > 35)
    }

    function test_spectrumChoices() {
        makePanel(dspComponent)
        click("windowBlackman")
        compare(rtsa.windowType, 2)
        verify(item("detectorWindow50").visible)
        click("detectorMax")
        compare(rtsa.detectorMode, 1)
        verify(!item("detectorWindow50").visible)
        click("detectorRMS")
        click("detectorWindow50")
        compare(rtsa.detectorWindow, 50)
        click("vbwoff")
        compare(rtsa.vbwHz, 0)
        click("vbw30")
        compare(rtsa.vbwHz, 30)
        click("maxFps60")
        compare([rtsa.maxFps, app.lastUserMaxFps], [60, 60])
        compare(item("overlap0").normalColor, Qt.color("#2F3945"))
        click("overlap75")
        compare(rtsa.spectrumOverlap, 75)
        click("overlap50")
        compare(rtsa.spectrumOverlap, 50)
        compare(item("overlap75").normalColor, Qt.color("#232831"))

        click("rbw1k")
        compare([rtsa.rbwTargetHz, app.lastUserRbwTargetHz], [1000, 1000])
        // The highlight follows the controller's target, also when it was changed for the user.
        rtsa.rbwTargetHz = 100000.3
        compare(item("rbw100k").normalColor, Qt.color("#2F3945"))
        compare(item("rbw1k").normalColor, Qt.color("#232831"))
        compare(app.lastUserRbwTargetHz, 1000)

        // The trace's scale: dB per division, and Auto from the view's floor (-93 dB) and
        // strongest signal (-21 dB): 20 dB/div with the floor in the bottom fifth.
        click("dbPerDiv10")
        compare(app.dbPerDiv, 10)
        click("autoRangeButton")
        compare([app.refLevelDb, app.dbPerDiv], [0, 20])
        const ref = item("refLevelSlider")
        clickItem(ref, 0, ref.height - 9)
        compare(app.refLevelDb, Settings.display.refLevelDb.min)
    }

    function test_persistenceControls() {
        makePanel(dpxComponent)
        verify(!item("densityClearButton").enabled)
        click("fluorSwitch")
        verify(rtsa.densityEnabled)
        click("densityClearButton")
        compare(rtsa.callsOf("clearDensity").length, 1)
        verify(app.densityAutoRange)
        compare(item("densityAutoSwitch").text, "Auto Range -120\u20260 dB")
        click("densityAutoSwitch")
        verify(!app.densityAutoRange)

        verify(!item("peakLineClearButton").enabled)
        click("peakLineSwitch")
        verify(view.peakLineEnabled)
        click("peakLineClearButton")
        compare(rtsa.callsOf("clearPeakLine").length, 1)
        click("peakLineSwitch")
        verify(!view.peakLineEnabled)

        click("peakHold30")
        click("densityLevels64")
        click("dpxWidth768")
        click("dpxFps24")
        click("densityTau20")
        click("densityPaletteAmber")
        compare([rtsa.peakLineWindowSec, rtsa.densityLevels, rtsa.densityWidthBins, rtsa.densityFps, rtsa.densityTau,
                 view.densityPalette], [30, 64, 768, 24, 2.0, 2])
        click("peakHoldInf")
        compare(rtsa.peakLineWindowSec, 0)
        compare(item("densitySourceeveryspectrum").text, "every spectrum")
        click("densitySourcedisplaytrace")
        compare(rtsa.densitySource, Settings.DisplayTrace)
        click("densitySourceeveryspectrum")
        compare(rtsa.densitySource, Settings.EverySpectrum)

        // Slider ends and the step between.
        const gamma = item("gammaSlider")
        clickItem(gamma, gamma.width - 1, gamma.height - 9)
        compare(rtsa.densityGamma, 2.0)
        compare(gamma.text, "Density Gamma: 2.00")
        clickItem(gamma, 7 + (gamma.width - 14) * 0.5, gamma.height - 9)
        compare(rtsa.densityGamma, 1.05)
        const hitGain = item("hitGainSlider")
        clickItem(hitGain, hitGain.width - 1, hitGain.height - 9)
        compare(rtsa.densityHitGain, 10)
        const max = item("densityMaxSlider")
        clickItem(max, 0, max.height - 9)
        compare(rtsa.densityMax, 1)
        compare(max.text, "Density Max: 1")
    }

    // The View panel types into the spectrum's own zoom and shows what the wheel left there.
    function test_viewPanelSetsAndShowsTheSpectrumsZoom() {
        makePanel(viewPanelComponent)
        typeInto("viewSpanField", "2M")
        fuzzyCompare(view.viewMinFreqHz, 999e6, 1)
        fuzzyCompare(view.viewMaxFreqHz, 1001e6, 1)
        typeInto("viewStopField", "1004M")
        fuzzyCompare(view.viewMinFreqHz, 999e6, 1)
        fuzzyCompare(view.viewMaxFreqHz, 1004e6, 1)
        // A start above the stop is refused and the zoom stays.
        typeInto("viewStartField", "1005M")
        fuzzyCompare(view.viewMaxFreqHz, 1004e6, 1)
        fuzzyCompare(view.viewMinFreqHz, 999e6, 1)
        view.setView(0.25, 0.5)
        compare(item("viewCenterField").text, "997.5")
        click("viewFullButton")
        compare([view.viewStart, view.viewStop], [0, 1])
    }

    function test_waterfallControls() {
        makePanel(waterfallComponent)
        verify(!item("waterfallClearButton").enabled)
        click("waterfallSwitch")
        verify(rtsa.waterfallEnabled)
        click("waterfallClearButton")
        compare(view.clears, 1)

        click("timeDepth02")
        compare([app.waterfallTimeDepthSec, rtsa.waterfallLines], [0.2, 6])
        click("heightRatio70")
        compare(app.waterfallHeightRatio, 0.7)
        click("waterfallPaletteInferno")
        compare([app.waterfallPaletteId, rtsa.waterfallPaletteId], [1, 1])

        // The scale follows the trace until a slider moves: it is then set by hand from where
        // the automatic scale stood.
        verify(app.waterfallAutoRange)
        view.waterfallMinDb = -95
        view.waterfallMaxDb = -20
        const max = item("waterfallMaxSlider")
        clickItem(max, max.width - 1, max.height - 9)
        verify(!app.waterfallAutoRange)
        compare([app.waterfallMinDb, app.waterfallMaxDb], [-95, 20])
        click("waterfallAutoSwitch")
        verify(app.waterfallAutoRange)
        click("waterfallAutoSwitch")

        // The scale keeps 1 dB between its ends, whichever end moves.
        app.waterfallMaxDb = -50
        const min = item("waterfallMinSlider")
        clickItem(min, min.width - 1, min.height - 9)
        compare(app.waterfallMinDb, -51)
        clickItem(max, 0, max.height - 9)
        compare(app.waterfallMaxDb, -50)
        clickItem(max, max.width - 1, max.height - 9)
        compare(app.waterfallMaxDb, 20)
        clickItem(min, 0, min.height - 9)
        compare(app.waterfallMinDb, -140)
    }

    function test_rfLevelBar() {
        makePanel(rmsComponent)
        compare(item("rfLevelText").text, "-120.00 dBFS")
        compare(item("rfLevelFill").width, 0)
        const bar = item("rfLevelBar")
        view.rmsDb = -24.004
        view.rmsReadingDb = -24.004
        compare(item("rfLevelText").text, "-24.00 dBFS")
        fuzzyCompare(item("rfLevelFill").width, bar.width * (95.996 / 120), 0.01)
        verify(item("rfLevelAmber").visible)
        verify(!item("rfLevelRed").visible)
        // The bar follows the level, the number only its reading.
        view.rmsDb = -10
        compare(item("rfLevelText").text, "-24.00 dBFS")
        verify(item("rfLevelRed").visible)
        fuzzyCompare(item("rfLevelRed").x, bar.width * 100 / 120, 0.01)
        fuzzyCompare(item("rfLevelAmber").width, bar.width * 10 / 120, 0.01)
        fuzzyCompare(item("rfLevelNeedle").x + 1, bar.width * 110 / 120, 0.01)

        panel.destroy()
        view = null
        makePanel(rmsComponent)
        compare(item("rfLevelText").text, "-- dBFS")
    }

    function test_markerRows() {
        view.centerFreqHz = 100e6
        // Each new marker goes to the highest peak not yet marked, then to the centre.
        view.peaksHz = [99.4e6, 96.7e6]
        makePanel(markersComponent)
        click("addMarkerButton")
        click("addMarkerButton")
        click("addMarkerButton")
        compare(model.rowCount(), 3)
        compare(app.nextMarkerId, 4)
        const first = model.index(0, 0)
        compare([model.data(first, 257), model.data(first, 258), model.data(first, 260)], [1, 99.4e6, "#FF6B5E"])
        compare([model.data(model.index(1, 0), 258), model.data(model.index(1, 0), 260)], [96.7e6, "#E4B55E"])
        compare(model.data(model.index(2, 0), 258), 100e6)
        model.removeMarker(3)

        click("mkSwatch1")
        compare(model.data(first, 260), "#E4B55E")
        click("mkSwatch1")
        compare(model.data(first, 260), "#79D07B")

        compare(item("mkFreq1").text, "99.400000")
        typeInto("mkFreq1", "101,1")
        compare(model.data(first, 258), 101.1e6)
        compare(item("mkFreq1").text, "101.100000")
        typeInto("mkFreq1", "-3")
        compare(model.data(first, 258), 101.1e6)
        compare(item("mkFreq1").text, "101.100000")
        model.setMarkerFreq(1, 104.3e6)
        compare(item("mkFreq1").text, "104.300000")

        compare(item("mkAuto1").text, "Auto:Off")
        click("mkAuto1")
        compare(model.data(first, 261), true)
        compare(item("mkAuto1").text, "Auto:On")
        click("mkAuto1")
        compare(model.data(first, 261), false)

        verify(!item("mkDemod2").visible)
        app.newDemodMarkerId = 2
        verify(item("mkDemod2").visible)

        const centreRequests = []
        model.requestCenterTo.connect(hz => centreRequests.push(hz))
        click("mkCentMk1")
        compare(centreRequests, [104.3e6])
        // No frame has come, so the peak and the centre are still 0 Hz.
        click("mkToPeak2")
        compare(model.data(model.index(1, 0), 258), 0)
        click("mkToCent1")
        compare(model.data(first, 258), 0)

        click("mkDel1")
        compare(model.rowCount(), 1)
        compare(model.data(model.index(0, 0), 257), 2)
    }

    // Frequencies to the digits 9.8 kHz bins support, levels, and in delta mode the distance from
    // the reference marker (the first, or the one chosen).
    function test_markerReadoutsAndDeltas() {
        view.binHz = 9765.625
        panel = createTemporaryObject(readoutComponent, testCase, { rtsa: rtsa, app: app, view: view })
        verify(!panel.visible)
        model.addMarker(1, 995.6e6, "#4FC3F7")
        model.addMarker(2, 996.0e6, "#FF6B5E")
        verify(panel.visible)
        compare(item("markerReadout1").text, "M1  995.600 MHz  -120.0 dB")
        compare(item("markerReadout2").text, "M2  996.000 MHz  -120.0 dB")

        app.markerDeltaMode = true
        compare(item("markerReadout1").text, "M1  995.600 MHz  -120.0 dB")
        compare(item("markerReadout2").text, "\u0394M2  +400 kHz  +0.0 dB")
        app.referenceMarkerId = 2
        compare(item("markerReadout1").text, "\u0394M1  -400 kHz  +0.0 dB")
        compare(item("markerReadout2").text, "M2  996.000 MHz  -120.0 dB")
        // The reference follows the marker as it moves.
        model.setMarkerFreq(2, 995.0e6)
        compare(item("markerReadout1").text, "\u0394M1  +600 kHz  +0.0 dB")
        app.newDemodMarkerId = 1
        compare(item("markerReadout1").text, "\u0394M1  +600 kHz  +0.0 dB  Demod")
    }

    function test_logShowsColouredEscapedLines() {
        makePanel(logComponent)
        // Lines wrap to the panel; unwrapped, the view scrolls sideways and says how.
        verify(!item("logHint").visible)
        click("logWrapSwitch")
        verify(item("logHint").visible)
        compare(item("logHint").text, "Shift+Wheel: H-Scroll")
        app.pushLog("Device connected")
        app.pushLog("a <b> & c")
        app.pushLog("Audio: open failed: ASIO: start failed: cannot create /x.wav", Settings.Error)
        let text = item("logText").text
        verify(text.indexOf("<font color=\"#E4B55E\">Device connected</font>") >= 0, text)
        verify(text.indexOf("<font color=\"#C8D0D8\">a &lt;b&gt; &amp; c</font>") >= 0, text)
        verify(text.indexOf("<font color=\"#FF6B5E\">Audio: open failed") >= 0, text)
        compare(text.split("<br>").length, 3)

        // Filtered by level: errors only, then all again.
        click("logLevelErrors")
        text = item("logText").text
        compare(text.split("<br>").length, 1)
        verify(text.indexOf("Audio: open failed") >= 0, text)
        click("logLevelAll")
        compare(item("logText").text.split("<br>").length, 3)

        // Figures of every second join the log only in verbose mode.
        app.dispatchLogEntry("DSP 30 fps, dropFrames=0", Settings.Info, true)
        compare(app.logHistory.length, 3)
        compare(app.dspStatus, "DSP 30 fps, dropFrames=0")
        click("logVerboseSwitch")
        app.dispatchLogEntry("DSP 29 fps, dropFrames=0", Settings.Info, true)
        compare(app.logHistory.length, 4)
        compare(app.dspStatus, "DSP 29 fps, dropFrames=0")
        click("logClearButton")
        compare(app.logHistory.length, 0)
        compare(item("logText").text, "")
    }
}
