import QtQuick 2.15
import QtTest 1.2
import NorvaleRTSA 1.0
import "../../qml/logic/SpectrumMath.js" as SpectrumMath

TestCase {
    name: "SpectrumMath"

    function test_levelRulerHasSevenLabelsFromTopToBottom() {
        const labels = SpectrumMath.levelLabels(-120, 0, 301)
        compare(labels.map(l => l.text), ["0", "-20", "-40", "-60", "-80", "-100", "-120"])
        compare(labels.map(l => l.y), [0, 50, 100, 150, 200, 250, 300])

        const shifted = SpectrumMath.levelLabels(-100, -10, 100)
        compare(shifted.map(l => l.text), ["-10", "-25", "-40", "-55", "-70", "-85", "-100"])
        compare(shifted[6].y, 99)
    }

    function test_frequencyRulerTicksSitOnRoundFrequenciesWithTheUnitInTheMiddle() {
        // 20 MHz over 1001 px, labels at least 80 px apart: every 2 MHz, whole MHz are enough.
        const ticks = SpectrumMath.frequencyTicks(90e6, 110e6, 100e6, 1001)
        compare(ticks.map(t => t.x), [0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000])
        compare(ticks.map(t => t.text), ["90", "92", "94", "96", "98", "100 MHz", "102", "104", "106", "108", "110"])
        compare(ticks[0].align, "left")
        compare(ticks[5].align, "center")
        compare(ticks[10].align, "right")
    }

    function test_frequencyRulerUnitFollowsTheCentre() {
        // The centre is 1 GHz, so every label is in GHz, even the ones below it.
        const ticks = SpectrumMath.frequencyTicks(995e6, 1005e6, 1000e6, 1001)
        compare(ticks[0].text, "0.995")
        compare(ticks[5].text, "1.000 GHz")
        compare(ticks[10].text, "1.005")
    }

    function test_frequencyRulerLabelsDifferAtEverySpanAndCentre_data() {
        return [
            { tag: "2 MS/s at 1 GHz", min: 999e6, max: 1001e6, centre: 1000e6 },
            { tag: "5 MS/s at 1 GHz", min: 997.5e6, max: 1002.5e6, centre: 1000e6 },
            { tag: "30 MS/s at 99.4 MHz", min: 84.4e6, max: 114.4e6, centre: 99.4e6 },
            { tag: "a 64 kHz zoom at 2.4 GHz", min: 2400.001e6, max: 2400.065e6, centre: 2400.033e6 },
            { tag: "after centring on a marker", min: 975.584e6, max: 995.584e6, centre: 985.584e6 }
        ]
    }

    function test_frequencyRulerLabelsDifferAtEverySpanAndCentre(data) {
        const ticks = SpectrumMath.frequencyTicks(data.min, data.max, data.centre, 1000)
        verify(ticks.length >= 5 && ticks.length <= 13, ticks.length + " ticks")
        const values = ticks.map(t => parseFloat(t.text))
        compare(new Set(values).size, values.length, "repeated labels: " + ticks.map(t => t.text).join(" "))
        const step = ticks[1].hz - ticks[0].hz
        // Ticks on whole multiples of a 1-2-5 step, never outside the span.
        verify(ticks.every(t => Math.abs(t.hz / step - Math.round(t.hz / step)) < 1e-6))
        verify(ticks.every(t => t.x >= 0 && t.x <= 999))
        compare(SpectrumMath.niceStep(step), step)
        compare(ticks.filter(t => t.text.endsWith("Hz")).length, 1)
    }

    function test_niceStepsAndDigits() {
        for (const [raw, step] of [[0.7, 1], [1, 1], [1.2, 2], [2.5, 5], [7, 10], [11, 20]])
            compare(SpectrumMath.niceStep(raw), step)
        compare(SpectrumMath.niceStep(150e3), 200e3)
        // A 9.8 kHz bin needs kHz digits in MHz, not Hz.
        compare(SpectrumMath.frequencyDecimals(9765.625, "MHz"), 3)
        compare(SpectrumMath.frequencyDecimals(1e3, "MHz"), 3)
        compare(SpectrumMath.frequencyDecimals(2e6, "MHz"), 0)
        compare(SpectrumMath.formatFrequency(995.6e6, 9765.625), "995.600 MHz")
        compare(SpectrumMath.formatFrequency(995.6e6, 150), "995.6000 MHz")
        compare(SpectrumMath.formatFrequencyDelta(-400e3, 9765.625), "-400 kHz")
        compare(SpectrumMath.formatFrequencyDelta(1.5e6, 9765.625), "+1.500 MHz")
        compare(SpectrumMath.formatLevelDelta(3.24), "+3.2 dB")
        compare(SpectrumMath.formatLevelDelta(-12), "-12.0 dB")
    }

    function test_wheelZoomKeepsThePlaceUnderThePointer() {
        // Zooming in by half with the pointer at a quarter of the view: that place stays there.
        const zoomed = SpectrumMath.zoomView(0, 1, 0.25, 0.5, 0.01)
        fuzzyCompare(zoomed.start, 0.125, 1e-12)
        fuzzyCompare(zoomed.stop, 0.625, 1e-12)
        fuzzyCompare(zoomed.start + 0.25 * (zoomed.stop - zoomed.start), 0.25, 1e-12)
        // Zooming out near the edge stays inside the band; never wider than it.
        const out = SpectrumMath.zoomView(0.8, 1.0, 0.9, 2, 0.01)
        fuzzyCompare(out.stop, 1, 1e-12)
        fuzzyCompare(out.start, 0.6, 1e-12)
        const all = SpectrumMath.zoomView(0.2, 0.9, 0.5, 4, 0.01)
        compare([all.start, all.stop], [0, 1])
        // Never narrower than the minimum.
        const narrow = SpectrumMath.zoomView(0.5, 0.52, 0.5, 0.1, 0.01)
        fuzzyCompare(narrow.stop - narrow.start, 0.01, 1e-12)
        // One notch away from the user zooms in, towards the user out.
        verify(SpectrumMath.wheelZoomFactor(120) < 1)
        verify(SpectrumMath.wheelZoomFactor(-120) > 1)
        fuzzyCompare(SpectrumMath.wheelZoomFactor(120) * SpectrumMath.wheelZoomFactor(-120), 1, 1e-12)
    }

    function test_autoTraceScalePutsTheFloorInTheBottomFifth_data() {
        return [
            { tag: "IF gain 0", floor: -112, strongest: -60 },
            { tag: "a strong station", floor: -95, strongest: -10 },
            { tag: "a quiet band", floor: -80, strongest: -76 },
            { tag: "more than the widest scale", floor: -140, strongest: 20 }
        ]
    }

    function test_autoTraceScalePutsTheFloorInTheBottomFifth(data) {
        const choices = [1, 2, 5, 10, 20]
        const scale = SpectrumMath.autoTraceScale(data.floor, data.strongest, 6, choices)
        verify(choices.indexOf(scale.dbPerDiv) >= 0)
        const bottom = scale.refLevelDb - 6 * scale.dbPerDiv
        const floorAt = (data.floor - bottom) / (6 * scale.dbPerDiv)
        if (data.strongest - data.floor < 90) {
            verify(floorAt >= 0.1 && floorAt <= 0.3, "floor at " + floorAt)
            verify(data.strongest <= scale.refLevelDb, "strongest above the top")
        } else {
            compare(scale.dbPerDiv, 20)
        }
        compare(scale.refLevelDb % scale.dbPerDiv, 0)
    }

    function test_autoColourRangeFramesFloorAndStrongest() {
        const range = SpectrumMath.autoColourRange(-93, -21)
        verify(range.minDb < -93 && range.minDb >= -100, range.minDb)
        verify(range.maxDb > -21 && range.maxDb <= -10, range.maxDb)
        compare(range.minDb % 5, 0)
        // A flicker of a dB leaves the range alone.
        compare(SpectrumMath.autoColourRange(-92.4, -21.6), range)
        // Nothing but noise still spans 20 dB.
        const quiet = SpectrumMath.autoColourRange(-90, -88)
        compare(quiet.maxDb - quiet.minDb, 20)
    }

    function test_automaticColourRangeDoesNotFlipOnAWaveringFloor() {
        const start = SpectrumMath.followColourRange(null, -92, -21)
        compare(start, SpectrumMath.autoColourRange(-92, -21))
        // The floor wavers across the edge of a step: the range stays.
        let range = start
        for (const floor of [-93, -92, -93, -91, -93])
            range = SpectrumMath.followColourRange(range, floor, -21)
        compare(range, start)
        // A real change (a stronger station, a lower floor) moves it.
        compare(SpectrumMath.followColourRange(range, -92, 0).maxDb, SpectrumMath.autoColourRange(-92, 0).maxDb)
        compare(SpectrumMath.followColourRange(range, -110, -21).minDb, SpectrumMath.autoColourRange(-110, -21).minDb)
    }

    function test_clicksSnapToRoundSteps() {
        compare(SpectrumMath.snapToStep(995.6071e6, 20e3), 995.6e6)
        compare(SpectrumMath.snapToStep(123.4, 0), 123.4)
    }

    function test_frequencyRulerWithoutASpanShowsNoValues() {
        const ticks = SpectrumMath.frequencyTicks(0, 0, 0, 500)
        compare(ticks.length, 11)
        verify(ticks.every(t => t.text === "--"))
    }

    function test_markerPositionForFrequency() {
        compare(SpectrumMath.xForFreq(1000e6, 990e6, 1010e6, 1001), 500)
        compare(SpectrumMath.xForFreq(990e6, 990e6, 1010e6, 1001), 0)
        compare(SpectrumMath.xForFreq(1010e6, 990e6, 1010e6, 1001), 1000)
        compare(SpectrumMath.xForFreq(980e6, 990e6, 1010e6, 1001), 0)
        compare(SpectrumMath.xForFreq(1020e6, 990e6, 1010e6, 1001), 1000)
    }

    function test_frequencyForMarkerPosition() {
        compare(SpectrumMath.freqForX(500, 990e6, 1010e6, 1000e6, 1001), 1000e6)
        compare(SpectrumMath.freqForX(250, 990e6, 1010e6, 1000e6, 1001), 995e6)
        compare(SpectrumMath.freqForX(-40, 990e6, 1010e6, 1000e6, 1001), 990e6)
        compare(SpectrumMath.freqForX(4000, 990e6, 1010e6, 1000e6, 1001), 1010e6)
        // Without a span every position is the centre.
        compare(SpectrumMath.freqForX(300, 1000e6, 1000e6, 1000e6, 1001), 1000e6)
        compare(SpectrumMath.freqForX(300, 0, 0, 433.92e6, 1001), 433.92e6)
    }

    function test_positionAndFrequencyAreInverse() {
        for (const hz of [990e6, 991.234e6, 1000e6, 1007.5e6, 1010e6]) {
            const x = SpectrumMath.xForFreq(hz, 990e6, 1010e6, 1337)
            fuzzyCompare(SpectrumMath.freqForX(x, 990e6, 1010e6, 1000e6, 1337), hz, 1)
        }
    }

    function test_markerHeightForLevel() {
        compare(SpectrumMath.yForLevel(-60, -120, 0, 121), 60)
        compare(SpectrumMath.yForLevel(0, -120, 0, 121), 0)
        compare(SpectrumMath.yForLevel(-120, -120, 0, 121), 120)
        compare(SpectrumMath.yForLevel(12, -120, 0, 121), 0)
        compare(SpectrumMath.yForLevel(-200, -120, 0, 121), 120)
        // A scale without height does not divide by zero.
        compare(SpectrumMath.yForLevel(-50, -50, -50, 121), 120)
    }

    function test_detectorLabels() {
        compare(SpectrumMath.detectorLabel(Settings.Sample, 20), "Sample")
        compare(SpectrumMath.detectorLabel(Settings.Max, 20), "Max")
        compare(SpectrumMath.detectorLabel(Settings.Min, 20), "Min")
        compare(SpectrumMath.detectorLabel(Settings.Avg, 20), "Avg(20)")
        compare(SpectrumMath.detectorLabel(Settings.Rms, 5), "RMS(5)")
        compare(SpectrumMath.detectorLabel(5, 20), "Unknown")
        compare(SpectrumMath.detectorLabel(-1, 20), "Unknown")
    }

    function test_rbwChangedAutomatically() {
        verify(!SpectrumMath.rbwChangedAutomatically(10000, NaN))
        verify(!SpectrumMath.rbwChangedAutomatically(10000, 10000.4))
        verify(SpectrumMath.rbwChangedAutomatically(5493.16, 300))
    }
}
