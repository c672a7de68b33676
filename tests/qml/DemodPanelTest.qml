import QtQuick 2.15
import NorvaleRTSA.Testing 1.0
import "../../qml/logic"
import "../../qml/components/panels"

// The demodulation panel against a stand-in controller holding the real marker model.
PanelTestCase {
    id: testCase
    name: "DemodPanel"

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
            property real centerFreqHz: 1000e6
        }
    }
    Component {
        id: panelComponent
        DemodPanel {
            width: 300
            expanded: true
        }
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

    function makePanel() {
        panel = createTemporaryObject(panelComponent, testCase, { rtsa: rtsa, app: app, view: view })
        verify(panel !== null)
        return panel
    }

    function test_demodWithoutAudioDeviceOpensTheDeviceList() {
        makePanel()
        verify(!item("audioDeviceWarning").visible)
        click("demodSwitch")
        verify(!rtsa.newDemodEnabled)
        verify(!rtsa.audioEnabled)
        verify(item("audioDeviceWarning").visible)
        compare(item("audioDeviceWarning").text, "Select Audio Device")
        verify(item("audioDeviceDropDown").open)
        compare(rtsa.callsOf("audioDevices").length, 1)
        compare(item("audioDeviceDropDownButton").text.indexOf("Select Audio Device"), 0)

        choose("audioDeviceDropDown", "WAV File Writer")
        compare(rtsa.audioDeviceName, "WAV File Writer")
        verify(!item("audioDeviceWarning").visible)
        verify(!item("audioDeviceDropDown").open)

        click("demodSwitch")
        verify(rtsa.newDemodEnabled)
        verify(rtsa.audioEnabled)
        click("demodSwitch")
        verify(!rtsa.newDemodEnabled)
        verify(!rtsa.audioEnabled)
        // Each opening asks for the drivers afresh.
        click("audioDeviceDropDownButton")
        compare(rtsa.callsOf("audioDevices").length, 2)
    }

    function test_demodulatorFollowsItsBinding() {
        makePanel()
        // The centre is the binding at first.
        compare(rtsa.newDemodFreqHz, 1000e6)
        view.centerFreqHz = 99.4e6
        compare(rtsa.newDemodFreqHz, 99.4e6)
        compare(item("demodBindingDropDownButton").text.indexOf("CENT"), 0)

        model.addMarker(1, 101.1e6, "#FF6B5E")
        model.addMarker(2, 104.3e6, "#E4B55E")
        choose("demodBindingDropDown", "M2 @ 104.300 MHz")
        compare(app.newDemodMarkerId, 2)
        compare(rtsa.newDemodFreqHz, 104.3e6)
        compare(item("demodBoundText").text, "Bound: M2 @ 104.300000 MHz")
        compare(item("demodFreqText").text, "104.300000 MHz")

        // Bound to a marker, the centre no longer matters; the marker does.
        view.centerFreqHz = 90.1e6
        compare(rtsa.newDemodFreqHz, 104.3e6)
        model.setMarkerFreq(2, 104.31e6)
        compare(rtsa.newDemodFreqHz, 104.31e6)

        // The marker goes: the demodulator stays where it was.
        model.removeMarker(2)
        compare(rtsa.newDemodFreqHz, 104.31e6)
        compare(item("demodBoundText").text, "Bound: M2 @ --")
        // A marker coming back under that id is followed again.
        model.addMarker(2, 88.3e6, "#E4B55E")
        compare(rtsa.newDemodFreqHz, 88.3e6)

        choose("demodBindingDropDown", "CENT (Center Freq)")
        compare(app.newDemodMarkerId, -2)
        compare(rtsa.newDemodFreqHz, 90.1e6)
        compare(item("demodBoundText").text, "Bound: --")
    }

    function test_bindingWithoutAUsableFrequencySendsNothing() {
        view.centerFreqHz = 0
        makePanel()
        compare(rtsa.newDemodFreqHz, 146520000)
        app.newDemodMarkerId = -1
        view.centerFreqHz = 1e9
        compare(rtsa.newDemodFreqHz, 146520000)
        compare(item("demodBindingDropDownButton").text.indexOf("--"), 0)
    }

    function test_bufferSizesComeFromTheChosenDriver() {
        rtsa.bufferInfo = { minSize: 64, maxSize: 2048, preferredSize: 192, granularity: -1 }
        makePanel()
        // Nothing to ask before a device is chosen.
        compare(rtsa.callsOf("audioBufferSizeInfo").length, 0)
        choose("audioDeviceDropDown", "Speakers")
        compare(rtsa.callsOf("audioBufferSizeInfo"), [["Speakers"]])
        compare(panel.bufferSizes, [64, 128, 192, 256, 512, 1024, 2048])
        compare(rtsa.audioBufferFrames, 192)
        compare(item("bufferSizeDropDownButton").text.indexOf("192"), 0)

        choose("bufferSizeDropDown", "1024")
        compare(rtsa.audioBufferFrames, 1024)

        // A driver that reports no minimum offers nothing, and the size stays.
        rtsa.bufferInfo = { maxSize: 2048, preferredSize: 256, granularity: -1 }
        ignoreWarning("DemodPanel: no buffer sizes for audio device \"WAV File Writer\"")
        choose("audioDeviceDropDown", "WAV File Writer")
        compare(panel.bufferSizes, [])
        compare(rtsa.audioBufferFrames, 1024)
    }

    function test_panelCreatedWithADeviceListsItsSizesAndChannels() {
        rtsa.audioDeviceName = "WAV File Writer"
        rtsa.bufferInfo = { minSize: 64, maxSize: 512, preferredSize: 128, granularity: 64 }
        makePanel()
        compare(panel.bufferSizes, [64, 128, 192, 256, 320, 384, 448, 512])
        compare(rtsa.audioBufferFrames, 128)
        compare(item("outputChannelDropDownButton").text.indexOf("Out 1"), 0)
        choose("outputChannelDropDown", "Out 3")
        compare(rtsa.audioOutputChannel, 2)
    }

    function test_controlPanelStopsAndRestartsAudio() {
        rtsa.audioDeviceName = "WAV File Writer"
        makePanel()
        const audio = []
        rtsa.audioEnabledChanged.connect(() => audio.push(rtsa.audioEnabled))
        rtsa.calls = []

        click("controlPanelButton")
        compare(audio, [])
        compare(rtsa.callsOf("showAudioControlPanel"), [["WAV File Writer", false]])

        rtsa.audioEnabled = true
        audio.length = 0
        rtsa.calls = []
        click("controlPanelButton")
        compare(audio, [false, true])
        // The dialog ran with audio stopped, and the sizes were read again after it.
        compare(rtsa.calls.map(call => call[0]), ["showAudioControlPanel", "audioBufferSizeInfo"])
        compare(rtsa.callsOf("showAudioControlPanel"), [["WAV File Writer", false]])
    }

    function test_controlPanelNeedsADevice() {
        makePanel()
        verify(!item("controlPanelButton").enabled)
        clickItem(item("controlPanelButton"))
        compare(rtsa.callsOf("showAudioControlPanel").length, 0)
    }

    function test_stereoNeedsBroadcastDeviation() {
        rtsa.audioDeviceName = "WAV File Writer"
        makePanel()
        verify(item("stereoSwitch").enabled)
        verify(!item("stereoHint").visible)

        // The labels say the deviation a user knows; the values are the discriminator's full scale.
        compare(item("deviationWFM75kHz").text, "WFM 75 kHz")
        const filterAt = item("filterSwitch").mapToItem(null, 0, 0).y
        click("deviationNFM75kHz")
        compare(rtsa.newDemodFmDeviationHz, 15000)
        // The hint takes the place kept for it: nothing below moves.
        compare(item("filterSwitch").mapToItem(null, 0, 0).y, filterAt)
        verify(!item("stereoSwitch").enabled)
        verify(item("stereoHint").visible)
        compare(item("stereoHint").text, "Requires 150 or 300 kHz deviation")
        clickItem(item("stereoSwitch"))
        verify(!rtsa.newDemodFmStereoEnabled)

        click("deviationWFM150kHz")
        compare(rtsa.newDemodFmDeviationHz, 300000)
        click("stereoSwitch")
        verify(rtsa.newDemodFmStereoEnabled)

        // Stereo plays on a left and a right channel, which must differ.
        verify(!item("outputChannelDropDown").visible)
        verify(item("leftOutputDropDown").visible)
        verify(!item("channelWarning").visible)
        choose("leftOutputDropDown", "Out 2")
        choose("rightOutputDropDown", "Out 2")
        compare([rtsa.audioOutputChannelLeft, rtsa.audioOutputChannelRight], [1, 1])
        verify(item("channelWarning").visible)
        compare(item("channelWarning").text, "Left and Right channels must be different")
        choose("rightOutputDropDown", "Out 3")
        compare(rtsa.audioOutputChannelRight, 2)
        verify(!item("channelWarning").visible)
    }

    function test_choicesAndSwitchesWriteTheirSettings() {
        makePanel()
        click("hpf200")
        click("lpf3500")
        click("filterSwitch")
        click("testToneSwitch")
        click("deviationNFM125kHz")
        compare([rtsa.newDemodAudioHpfHz, rtsa.newDemodAudioLpfHz, rtsa.newDemodFmDeviationHz], [200, 3500, 2500])
        verify(!rtsa.newDemodFilterEnabled)
        verify(rtsa.audioTestTone)
        compare(item("hpf200").normalColor, Qt.color("#2F3945"))
        compare(item("hpf20").normalColor, Qt.color("#232831"))
        click("squelchSwitch")
        verify(!rtsa.squelchEnabled)
    }

    function test_slidersWriteWhileDragged() {
        makePanel()
        const slider = item("audioGainSlider")
        compare(slider.text, "Audio Gain: 2.0x")
        const written = []
        rtsa.newDemodAudioGainChanged.connect(() => written.push(rtsa.newDemodAudioGain))

        const y = slider.height - 9
        mousePress(slider, 0, y)
        for (let x = 0; x <= slider.width; x += slider.width / 10)
            mouseMove(slider, x, y)
        mouseRelease(slider, slider.width, y)

        compare(written[0], 0.5)
        compare(written[written.length - 1], 5.0)
        verify(written.length >= 8, "only " + written.length + " writes while dragging")
        for (let i = 1; i < written.length; ++i) {
            verify(written[i] > written[i - 1], "not rising: " + written)
            fuzzyCompare(written[i] * 10, Math.round(written[i] * 10), 1e-9)
        }
        compare(slider.text, "Audio Gain: 5.0x")
    }

    function test_squelchSlidersFoldAway() {
        makePanel()
        const floor = item("squelchMinFloorSlider")
        verify(!floor.visible)
        verify(item("squelchSwitch").visible)
        click("squelchExpander")
        verify(floor.visible)
        compare(floor.text, "Min Floor: -87 dBFS")
        compare(item("squelchNoiseAlphaSlider").text, "Noise Alpha: 0.001")
        tryVerify(() => floor.y > 0, 10000, "the squelch sliders are not laid out")
        // Each slider's far end reaches its own setting.
        const ends = [["Open", "squelchOpenDb", 20], ["Close", "squelchCloseDb", 15], ["Attack", "squelchAttackMs", 50],
                      ["Release", "squelchReleaseMs", 1000], ["Hang", "squelchHangMs", 500],
                      ["NoiseAlpha", "squelchNoiseAlpha", 0.05], ["MinFloor", "squelchMinFloorDb", -30]]
        for (const [name, setting, end] of ends) {
            const slider = item("squelch" + name + "Slider")
            clickItem(slider, slider.width - 1, slider.height - 9)
            compare(rtsa[setting], end, name)
        }
        clickItem(floor, 1, floor.height - 9)
        compare(rtsa.squelchMinFloorDb, -90)
        compare(floor.text, "Min Floor: -90 dBFS")
    }
}
