import QtQuick 2.15
import QtTest 1.2
import NorvaleRTSA 1.0

// The settings tables as the panels read them.
TestCase {
    name: "SettingTables"

    function test_everyEntryStartsWithinItsRange() {
        const tables = { spectrum: Settings.spectrum, display: Settings.display, demod: Settings.demod,
                         audio: Settings.audio }
        let entries = 0
        for (const table in tables) {
            for (const name in tables[table]) {
                const e = tables[table][name]
                if (typeof e !== "object")
                    continue
                ++entries
                verify(e.min <= e.initial && e.initial <= e.max, table + "." + name)
                verify(e.step >= 0, table + "." + name)
            }
        }
        verify(entries > 30, "entries read: " + entries)
    }

    // The panel offers the overlaps the controller snaps to, each once.
    function test_overlapChoicesAreTheSnappedOnes() {
        compare(Settings.spectrum.overlapPercent.choices, [0, 50, 75])
    }

    // The panel offers stereo at exactly the deviations the controller accepts it at.
    function test_stereoNeedsBroadcastDeviation() {
        verify(Settings.isStereoDeviation(150000))
        verify(Settings.isStereoDeviation(300000.9))
        verify(Settings.isStereoDeviation(149999.5))
        verify(!Settings.isStereoDeviation(149998.5))
        verify(!Settings.isStereoDeviation(75000))
        verify(!Settings.isStereoDeviation(15000))
    }
}
