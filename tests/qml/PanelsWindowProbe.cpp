// Preloaded into the unmodified analyser to use it through its panels only, with clicks and
// key presses on controls found by name: connect, choose 30 MS/s, type a broadcast station's
// frequency, start, switch on the persistence display and the waterfall, add a marker and send
// it to the peak, bind the demodulator to it, choose the WAV file driver, switch demodulation
// and FM stereo on. Then it reads the controller's settings and the log panel, retunes to
// 5 MS/s beside the station, stops, and checks that the recording holds the station's audio:
// run with RZSIM_TEST_TONES=1, every station sends a 1 kHz tone on the left and a 3 kHz tone
// on the right. With RTSA_PROBE_SCREENSHOT set, it saves the window with the panels open while
// demodulating.
#include "ProbeRecording.h"
#include "WindowProbe.h"
#include "tests/support/EventWait.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QVariantList>
#include <QVariantMap>
#include <QtTest/QTest>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr double kStationMHz = 99.4;
constexpr double kSpanHz = 30e6;
// The broadcast stations of the simulated receiver, all inside a 30 MHz span around 99.4 MHz.
constexpr double kStationsMHz[] = {88.3, 90.1, 91.9, 94.5, 96.7, 99.4, 101.1, 104.3, 106.8};
class PanelsWindowProbe : public WindowProbe {
public:
    using WindowProbe::WindowProbe;

protected:
    bool scenario() override
    {
        return tuneToTheStation() && start() && persistenceAndWaterfall() && markerOnThePeak() && demodulateIt()
               && checkSettings() && checkTheLog() && screenshotWithPanelsOpen() && retuneTo5MSpsBesideTheStation()
               && stopAndListen();
    }

private:
    bool tuneToTheStation()
    {
        return click(u"connectButton"_s) && waitForFlag("connected", true) && click(u"rate30"_s)
               && typeInto(u"centerFreqField"_s, u"99,4"_s) && click(u"applyButton"_s);
    }

    bool start()
    {
        return click(u"startButton"_s)
               && waitFor(
                   [this] {
                       return flag("running") && !view()->property("demo").toBool()
                              && property(view(), "centerFreqHz") == kStationMHz * 1e6
                              && property(view(), "maxFreqHz") - property(view(), "minFreqHz") == kSpanHz;
                   },
                   30000, u"live frames of 30 MHz around 99.4 MHz"_s);
    }

    bool persistenceAndWaterfall()
    {
        return click(u"dpxPanelHeader"_s) && click(u"fluorSwitch"_s) && waitForFlag("densityEnabled", true)
               && click(u"dpxPanelHeader"_s) && click(u"waterfallPanelHeader"_s) && click(u"waterfallSwitch"_s)
               && waitForFlag("waterfallEnabled", true) && click(u"waterfallPanelHeader"_s);
    }

    double markerFreqHz() const
    {
        const QVariantList markers = controller()->property("markers").toList();
        return markers.isEmpty() ? NAN : markers.first().toMap().value(u"freqHz"_s).toDouble();
    }

    // The strongest thing in a span full of broadcast stations is one of them.
    bool markerOnThePeak()
    {
        if (!click(u"markersPanelHeader"_s) || !click(u"addMarkerButton"_s)
            || !waitFor([this] { return item(u"mkToPeak1"_s) != nullptr; }, 5000, u"marker 1's row"_s))
            return false;
        const auto onAStation = [](double hz) {
            return std::any_of(std::begin(kStationsMHz), std::end(kStationsMHz),
                               [hz](double mhz) { return std::abs(hz - mhz * 1e6) < 100e3; });
        };
        if (!check(onAStation(markerFreqHz()), u"marker 1 was not added on a station's peak"_s)
            || !click(u"mkToPeak1"_s))
            return false;
        const double hz = markerFreqHz();
        m_markerHz = hz;
        std::fprintf(stderr, "marker 1 on the peak at %.6f MHz\n", hz / 1e6);
        return check(onAStation(hz), u"the peak at %1 MHz is no broadcast station"_s.arg(hz / 1e6, 0, 'f', 6))
               && textIs(u"mkFreq1"_s, QString::number(hz / 1e6, 'f', 6));
    }

    bool demodulateIt()
    {
        return click(u"demodPanelHeader"_s) && choose(u"demodBindingDropDown"_s, u"M1 @ "_s)
               && waitFor([this] { return property(controller(), "newDemodFreqHz") == m_markerHz; }, 5000,
                          u"the demodulator to follow marker 1"_s)
               && choose(u"audioDeviceDropDown"_s, u"WAV File Writer"_s) && click(u"demodSwitch"_s)
               && waitForFlag("newDemodEnabled", true) && waitForFlag("audioEnabled", true)
               && click(u"stereoSwitch"_s) && waitForFlag("newDemodFmStereoEnabled", true);
    }

