import QtQuick 2.15
import NorvaleRTSA 1.0

// Stands in for the controller in the panel tests: what the panels read and write, starting
// where the controller's settings start; every method call recorded in `calls` as
// [name, arguments...]; the receiver and audio queries answered from the lists below.
QtObject {
    property bool connected: false
    property bool running: false
    property string deviceBackend: "RZ640"
    // A receiver with the rates up to 20 MS/s, two gain stages, AGC, two antennas and a correction.
    property var deviceFrontEnd: ({
        ratesMsps: [2, 5, 10, 20],
        gains: [{ name: "LNA", min: 0, max: 40, step: 1, value: 20 }, { name: "VGA", min: 0, max: 30, step: 1, value: 30 }],
        automaticGainAvailable: true,
        automaticGain: false,
        antennas: ["RX1", "RX2"],
        antenna: "RX1",
        frequencyCorrectionAvailable: true,
        frequencyCorrectionPpm: 0
    })
    property string deviceSerial: ""
    property string deviceSelection: ""
    property int fftSize: Settings.spectrum.fftSize.initial
    property int windowType: Settings.spectrum.windowType.initial
    property real vbwHz: Settings.spectrum.vbwHz.initial
    property real rbwTargetHz: 0
    property real maxFps: Settings.spectrum.maxFps.initial
    property int detectorMode: Settings.spectrum.detectorMode.initial
    property int detectorWindow: Settings.spectrum.detectorWindow.initial
    property int spectrumOverlap: Settings.spectrum.overlapPercent.initial
    property real interceptSeconds: 0
    property string interceptText: ""
    property bool densityEnabled: false
    property int densitySource: Settings.spectrum.densitySource.initial
    property int densityLevels: Settings.spectrum.densityLevels.initial
    property int densityWidthBins: Settings.spectrum.densityWidthBins.initial
    property real densityFps: Settings.spectrum.densityFps.initial
    property real densityTau: Settings.spectrum.densityTau.initial
    property real densityHitGain: Settings.spectrum.densityHitGain.initial
    property real densityGamma: Settings.spectrum.densityGamma.initial
    property real densityMax: Settings.spectrum.densityMax.initial
    property real densityMinDb: Settings.spectrum.densityMinDb.initial
    property real densityMaxDb: Settings.spectrum.densityMaxDb.initial
    property real peakLineWindowSec: Settings.spectrum.peakLineWindowSec.initial
    property bool waterfallEnabled: false
    property int waterfallLines: Settings.spectrum.waterfallLines.initial
    property int waterfallPaletteId: Settings.spectrum.waterfallPaletteId.initial
    property var markersModel: null
    property bool audioEnabled: false
    property string audioDeviceName: ""
    property int audioBufferFrames: Settings.audio.bufferFrames.initial
    property bool audioTestTone: false
    property int audioOutputChannel: 0
    property int audioOutputChannelLeft: -1
    property int audioOutputChannelRight: -1
    property bool newDemodEnabled: false
    property real newDemodFreqHz: Settings.demod.demodFreqHz.initial
    property real newDemodFmDeviationHz: Settings.demod.fmDeviationHz.initial
    property bool newDemodFmStereoEnabled: false
    property real newDemodAudioHpfHz: Settings.demod.audioHpfHz.initial
    property real newDemodAudioLpfHz: Settings.demod.audioLpfHz.initial
    property real newDemodAudioGain: Settings.demod.audioGain.initial
    property bool newDemodFilterEnabled: true
    property bool squelchEnabled: true
    property real squelchOpenDb: Settings.demod.squelchOpenDb.initial
    property real squelchCloseDb: Settings.demod.squelchCloseDb.initial
    property real squelchAttackMs: Settings.demod.squelchAttackMs.initial
    property real squelchReleaseMs: Settings.demod.squelchReleaseMs.initial
    property real squelchHangMs: Settings.demod.squelchHangMs.initial
    property real squelchNoiseAlpha: Settings.demod.squelchNoiseAlpha.initial
    property real squelchMinFloorDb: Settings.demod.squelchMinFloorDb.initial
    property real fps: 0
    property real ringUsagePct: 0
    property real rxRateMBps: 0
    property int rxTimeouts: 0
    property int rxFftDrops: 0
    property int rxDemodOverflows: 0
    property real demodRingPct: 0
    property int spectrumBlocksPerSec: 0
    property int spectrumDroppedFrames: 0
    property int spectrumDiscardedBlocks: 0
    property string spectraSkipped: ""
    property real audioBusFillPct: 0
    property int audioUnderruns: 0
    property int audioOverruns: 0
    property string audioStatus: ""
    property string demodStatus: ""
    property string autoAdjustment: ""
    property string lastError: ""

    property var calls: []
    property var devices: [{ label: "Auto", args: "" }, { label: "RZ640", args: "RZ640" }]
    property var audioDriverNames: ["Speakers", "WAV File Writer"]
    property var bufferInfo: ({ minSize: 64, maxSize: 2048, preferredSize: 256, granularity: -1 })
    property var outputs: [{ index: 0, name: "Out 1" }, { index: 1, name: "Out 2" }, { index: 2, name: "Out 3" }]

    signal centerFreqChanged(real freqMHz)
    signal logMessage(string msg)
    signal logEntry(string msg, int level, bool statistic)
    signal deviceListChanged()

    // A log line as the controller sends it: on both signals.
    function log(msg, level, statistic) {
        logMessage(msg)
        logEntry(msg, level === undefined ? Settings.Info : level, statistic === true)
    }

    // The calls of one method, each as its list of arguments.
    function callsOf(name) {
        return calls.filter(call => call[0] === name).map(call => call.slice(1))
    }

    function connectDevice() {
        calls.push(["connectDevice"])
        connected = true
        return true
    }
    function disconnectDevice() {
        calls.push(["disconnectDevice"])
        connected = false
    }
    function deviceList() {
        calls.push(["deviceList"])
        return devices
    }
    function refreshDeviceList() {
        calls.push(["refreshDeviceList"])
        deviceListChanged()
    }
    function setDeviceGain(element, db) {
        calls.push(["setDeviceGain", element, db])
    }
    function setDeviceAutomaticGain(on) {
        calls.push(["setDeviceAutomaticGain", on])
    }
    function setDeviceAntenna(name) {
        calls.push(["setDeviceAntenna", name])
    }
    function setDeviceFrequencyCorrection(ppm) {
        calls.push(["setDeviceFrequencyCorrection", ppm])
    }
    function applyParams(freqMHz, bwMHz, port, att, preamp, ifgain) {
        calls.push(["applyParams", freqMHz, bwMHz, port, att, preamp, ifgain])
    }
    function retuneCenterTo(freqHz) {
        calls.push(["retuneCenterTo", freqHz])
    }
    function startRx() {
        calls.push(["startRx"])
        running = true
        return true
    }
    function stopRx() {
        calls.push(["stopRx"])
        running = false
    }
    function clearDensity() { calls.push(["clearDensity"]) }
    function clearPeakLine() { calls.push(["clearPeakLine"]) }
    function audioDevices() {
        calls.push(["audioDevices"])
        return audioDriverNames
    }
    function audioBufferSizeInfo(name) {
        calls.push(["audioBufferSizeInfo", name])
        return name === "" ? {} : bufferInfo
    }
    function audioOutputChannels(name) {
        calls.push(["audioOutputChannels", name])
        return name === "" ? [] : outputs
    }
    function showAudioControlPanel(name) {
        calls.push(["showAudioControlPanel", name, audioEnabled])
        return name !== ""
    }
}
