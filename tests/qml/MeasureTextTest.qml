import QtQuick 2.15
import QtTest 1.2
import "../../qml/logic/MeasureText.js" as MeasureText

TestCase {
    name: "MeasureText"

    readonly property var results: ({
        unit: "dBm", channelValid: true, channelPower: -36.214, channelDensity: -96.21,
        obwValid: true, obwHz: 181250, xDbValid: false, xDbHz: NaN,
        acpMain: -36.2, acpLower: [-45.04, NaN], acpUpper: [-61.96, -70.0],
        noiseValid: true, noiseFreqHz: 995.2e6, noiseDensity: -138.456
    })

    function test_readouts() {
        compare(MeasureText.channelLine(results), "Channel  -36.21 dBm  -96.21 dBm/Hz")
        compare(MeasureText.obwLine(results, 99), "OBW 99 %  181.250 kHz")
        // No x-dB band found: no number, rather than a stale or meaningless one.
        compare(MeasureText.xDbLine(results, 26), "-26 dB BW  --")
        compare(MeasureText.noiseLine(results), "Noise @ 995.200 MHz  -138.46 dBm/Hz")
    }

    function test_adjacentChannelsNearestFirstAndOffTheViewAsDashes() {
        compare(MeasureText.acpLine(results),
                "ACP  main -36.20 dBm  L1 -45.0 dBc  U1 -62.0 dBc  L2 -- dBc  U2 -70.0 dBc")
        compare(MeasureText.acpLine({ unit: "dBFS", acpMain: -50, acpLower: [], acpUpper: [] }), "ACP  main -50.00 dBFS")
    }

    function test_nothingMeasuredYet() {
        compare(MeasureText.channelLine({}), "Channel  --")
        compare(MeasureText.noiseLine({}), "Noise  --")
        compare(MeasureText.peakLine({ freqHz: 99.4e6, level: -42.346 }, "dBFS"), "99.4000 MHz  -42.35 dBFS")
    }
}