    bool checkSettings()
    {
        bool ok = check(controller()->property("audioDeviceName").toString() == u"WAV File Writer"_s,
                        u"audioDeviceName is \"%1\""_s.arg(controller()->property("audioDeviceName").toString()));
        ok &= check(state()->property("newDemodMarkerId").toInt() == 1, u"the demodulator is not bound to M1"_s);
        ok &= check(property(controller(), "newDemodFreqHz") == m_markerHz, u"newDemodFreqHz left the marker"_s);
        ok &= check(property(controller(), "newDemodFmDeviationHz") == 150000, u"deviation is not 150 kHz"_s);
        ok &= check(property(controller(), "audioOutputChannelLeft") == 0
                        && property(controller(), "audioOutputChannelRight") == 1,
                    u"stereo plays on outputs %1 and %2, expected 0 and 1"_s
                        .arg(property(controller(), "audioOutputChannelLeft"))
                        .arg(property(controller(), "audioOutputChannelRight")));
        ok &= check(flag("running") && flag("densityEnabled") && flag("waterfallEnabled"),
                    u"acquisition, persistence or waterfall went off"_s);
        ok &= check(item(u"mkDemod1"_s)->isVisible(), u"marker 1 has no Demod tag"_s);
        ok &= textMatches(u"demodBoundText"_s, u"^Bound: M1 @ %1 MHz$"_s.arg(m_markerHz / 1e6, 0, 'f', 6));
        ok &= textIs(u"audioDeviceDropDownButton"_s, u"WAV File Writer  \u25be"_s);
        return ok;
    }

    // The log panel, opened, shows the audio output's opened line in the audio colour.
    bool checkTheLog()
    {
        const QString opened = u"<font color=\"#79D07B\">Audio: opened WAV File Writer buf=256 (prefill: "_s;
        return click(u"demodPanelHeader"_s) && click(u"markersPanelHeader"_s) && click(u"logPanelHeader"_s)
               && waitFor([&] { return text(u"logText"_s).contains(opened); }, 10000,
                          u"the log to show the audio output opened"_s)
               && check(item(u"logText"_s)->isVisible(), u"the log text is hidden"_s);
    }

    // The panels that say most about a running demodulator, open, the receiver's panel back in
    // sight, once the waterfall has filled its part of the view.
    bool screenshotWithPanelsOpen()
    {
        if (qEnvironmentVariableIsEmpty("RTSA_PROBE_SCREENSHOT")) {
            QTest::qWait(4000);
            return true;
        }
        const bool opened = click(u"logPanelHeader"_s) && click(u"markersPanelHeader"_s)
                            && click(u"demodPanelHeader"_s) && click(u"dspPanelHeader"_s)
                            && reveal(item(u"devicePanel"_s));
        QTest::qWait(10000);
        return opened && saveScreenshot();
    }

    // The recording is judged in a 5 MS/s span with the station 1 MHz above its centre: a busy
    // machine, or a sanitizer build, cannot synthesise and demodulate 30 MS/s in real time, and
    // the gaps that leaves in the audio would say nothing about the panels. From 5 MS/s up the
    // demodulator works at one rate, so the marker's offset from the carrier plays the same.
    // The centre is typed and the rate chosen in the device panel; the retune restarts the audio
    // output, which starts the recording afresh, and the demodulator stays on the marker.
    bool retuneTo5MSpsBesideTheStation()
    {
        const double centreHz = m_markerHz - 1e6;
        return typeInto(u"centerFreqField"_s, QString::number(centreHz / 1e6, 'f', 6)) && click(u"rate5"_s)
               && waitFor(
                   [=, this] {
                       return flag("running") && std::abs(property(view(), "centerFreqHz") - centreHz) < 1
                              && property(view(), "maxFreqHz") - property(view(), "minFreqHz") == 5e6;
                   },
                   20000, u"live frames of 5 MHz beside marker 1"_s)
               && check(property(controller(), "newDemodFreqHz") == m_markerHz, u"the demodulator left marker 1"_s)
               && (QTest::qWait(5000), true)
               && waitFor([] { return probe_recording::recordedFrames() >= probe_recording::kRecordingHeard; },
                          kEventWaitMs,
                          u"the recording to hold what is listened to"_s);
    }

    // Stopping closes the audio output and with it the recording, which then holds the
    // station: its left tone on the left and its right tone on the right.
    bool stopAndListen()
    {
        if (!click(u"stopButton"_s) || !waitForFlag("running", false))
            return false;
        const QString missing = probe_recording::stationTonesMissing();
        return missing.isEmpty() || fail(missing);
    }

    double m_markerHz = NAN;
};

void startProbe()
{
    startWindowProbe<PanelsWindowProbe>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
