import QtQuick 2.15

// Stands in for the controller in the panel tests: what the panels read and write, at the
// controller's defaults; every method call recorded in `calls` as [name, arguments...]; the
// receiver and audio queries answered from the lists below.
QtObject {
    property bool connected: false
    property bool running: false
    readonly property string deviceBackend: "RZ640"
    property string deviceSerial: ""
    property string deviceSelection: ""
    property int fftSize: 2048
    property int windowType: 0
    property real vbwHz: 0
    property real rbwTargetHz: 0
    property real maxFps: 30
    property int detectorMode: 3
    property int detectorWindow: 20
    property bool densityEnabled: false
    property int densityLevels: 512
    property int densityWidthBins: 1024
    property real densityFps: 12
    property real densityTau: 0.5
    property real densityHitGain: 1.0
    property real densityGamma: 0.6
    property real densityMax: 20
    property real peakLineWindowSec: 0
    property bool waterfallEnabled: false
    property int waterfallLines: 400
    property int waterfallPaletteId: 0
    property var markersModel: null
    property bool audioEnabled: false
    property string audioDeviceName: ""
    property int audioBufferFrames: 256
    property bool audioTestTone: false
    property int audioOutputChannel: 0
    property int audioOutputChannelLeft: -1
    property int audioOutputChannelRight: -1
    property bool newDemodEnabled: false
    property real newDemodFreqHz: 146520000
    property real newDemodFmDeviationHz: 150000
    property bool newDemodFmStereoEnabled: false
    property real newDemodAudioHpfHz: 20
    property real newDemodAudioLpfHz: 20000
    property real newDemodAudioGain: 2.0
    property bool newDemodFilterEnabled: true
    property bool squelchEnabled: true
    property real squelchOpenDb: 3.0
    property real squelchCloseDb: 1.0
    property real squelchAttackMs: 4.0
    property real squelchReleaseMs: 50
    property real squelchHangMs: 10
    property real squelchNoiseAlpha: 0.001
    property real squelchMinFloorDb: -87
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
    function applyParams(freqMHz, bwMHz, port, att, preamp, ifgain) {
        calls.push(["applyParams", freqMHz, bwMHz, port, att, preamp, ifgain])
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
