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

    function test_frequencyRulerHasElevenTicksWithTheUnitInTheMiddle() {
        const ticks = SpectrumMath.frequencyTicks(90e6, 110e6, 100e6, 1001)
        compare(ticks.length, 11)
        compare(ticks.map(t => t.x), [0, 100, 200, 300, 400, 500, 600, 700, 800, 900, 1000])
        compare(ticks.map(t => t.text), ["90.000", "92.000", "94.000", "96.000", "98.000", "100.000 MHz",
                                         "102.000", "104.000", "106.000", "108.000", "110.000"])
        compare(ticks[0].align, "left")
        compare(ticks[5].align, "center")
        compare(ticks[10].align, "right")
    }

    function test_frequencyRulerUnitFollowsTheCentre() {
        // The centre is 1 GHz, so every label is in GHz, even the ones below it.
        const ticks = SpectrumMath.frequencyTicks(995e6, 1005e6, 1000e6, 500)
        compare(ticks[0].text, "0.995")
        compare(ticks[5].text, "1.000 GHz")
        compare(ticks[10].text, "1.005")
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
