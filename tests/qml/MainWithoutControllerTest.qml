import QtQuick 2.15
import QtTest 1.2

// The main window loaded without the "rtsa" context property: it says so once, shows "--"
// wherever a controller value would be, and nothing in it fails.
TestCase {
    id: testCase
    name: "MainWithoutController"
    when: windowShown

    property var window: null

    function item(name) {
        const found = findChild(window.contentItem, name)
        verify(found !== null, "no item named " + name)
        return found
    }

    function initTestCase() {
        failOnWarning(/./)
        ignoreWarning("Main.qml: rtsa context property is undefined.")
        const component = Qt.createComponent(Qt.resolvedUrl("../../qml/Main.qml"))
        compare(component.status, Component.Ready, component.errorString())
        window = component.createObject(null)
        verify(window !== null)
        verify(waitForRendering(window.contentItem))
    }

    function cleanupTestCase() {
        window.destroy()
    }

    function init() {
        failOnWarning(/./)
    }

    function test_readoutsShowDashes() {
        compare(item("detectorText").text, "Det: --")
        compare(item("dspLoadText").text, "DSP ring: --")
        compare(item("maxFpsText").text, "MaxFPS: --")
        compare(item("rbwText").text, "RBW: --")
        compare(item("vbwText").text, "VBW: --")
        compare(item("fftText").text, "FFT: --")
        compare(item("fpsText").text, "FPS: --")
        compare(item("frequencyTick5").text, "--")
        verify(!item("deviceSummaryText").visible)
        verify(!item("overloadBadge").visible)
        verify(!item("autoBadge").visible)
        compare(item("deviceStatusText").text, "status: idle")
    }

    function test_levelRulerShowsTheViewScale() {
        const texts = []
        for (let k = 0; k <= 6; ++k)
            texts.push(item("levelLabel" + k).text)
        compare(texts, ["0", "-20", "-40", "-60", "-80", "-100", "-120"])
        const view = item("spectrumView")
        view.minDb = -100
        view.maxDb = 20
        compare(item("levelLabel0").text, "20")
        compare(item("levelLabel3").text, "-40")
        compare(item("levelLabel6").text, "-100")
        view.minDb = -120
        view.maxDb = 0
    }

    // The status places are there, empty, in the size they always have.
    function test_statusPlacesStayEmpty() {
        verify(item("audioStatusText").visible)
        verify(item("audioStatusText").height > 0)
        compare(item("audioStatusText").text, "")
        compare(item("demodStatusText").text, "")
        compare(item("lastErrorText").text, "")
    }

    function test_controlsAreInert() {
        for (const name of ["connectButton", "startButton", "stopButton"]) {
            const button = item(name)
            verify(!button.enabled, name)
            mouseClick(button)
        }
        compare(item("deviceStatusText").text, "status: idle")
        // No made-up trace that looks live: the view waits for a receiver and says so.
        verify(!item("spectrumView").demo)
        verify(item("connectHint").visible)
        compare(item("connectHint").text, "Connect a receiver")
    }

    function test_layoutFitsTheMinimumSize() {
        window.width = window.minimumWidth
        window.height = window.minimumHeight
        tryCompare(window.contentItem, "width", 1100)
        tryCompare(window.contentItem, "height", 700)
        const left = item("leftPanel")
        const right = item("rightPanel")
        const top = item("topStatusBar")
        const bottom = item("bottomStatusBar")
        const area = item("spectrumArea")
        compare(left.width, 300)
        compare(right.x + right.width, window.width - 8)
        compare(top.x, left.x + left.width + 8)
        compare(top.x + top.width, right.x - 8)
        compare(area.y, top.y + top.height + 8)
        compare(bottom.y, area.y + area.height + 8)
        compare(bottom.y + bottom.height, window.height - 8)
        verify(area.width > 300 && area.height > 300, "spectrum area " + area.width + " x " + area.height)
        verify(item("spectrumView").visible)
    }

    // The nine panels, each in its column and place; every one but the receiver and the RF
    // level starts folded.
    function test_panelsSitInTheirColumns() {
        const columns = [["leftPanel", ["devicePanel", "viewPanel", "dspPanel", "dpxPanel", "waterfallPanel"],
                          ["Device", "View", "Spectrum (DSP)", "DPX", "Waterfall"]],
                         ["rightPanel", ["rmsPanel", "markersPanel", "demodPanel", "logPanel"],
                          ["RF Level", "Markers", "Demod", "Log"]]]
        for (const [column, names, titles] of columns) {
            let y = -1
            for (let i = 0; i < names.length; ++i) {
                const panel = findChild(item(column), names[i])
                verify(panel !== null, names[i] + " is not in " + column)
                compare(panel.title, titles[i])
                verify(panel.y > y, names[i] + " is out of order")
                y = panel.y
                compare(panel.expanded, false)
                compare(panel.collapsible, names[i] !== "devicePanel" && names[i] !== "rmsPanel")
            }
        }
        // The spectrum view is there, with no level yet.
        compare(item("rfLevelText").text, "-120.00 dBFS")
    }

    // Without a controller the panels open and fold, but their controls do nothing, and
    // nothing fails.
    function test_panelControlsAreInert() {
        const folding = ["dspPanel", "dpxPanel", "waterfallPanel", "markersPanel", "demodPanel"]
        mouseClick(item("dspPanelHeader"))
        verify(item("dspPanel").expanded)
        for (const name of folding)
            item(name).expanded = true
        for (const name of ["applyButton", "deviceDropDownButton", "rate5", "att10", "windowHann", "detectorMax",
                            "rbw1k", "maxFps60", "fluorSwitch", "peakLineSwitch", "densityLevels64",
                            "waterfallSwitch", "timeDepth5", "heightRatio50", "addMarkerButton", "demodSwitch",
                            "audioDeviceDropDownButton", "deviationNFM75kHz", "hpf50", "audioGainSlider"]) {
            verify(!item(name).enabled, name + " is enabled")
            mouseClick(item(name))
        }
        compare(item("audioGainSlider").text, "Audio Gain: 2.0x")
        compare(item("demodFreqText").text, "--")
        verify(!item("audioDeviceDropDown").open)
        for (const name of folding)
            item(name).expanded = false
    }
}
