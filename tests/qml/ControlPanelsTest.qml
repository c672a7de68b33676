import QtQuick 2.15
import NorvaleRTSA.Testing 1.0
import "../../qml/logic"
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
            property bool peakLineEnabled: false
            property int densityPalette: 0
        }
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
        const names = new Map([[deviceComponent, ["rtsa", "app"]], [dspComponent, ["rtsa", "app"]],
                               [dpxComponent, ["rtsa", "view"]], [waterfallComponent, ["rtsa", "app"]],
                               [rmsComponent, ["view"]], [markersComponent, ["rtsa", "app", "view"]],
                               [logComponent, ["app"]]]).get(component)
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

    function test_connectResetsThePanelAndAppliesOnce() {
        makePanel(deviceComponent)
        app.usrpRateValue = "5"
        app.rzAttValue = "30"
        app.rzPortValue = 1
        click("connectButton")
        compare([app.usrpRateValue, app.rzPortValue, app.rzAttValue, app.rzPreampValue, app.rzIfGainValue],
                ["20", 0, "0", "20", "30"])
        verify(rtsa.connected)
        verify(!app.applyParamsOnConnect)
        compare(rtsa.callsOf("applyParams"), [[1000, 20, 0, 0, 20, 30]])
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

    function test_centreFrequencyField_data() {
        return [
            { tag: "comma", text: "99,4", mhz: 99.4 },
            { tag: "point", text: "104.3", mhz: 104.3 },
            { tag: "letters", text: "abc", mhz: 1000 },
            { tag: "negative", text: "-5", mhz: 1000 },
            { tag: "empty", text: "", mhz: 1000 },
        ]
    }

    function test_centreFrequencyField(row) {
        rtsa.connected = true
        makePanel(deviceComponent)
        typeInto("centerFreqField", row.text)
        compare(item("centerFreqField").text, row.text)
        click("applyButton")
        compare(rtsa.callsOf("applyParams"), [[row.mhz, 20, 0, 0, 20, 30]])
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

        // Every line goes to the status text and the log; none is read for what it says.
        rtsa.logMessage("RBW target too low, clamped to 3.662 kHz")
        compare(item("deviceStatusText").text, "status: RBW target too low, clamped to 3.662 kHz")
        rtsa.logMessage("DSP overload trigger: ring=4000000/4194304")
        compare(item("deviceStatusText").text, "status: DSP overload trigger: ring=4000000/4194304")
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

        click("rbw1k")
        compare([rtsa.rbwTargetHz, app.lastUserRbwTargetHz], [1000, 1000])
        // The highlight follows the controller's target, also when it was changed for the user.
        rtsa.rbwTargetHz = 100000.3
        compare(item("rbw100k").normalColor, Qt.color("#2F3945"))
        compare(item("rbw1k").normalColor, Qt.color("#232831"))
        compare(app.lastUserRbwTargetHz, 1000)
    }

    function test_persistenceControls() {
        makePanel(dpxComponent)
        verify(!item("densityClearButton").enabled)
        click("fluorSwitch")
        verify(rtsa.densityEnabled)
        click("densityClearButton")
        compare(rtsa.callsOf("clearDensity").length, 1)

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

    function test_waterfallControls() {
        makePanel(waterfallComponent)
        verify(!item("waterfallClearButton").enabled)
        click("waterfallSwitch")
        verify(rtsa.waterfallEnabled)
        rtsa.waterfallLines = 300
        click("waterfallClearButton")
        compare(rtsa.waterfallLines, 301)
        tryCompare(rtsa, "waterfallLines", 300)

        click("timeDepth02")
        compare([app.waterfallTimeDepthSec, rtsa.waterfallLines], [0.2, 6])
        click("heightRatio70")
        compare(app.waterfallHeightRatio, 0.7)
        click("waterfallPaletteInferno")
        compare([app.waterfallPaletteId, rtsa.waterfallPaletteId], [1, 1])

        // The scale keeps 1 dB between its ends, whichever end moves.
        app.waterfallMaxDb = -50
        const min = item("waterfallMinSlider")
        clickItem(min, min.width - 1, min.height - 9)
        compare(app.waterfallMinDb, -51)
        const max = item("waterfallMaxSlider")
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
        compare(item("rfLevelText").text, "-24.00 dBFS")
        fuzzyCompare(item("rfLevelFill").width, bar.width * (95.996 / 120), 0.01)
        verify(item("rfLevelAmber").visible)
        verify(!item("rfLevelRed").visible)
        view.rmsDb = -10
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
        view.centerFreqHz = 99.4e6
        makePanel(markersComponent)
        click("addMarkerButton")
        click("addMarkerButton")
        compare(model.rowCount(), 2)
        compare(app.nextMarkerId, 3)
        const first = model.index(0, 0)
        compare([model.data(first, 257), model.data(first, 258), model.data(first, 260)], [1, 99.4e6, "#FF6B5E"])
        compare(model.data(model.index(1, 0), 260), "#E4B55E")

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

    function test_logShowsColouredEscapedLines() {
        makePanel(logComponent)
        compare(item("logHint").text, "Shift+Wheel: H-Scroll")
        app.pushLog("Device connected")
        app.pushLog("a <b> & c")
        const text = item("logText").text
        verify(text.indexOf("<font color=\"#E4B55E\">Device connected</font>") >= 0, text)
        verify(text.indexOf("<font color=\"#C8D0D8\">a &lt;b&gt; &amp; c</font>") >= 0, text)
        compare(text.split("<br>").length, 2)
        click("logClearButton")
        compare(app.logHistory.length, 0)
        compare(item("logText").text, "")
    }
}
