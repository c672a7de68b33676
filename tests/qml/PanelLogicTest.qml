import QtQuick 2.15
import QtTest 1.2
import NorvaleRTSA 1.0
import NorvaleRTSA.Testing 1.0
import "../../qml/logic/PanelLogic.js" as PanelLogic

TestCase {
    id: testCase
    name: "PanelLogic"

    Component {
        id: modelComponent
        MarkerModel {}
    }

    function test_bufferSizes_data() {
        return [
            { tag: "powers of two, preferred among them",
              info: { minSize: 64, maxSize: 2048, preferredSize: 256, granularity: -1 },
              sizes: [64, 128, 256, 512, 1024, 2048], selected: 256 },
            { tag: "powers of two, preferred inserted",
              info: { minSize: 64, maxSize: 2048, preferredSize: 192, granularity: -1 },
              sizes: [64, 128, 192, 256, 512, 1024, 2048], selected: 192 },
            { tag: "powers of two within odd limits",
              info: { minSize: 100, maxSize: 3000, preferredSize: 0, granularity: 0 },
              sizes: [128, 256, 512, 1024, 2048], selected: 128 },
            { tag: "powers of two the analyser accepts",
              info: { minSize: 16, maxSize: 16384, preferredSize: 256, granularity: -1 },
              sizes: [64, 128, 256, 512, 1024, 2048, 4096], selected: 256 },
            { tag: "granularity steps",
              info: { minSize: 64, maxSize: 512, preferredSize: 256, granularity: 64 },
              sizes: [64, 128, 192, 256, 320, 384, 448, 512], selected: 256 },
            { tag: "granularity steps count from the minimum",
              info: { minSize: 96, maxSize: 480, preferredSize: 160, granularity: 64 },
              sizes: [96, 160, 224, 288, 352, 416, 480], selected: 160 },
            { tag: "granularity steps stop at the maximum",
              info: { minSize: 100, maxSize: 350, preferredSize: 150, granularity: 100 },
              sizes: [100, 150, 200, 300], selected: 150 },
            { tag: "one fixed size", info: { minSize: 256, maxSize: 256, preferredSize: 256, granularity: 0 },
              sizes: [256], selected: 256 },
            { tag: "no minimum", info: { maxSize: 2048, preferredSize: 256, granularity: -1 }, sizes: [],
              selected: -1 },
            { tag: "zero minimum (failed query)", info: { minSize: 0, maxSize: 0, preferredSize: 0, granularity: 0 },
              sizes: [], selected: -1 },
            { tag: "empty map", info: {}, sizes: [], selected: -1 },
        ]
    }

    function test_bufferSizes(row) {
        const choice = PanelLogic.bufferSizeChoices(row.info, Settings.audio.bufferFrames)
        compare(choice.sizes, row.sizes)
        compare(choice.selected, row.selected)
    }

    function test_sliderSnapsToItsSteps() {
        // Gamma: 0.1 to 2.0 in 0.05 steps, counted from 0.1, without binary leftovers.
        compare(PanelLogic.snapToStep(1.0612, 0.1, 2.0, 0.05), 1.05)
        compare(PanelLogic.snapToStep(0.3749, 0.1, 2.0, 0.05), 0.35)
        compare(PanelLogic.snapToStep(-3, 0.1, 2.0, 0.05), 0.1)
        compare(PanelLogic.snapToStep(7, 0.1, 2.0, 0.05), 2.0)
        // Steps that do not divide the range never step past its end.
        compare(PanelLogic.snapToStep(999, 50, 1000, 10), 1000)
        compare(PanelLogic.snapToStep(0.0494, 0.001, 0.05, 0.001), 0.049)
        compare(PanelLogic.snapToStep(-59.6, -90, -30, 1), -60)

        // Along the track: the ends and the middle of a 200 px track.
        compare(PanelLogic.sliderValueAt(0, 200, 0.5, 5.0, 0.1), 0.5)
        compare(PanelLogic.sliderValueAt(120, 200, 0.5, 5.0, 0.1), 3.2)
        compare(PanelLogic.sliderValueAt(250, 200, 0.5, 5.0, 0.1), 5.0)
        compare(PanelLogic.sliderValueAt(-20, 200, -140, -20, 1), -140)
        compare(PanelLogic.sliderFraction(2.75, 0.5, 5.0), 0.5)
        compare(PanelLogic.sliderFraction(9, 0.5, 5.0), 1)
        compare(PanelLogic.sliderFraction(1, 1, 1), 0)
    }

    function test_choicesMatchTheCurrentValue() {
        verify(PanelLogic.sameChoice(0.2, 0.20000000298023224))
        verify(PanelLogic.sameChoice(150000, 150000))
        verify(!PanelLogic.sameChoice(0.2, 0.5))
        verify(!PanelLogic.sameChoice(0, 1e-3))
        verify(PanelLogic.sameChoice("20", "20"))
        verify(!PanelLogic.sameChoice("20", 20))
        verify(!PanelLogic.sameChoice(0, undefined))
    }


    function test_logTextIsEscapedAndColouredByPrefix() {
        compare(PanelLogic.escapeHtml("a<b> & c&amp;"), "a&lt;b&gt; &amp; c&amp;amp;")
        const colours = [["Audio: opened", "#79D07B"], ["ASIO: driver", "#79D07B"], ["DSP overload: 95%", "#4FC3F7"],
                         ["RX started", "#4FC3F7"], ["[Demod] block", "#B388FF"], ["Device connected", "#E4B55E"],
                         ["FM stereo: ENABLED", "#C8D0D8"], [" RX with a space first", "#C8D0D8"]]
        for (const [msg, colour] of colours)
            compare(PanelLogic.logColor(msg), colour, msg)

        const html = PanelLogic.logHtml([{ time: "10:00:01", msg: "RX <started> & running" },
                                         { time: "<t>", msg: "Device connected" }])
        compare(html, "<font color=\"#6D7A86\">10:00:01</font> <font color=\"#4FC3F7\">RX &lt;started&gt; &amp; "
                + "running</font><br><font color=\"#6D7A86\">&lt;t&gt;</font> <font color=\"#E4B55E\">Device "
                + "connected</font>")
        compare(PanelLogic.logHtml([]), "")
    }

    function test_rfLevelBarSegments() {
        let bar = PanelLogic.rfLevelBar(-60)
        compare(bar.fill, 0.5)
        compare(bar.amber, null)
        compare(bar.red, null)

        bar = PanelLogic.rfLevelBar(-24)
        compare(bar.fill, 0.8)
        compare(bar.amber, { from: 0.75, to: 0.8 })
        compare(bar.red, null)

        bar = PanelLogic.rfLevelBar(-6)
        compare(bar.amber, { from: 0.75, to: 100 / 120 })
        compare(bar.red, { from: 100 / 120, to: 114 / 120 })

        // Above full scale the bar ends at 0 dB while the level keeps its value.
        bar = PanelLogic.rfLevelBar(3)
        compare(bar.level, 3)
        compare(bar.fill, 1)
        compare(bar.red.to, 1)

        for (const bad of [NaN, -Infinity, Infinity]) {
            bar = PanelLogic.rfLevelBar(bad)
            compare(bar.level, -120)
            compare(bar.fill, 0)
            compare(bar.amber, null)
        }
        compare(PanelLogic.rfLevelBar(-30).amber, null)
    }

    function test_markersAreFoundByTheirRoles() {
        const model = createTemporaryObject(modelComponent, testCase)
        model.addMarker(4, 99.4e6, "#4FC3F7")
        model.addMarker(0, 101.1e6, "#FF6B5E")
        model.addMarker(-7, 88.3e6, "#E4B55E")

        compare(PanelLogic.markerFreqHz(model, 0), 101.1e6)
        compare(PanelLogic.markerFreqHz(model, 4), 99.4e6)
        verify(isNaN(PanelLogic.markerFreqHz(model, 5)))
        verify(isNaN(PanelLogic.markerFreqHz(null, 4)))

        compare(PanelLogic.boundDemodFreqHz(-2, 1e9, model), 1e9)
        compare(PanelLogic.boundDemodFreqHz(0, 1e9, model), 101.1e6)
        verify(isNaN(PanelLogic.boundDemodFreqHz(-1, 1e9, model)))
        // Negative ids other than the centre's are markers nobody can bind to.
        verify(isNaN(PanelLogic.boundDemodFreqHz(-7, 1e9, model)))

        compare(PanelLogic.bindingChoices(model).map(c => [c.label, c.markerId]),
                [["CENT (Center Freq)", -2], ["M4 @ 99.400 MHz", 4], ["M0 @ 101.100 MHz", 0],
                 ["M-7 @ 88.300 MHz", -7]])
        compare(PanelLogic.bindingChoices(null).length, 1)
    }

    function test_bindingTexts() {
        compare(PanelLogic.bindingLabel(-2), "CENT")
        compare(PanelLogic.bindingLabel(-1), "--")
        compare(PanelLogic.bindingLabel(0), "M0")
        compare(PanelLogic.boundLine(-2, 1e9), "Bound: --")
        compare(PanelLogic.boundLine(-1, NaN), "Bound: --")
        compare(PanelLogic.boundLine(3, NaN), "Bound: M3 @ --")
        compare(PanelLogic.boundLine(3, 0), "Bound: M3 @ --")
        compare(PanelLogic.boundLine(3, 99.4e6), "Bound: M3 @ 99.400000 MHz")
        verify(!PanelLogic.isUsableFreq(-5))
        verify(!PanelLogic.isUsableFreq(Infinity))
        verify(PanelLogic.isUsableFreq(1))
    }

    function test_outputChannelNames() {
        const channels = [{ index: 0, name: "WAV 1" }, { index: 1, name: "WAV 2" }]
        compare(PanelLogic.channelChoices(channels), [{ label: "WAV 1", index: 0 }, { label: "WAV 2", index: 1 }])
        compare(PanelLogic.channelChoices(undefined), [])
        compare(PanelLogic.channelLabel(channels, 1), "WAV 2")
        compare(PanelLogic.channelLabel(channels, -1), "--")
        compare(PanelLogic.channelLabel(channels, 5), "5")
        compare(PanelLogic.channelLabel([], 0), "0")
    }

    function test_logLevels() {
        const info = Settings.Info
        const warning = Settings.Warning
        const error = Settings.Error
        compare(PanelLogic.logColor("Audio: open failed", error), "#FF6B5E")
        compare(PanelLogic.logColor("Device open failed", warning), "#E4B55E")
        compare(PanelLogic.logColor("Audio: opened", info), "#79D07B")
        compare(PanelLogic.levelColor(error, "#AEB6C0"), "#FF6B5E")
        compare(PanelLogic.levelColor(info, "#AEB6C0"), "#AEB6C0")

        const history = [{ time: "1", msg: "a", level: info }, { time: "2", msg: "b", level: warning },
                         { time: "3", msg: "c", level: error }]
        const shown = level => PanelLogic.logHtml(history, level).split("<br>").length
        compare(shown(info), 3)
        compare(shown(warning), 2)
        compare(shown(error), 1)
        verify(PanelLogic.logHtml(history, error).indexOf(">c</font>") >= 0)
    }

    function test_figuresFindTheirPlaces() {
        compare(PanelLogic.statusPlace("DSP 30 fps, dropFrames=0"), "dsp")
        compare(PanelLogic.statusPlace("RX 76.29 MB/s, timeouts=0"), "rx")
        compare(PanelLogic.statusPlace("  FFT ring=1024/4194304, Demod ring=0/4194304"), "rx")
        compare(PanelLogic.statusPlace("Audio: fill=12.5%"), "audio")
        compare(PanelLogic.statusPlace("[Demod] CPU=2.0%"), "demod")
        compare(PanelLogic.statusPlace("Device connected"), "")
    }

    function test_deviationLabels() {
        compare(PanelLogic.deviationLabel(150000), "WFM 75 kHz")
        compare(PanelLogic.deviationLabel(300000), "WFM 150 kHz")
        compare(PanelLogic.deviationLabel(15000), "NFM 7.5 kHz")
        compare(PanelLogic.deviationLabel(2500), "NFM 1.25 kHz")
        compare(PanelLogic.deviationChoices([5000, 150000]),
                [{ label: "NFM 2.5 kHz", value: 5000 }, { label: "WFM 75 kHz", value: 150000 }])
    }

    // A typed view stays inside the captured band, 990..1010 MHz here.
    function test_viewWithinTheBand() {
        const lo = 990e6
        const hi = 1010e6
        compare(PanelLogic.viewWithin(1000e6, 2e6, lo, hi), { centerHz: 1000e6, spanHz: 2e6 })
        compare(PanelLogic.viewWithin(1009.5e6, 2e6, lo, hi), { centerHz: 1009e6, spanHz: 2e6 })
        compare(PanelLogic.viewWithin(980e6, 2e6, lo, hi), { centerHz: 991e6, spanHz: 2e6 })
        const whole = PanelLogic.viewWithin(1000e6, 50e6, lo, hi)
        verify(isNaN(whole.centerHz) && isNaN(whole.spanHz))
        verify(PanelLogic.viewWithin(1000e6, -1e6, lo, hi).error !== undefined)
        verify(PanelLogic.viewWithin(1000e6, 1e6, NaN, NaN).error !== undefined)
        compare(PanelLogic.shownView(NaN, NaN, lo, hi), { centerHz: 1000e6, spanHz: 20e6 })
        compare(PanelLogic.shownView(994.5e6, 995.5e6, lo, hi), { centerHz: 995e6, spanHz: 1e6 })
    }
}
