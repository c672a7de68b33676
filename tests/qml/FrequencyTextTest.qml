import QtQuick 2.15
import QtTest 1.2
import "../../qml/logic/FrequencyText.js" as FrequencyText

TestCase {
    name: "FrequencyText"

    function test_accepted_data() {
        return [
            { tag: "plain MHz", text: "433.92", hz: 433.92e6 },
            { tag: "comma for the point", text: " 1000,5 ", hz: 1000.5e6 },
            { tag: "M suffix", text: "100M", hz: 100e6 },
            { tag: "MHz with a space", text: "99.4 MHz", hz: 99.4e6 },
            { tag: "lower-case m means MHz", text: "433.92m", hz: 433.92e6 },
            { tag: "G suffix", text: "2.4G", hz: 2.4e9 },
            { tag: "GHz", text: "1.2ghz", hz: 1.2e9 },
            { tag: "k suffix", text: "500k", hz: 500e3 },
            { tag: "kHz", text: "12.5 kHz", hz: 12.5e3 },
            { tag: "Hz", text: "1000000 Hz", hz: 1e6 },
            { tag: "leading point", text: ".5G", hz: 0.5e9 },
        ]
    }

    function test_accepted(data) {
        const result = FrequencyText.parse(data.text, 1e6)
        verify(result.error === undefined, String(result.error))
        fuzzyCompare(result.hz, data.hz, data.hz * 1e-12)
    }

    function test_fieldUnit() {
        compare(FrequencyText.parse("10", 1e3).hz, 10e3)
        compare(FrequencyText.parse("10", 1).hz, 10)
        compare(FrequencyText.parse("10M", 1e3).hz, 10e6)
    }

    function test_refused_data() {
        return [
            { tag: "letters", text: "abc", says: "is not a frequency" },
            { tag: "empty", text: "", says: "is not a frequency" },
            { tag: "negative", text: "-5", says: "is not a frequency" },
            { tag: "zero", text: "0", says: "above 0 Hz" },
            { tag: "zero with a unit", text: "0.0M", says: "above 0 Hz" },
            { tag: "two separators", text: "1,5,0", says: "is not a frequency" },
            { tag: "trailing junk", text: "12abc", says: "Unknown unit" },
            { tag: "milli is not a radio unit", text: "5mm", says: "Unknown unit" },
            { tag: "infinity", text: "Infinity", says: "is not a frequency" },
            { tag: "number after unit", text: "M100", says: "is not a frequency" },
        ]
    }

    function test_refused(data) {
        const result = FrequencyText.parse(data.text, 1e6)
        compare(result.hz, undefined)
        verify(String(result.error).indexOf(data.says) >= 0, String(result.error))
    }

    function test_formatMHz() {
        compare(FrequencyText.formatMHz(99.4e6), "99.4")
        compare(FrequencyText.formatMHz(1e9), "1000")
        compare(FrequencyText.formatMHz(433920001), "433.920001")
    }
}
