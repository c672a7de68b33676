import QtQuick 2.15
import NorvaleRTSA 1.0
import "SpectrumMath.js" as SpectrumMath
import "PanelLogic.js" as PanelLogic

// Presentation state shared by every panel: the receiver settings as the panels show them,
// change detection for the retunes they send, the log history with the latest status figures,
// and the transient automatic-adjustment message. Everything else lives in the controller and
// the spectrum item.
QtObject {
    id: appState

    property bool debugInputOverlay: false
    property string debugLastClick: ""

    property string usrpRateValue: "20"
    property int rzPortValue: 0
    property string rzAttValue: "0"
    property string rzPreampValue: "20"
    property string rzIfGainValue: "30"
    // The centre frequency the receiver is given on the next apply, as the device panel shows it.
    property real centerFreqMHz: 1000
    property bool applyParamsOnConnect: false

    property real waterfallHeightRatio: Settings.display.waterfallHeightRatio.initial
    property int waterfallPaletteId: Settings.spectrum.waterfallPaletteId.initial
    property real waterfallTimeDepthSec: Settings.spectrum.waterfallTimeDepthSec.initial
    property real waterfallFps: Settings.spectrum.waterfallFps.initial
    property real waterfallMinDb: Settings.display.waterfallMinDb.initial
    property real waterfallMaxDb: Settings.display.waterfallMaxDb.initial
    // The waterfall's and the density display's colour scales follow the trace unless the
    // user sets them.
    property bool waterfallAutoRange: true
    property bool densityAutoRange: true
    property real refLevelDb: Settings.display.refLevelDb.initial
    property real dbPerDiv: Settings.display.dbPerDiv.initial

    property real lastUserRbwTargetHz: NaN
    property int lastUserMaxFps: -1
    property string autoAdjustMessage: ""

    property var logHistory: []
    property int logMaxLines: 100
    // The figures reported every second join the log only in verbose mode; the log shows lines
    // from logMinLevel up (Settings.Info, Warning or Error).
    property bool logVerbose: false
    property int logMinLevel: Settings.Info
    property bool logWrap: true
    // The newest line that is news rather than a figure, with its level, for the device status.
    property string lastMessage: ""
    property int lastMessageLevel: Settings.Info
    // The latest figures of the spectrum thread ("DSP ...") and of the RX thread ("RX ...").
    property string dspStatus: ""
    property int dspStatusLevel: Settings.Info
    property string rxStatus: ""
    // The RX thread reports its rate and its ring fills on two lines; the status shows both.
    property string rxRateLine: ""

    property bool audioStereoMode: false
    property int nextMarkerId: 1
    property var markerColorPalette: ["#4FC3F7", "#FF6B5E", "#E4B55E", "#79D07B", "#B388FF"]
    property int newDemodMarkerId: -2
    // Marker readouts relative to the reference marker (-1: the first one).
    property bool markerDeltaMode: false
    property int referenceMarkerId: -1

    property real lastAppliedFreqMHz: NaN
    property real lastAppliedBwMHz: NaN
    property int lastAppliedPort: -1
    property int lastAppliedAtt: -1
    property int lastAppliedPreamp: -1
    property int lastAppliedIfGain: -1

    readonly property Timer autoAdjustTimer: Timer {
        interval: 3500
        repeat: false
        onTriggered: appState.autoAdjustMessage = ""
    }

    function initRtsa(rtsa) {
        if (!rtsa)
            return
        const spectrum = Settings.spectrum
        rtsa.rbwTargetHz = spectrum.rbwTargetHz.initial
        applyParamsOnConnect = true
        rtsa.densityLevels = spectrum.densityLevels.initial
        rtsa.densityWidthBins = spectrum.densityWidthBins.initial
        rtsa.densityTau = spectrum.densityTau.initial
        rtsa.densityHitGain = spectrum.densityHitGain.initial
        rtsa.densityGamma = spectrum.densityGamma.initial
        rtsa.densityMax = spectrum.densityMax.initial
        rtsa.waterfallFps = waterfallFps
        rtsa.waterfallLines = Math.round(waterfallFps * waterfallTimeDepthSec)
        rtsa.waterfallPaletteId = waterfallPaletteId
        rtsa.newDemodEnabled = rtsa.audioEnabled
    }

    function pushLog(msg, level) {
        const history = logHistory.slice()
        history.push({ time: new Date().toLocaleTimeString(), msg: msg, level: level === undefined ? Settings.Info : level })
        logHistory = history.length > logMaxLines ? history.slice(history.length - logMaxLines) : history
    }

    // A line from the controller's log: a figure goes to its status place (and to the log in
    // verbose mode), anything else to the log and the device status.
    function dispatchLogEntry(msg, level, statistic) {
        const text = String(msg)
        if (statistic) {
            const place = PanelLogic.statusPlace(text)
            if (place === "dsp") {
                dspStatus = text
                dspStatusLevel = level
            } else if (place === "rx") {
                const line = text.trim()
                if (line.startsWith("RX"))
                    rxRateLine = line
                rxStatus = line.startsWith("RX") || rxRateLine === "" ? line : rxRateLine + " | " + line
            }
            if (logVerbose)
                pushLog(text, level)
            return
        }
        lastMessage = text
        lastMessageLevel = level
        pushLog(text, level)
    }

    function clearLog() {
        logHistory = []
    }

    function pushAutoAdjust(msg) {
        autoAdjustMessage = msg
        autoAdjustTimer.restart()
    }

    // Colours are compared as colours, so "#4fc3f7" from a colour property matches "#4FC3F7".
    function nextMarkerColor(current) {
        const wanted = String(current).toUpperCase()
        const n = markerColorPalette.length
        for (let i = 0; i < n; ++i) {
            if (markerColorPalette[i].toUpperCase() === wanted)
                return markerColorPalette[(i + 1) % n]
        }
        return markerColorPalette[0]
    }

    function colorForMarkerId(id) {
        const n = markerColorPalette.length
        return markerColorPalette[((id % n) + n) % n]
    }

    function applyParams(rtsa, freqMHz, rateMHz, port, attDb, preampDb, ifGainDb, force) {
        if (!rtsa || !rtsa.connected)
            return
        if (!force && freqMHz === lastAppliedFreqMHz && rateMHz === lastAppliedBwMHz && port === lastAppliedPort
                && attDb === lastAppliedAtt && preampDb === lastAppliedPreamp && ifGainDb === lastAppliedIfGain)
            return
        rtsa.applyParams(freqMHz, rateMHz, port, attDb, preampDb, ifGainDb)
        lastAppliedFreqMHz = freqMHz
        lastAppliedBwMHz = rateMHz
        lastAppliedPort = port
        lastAppliedAtt = attDb
        lastAppliedPreamp = preampDb
        lastAppliedIfGain = ifGainDb
    }

    function applyParamsIfChanged(rtsa, freqMHz, rateMHz, port, attDb, preampDb, ifGainDb) {
        applyParams(rtsa, freqMHz, rateMHz, port, attDb, preampDb, ifGainDb, false)
    }

    function applyParamsForce(rtsa, freqMHz, rateMHz, port, attDb, preampDb, ifGainDb) {
        applyParams(rtsa, freqMHz, rateMHz, port, attDb, preampDb, ifGainDb, true)
    }

    function formatHz(hz) { return SpectrumMath.formatHz(hz) }
    function formatHzValue(hz, unit) { return SpectrumMath.formatHzValue(hz, unit) }
    function formatMarkerMHz(hz) { return SpectrumMath.formatMarkerMHz(hz) }
    function unitForHz(hz) { return SpectrumMath.unitForHz(hz) }

    function setWaterfallTimeDepth(rtsa, sec) {
        waterfallTimeDepthSec = sec
        if (rtsa)
            rtsa.waterfallLines = Math.round(waterfallFps * sec)
    }

    // A new marker on the highest peak in view that no marker sits on (the view's centre while
    // there is no trace); returns its id.
    function addMarkerAtPeak(model, view) {
        if (!model || !view)
            return -1
        const peakHz = view.highestUnmarkedPeakHz(SpectrumMath.markerFrequencies(model))
        return addMarkerAt(model, isFinite(peakHz) ? peakHz : view.centerFreqHz)
    }

    // A new marker at hz with the next id and its colour; returns its id.
    function addMarkerAt(model, hz) {
        if (!model)
            return -1
        const id = nextMarkerId
        nextMarkerId = id + 1
        model.addMarker(id, hz, colorForMarkerId(id))
        return id
    }

    // Tunes the demodulator by moving the marker it follows; when it follows none, a new marker
    // at hz becomes its marker.
    function tuneDemodTo(model, hz) {
        if (!model || !(hz > 0))
            return
        if (newDemodMarkerId >= 0 && isFinite(PanelLogic.markerFreqHz(model, newDemodMarkerId))) {
            model.setMarkerFreq(newDemodMarkerId, hz)
            return
        }
        newDemodMarkerId = addMarkerAt(model, hz)
    }

    // Moves the demodulator by whole tuning steps (fine ones with `fine`), from its frequency
    // rounded to the step.
    function stepDemod(model, view, steps, fine) {
        if (!view)
            return
        const step = fine ? Settings.display.fineTuneStepHz : Settings.display.tuneStepHz
        const bound = PanelLogic.boundDemodFreqHz(newDemodMarkerId, view.centerFreqHz, model)
        const fromHz = isFinite(bound) && bound > 0 ? bound : view.centerFreqHz
        tuneDemodTo(model, SpectrumMath.snapToStep(fromHz, step) + steps * step)
    }

    // Sends the demodulator's marker, or else the first marker, to the peak; with no marker, a
    // new one goes there.
    function markerToPeak(model, view) {
        if (!model)
            return
        if (newDemodMarkerId >= 0 && isFinite(PanelLogic.markerFreqHz(model, newDemodMarkerId)))
            model.markerToPeak(newDemodMarkerId)
        else if (model.rowCount() > 0)
            model.markerToPeak(model.get(0).id)
        else
            addMarkerAtPeak(model, view)
    }
}
