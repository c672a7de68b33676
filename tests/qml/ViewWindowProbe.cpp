// Preloaded into the unmodified analyser to play it as an instrument, with the mouse and the
// keys on the spectrum view: Space starts, the wheel zooms (the ruler's span narrows), Home and
// a double click show the whole band again, a click on the broadcast station of the start-up
// view puts the demodulator there, the arrow keys step it, M adds a marker on another peak, a
// drag moves the centre beside the station. Then, at 5 MS/s, Space stops, and the WAV File
// Writer's recording must hold the station (run with RZSIM_TEST_TONES=1).
#include "ProbeRecording.h"
#include "WindowProbe.h"
#include "tests/support/EventWait.h"

#include <QAbstractItemModel>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest/QTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// The station in the simulated receiver's start-up view (1000 MHz at 20 MS/s).
constexpr double kStationHz = 995.6e6;
constexpr double kStartSpanHz = 20e6;

class ViewWindowProbe : public WindowProbe {
public:
    using WindowProbe::WindowProbe;

protected:
    bool scenario() override
    {
        return connectAndStart() && wheelZoomNarrowsTheRuler() && clickOnTheStation() && demodulate()
               && keysStepTheDemodulatorAndAddAMarker() && dragBesideTheStation() && stopAndListen();
    }

private:
    double viewNumber(const char* name) const { return property(view(), name); }
    double viewSpanHz() const { return viewNumber("viewMaxFreqHz") - viewNumber("viewMinFreqHz"); }

    // Where a frequency lies on screen, as the ruler places it.
    QPoint pointAt(double hz) const
    {
        const double t = (hz - viewNumber("viewMinFreqHz")) / viewSpanHz();
        return view()->mapToScene(QPointF(t * (view()->width() - 1), view()->height() * 0.3)).toPoint();
    }

    // The span the frequency ruler reads from its first to its last label, in its unit.
    double rulerSpan() const
    {
        int last = 0;
        while (item(u"frequencyTick"_s + QString::number(last + 1)))
            ++last;
        const auto value = [this](int k) {
            return text(u"frequencyTick"_s + QString::number(k)).section(u' ', 0, 0).toDouble();
        };
        return value(last) - value(0);
    }

    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::qWait(50);
        QTest::keyClick(window(), k, modifiers);
    }

    bool connectAndStart()
    {
        // The window's keys work while it has the keyboard, which on a desktop the window
        // manager gives it; Xvfb has none.
        window()->requestActivate();
        if (!check(QTest::qWaitForWindowActive(window()), u"the window never got the keyboard"_s)
            || !click(u"connectButton"_s) || !waitForFlag("connected", true))
            return false;
        // Space starts acquisition as the Start button does.
        key(Qt::Key_Space);
        return waitFor(
            [this] {
                return flag("running") && viewNumber("centerFreqHz") == 1000e6 && viewSpanHz() == kStartSpanHz;
            },
            30000, u"live frames of 20 MHz around 1000 MHz"_s);
    }

    bool wheelZoomNarrowsTheRuler()
    {
        const double before = rulerSpan();
        const QPoint middle = centreOf(view());
        for (int notch = 0; notch < 3; ++notch)
            wheel(middle, 120);
        bool ok = waitFor([this] { return viewSpanHz() < 0.6 * kStartSpanHz; }, kEventWaitMs, u"the wheel to zoom"_s);
        const double after = rulerSpan();
        std::fprintf(stderr, "ruler span %.4f before, %.4f after three notches of the wheel\n", before, after);
        ok = ok && check(after < 0.7 * before && after > 0,
                         u"the ruler reads a span of %1, %2 before"_s.arg(after).arg(before));
        // The frequency under the pointer stays there.
        const double middleHz = (viewNumber("viewMinFreqHz") + viewNumber("viewMaxFreqHz")) / 2;
        ok = ok && check(std::abs(middleHz - 1000e6) < viewSpanHz() / 100, u"the zoom left the pointer's place"_s);

        key(Qt::Key_Home);
        ok = ok
             && waitFor([this] { return viewSpanHz() == kStartSpanHz; }, kEventWaitMs, u"Home to show the whole band"_s)
             && check(std::abs(rulerSpan() - before) < 1e-9, u"the ruler did not return to the whole band"_s);

        wheel(middle, 240);
        ok = ok && waitFor([this] { return viewSpanHz() < kStartSpanHz; }, kEventWaitMs, u"the wheel to zoom again"_s);
        QTest::mouseDClick(window(), Qt::LeftButton, {}, middle);
        return ok && waitFor([this] { return viewSpanHz() == kStartSpanHz; }, kEventWaitMs,
                             u"a double click to show the whole band"_s);
    }

    double demodHz() const { return property(controller(), "newDemodFreqHz"); }

    // A click lands on the round frequency nearest the pointer: within a step of a pixel.
    bool clickOnTheStation()
    {
        QTest::qWait(600);
        QTest::mouseClick(window(), Qt::LeftButton, {}, pointAt(kStationHz));
        const double pixelHz = viewSpanHz() / (view()->width() - 1);
        return waitFor([=, this] { return std::abs(demodHz() - kStationHz) <= 2 * pixelHz; }, kEventWaitMs,
                       u"the demodulator to go to the clicked station"_s)
               && check(state()->property("newDemodMarkerId").toInt() >= 0, u"the demodulator follows no marker"_s)
               && check(item(u"marker%1"_s.arg(state()->property("newDemodMarkerId").toInt())) != nullptr,
                        u"no marker on the station"_s);
    }

    bool demodulate()
    {
        return click(u"demodPanelHeader"_s) && choose(u"audioDeviceDropDown"_s, u"WAV File Writer"_s)
               && click(u"demodSwitch"_s) && waitForFlag("newDemodEnabled", true) && waitForFlag("audioEnabled", true)
               && click(u"stereoSwitch"_s) && waitForFlag("newDemodFmStereoEnabled", true)
               && click(u"demodPanelHeader"_s);
    }

    bool keysStepTheDemodulatorAndAddAMarker()
    {
        const double station = demodHz();
        const double onRaster = std::round(station / 100e3) * 100e3;
        key(Qt::Key_Right);
        bool ok = waitFor([=, this] { return std::abs(demodHz() - (onRaster + 100e3)) < 1; }, kEventWaitMs,
                          u"Right to step the demodulator up by 100 kHz"_s);
        key(Qt::Key_Left);
        key(Qt::Key_Left, Qt::ShiftModifier);
        ok = ok && waitFor([=, this] { return std::abs(demodHz() - (onRaster - 1e3)) < 1; }, kEventWaitMs,
                           u"Left and Shift+Left to step down by 100 kHz and 1 kHz"_s);
        key(Qt::Key_Right, Qt::ShiftModifier);
        ok = ok && waitFor([=, this] { return std::abs(demodHz() - onRaster) < 1; }, kEventWaitMs,
                           u"Shift+Right to step up by 1 kHz"_s);

        // M: a second marker, on a peak other than the marked one. With the test tones a station's
        // spectrum is a comb of lines standing apart by more than the peak excursion, so the next
        // peak may be another line of the same station: what must not happen is the same peak.
        auto* model = qobject_cast<QAbstractItemModel*>(controller()->property("markersModel").value<QObject*>());
        if (!model)
            return fail(u"the controller has no markersModel"_s);
        key(Qt::Key_M);
        ok = ok && waitFor([model] { return model->rowCount() == 2; }, kEventWaitMs, u"M to add a marker"_s);
        const double second = model->data(model->index(1, 0), 258).toDouble();
        std::fprintf(stderr, "marker 2 added by M at %.6f MHz\n", second / 1e6);
        return ok && check(std::abs(second - onRaster) > 2 * viewNumber("binHz"), u"marker 2 landed on the marked peak"_s);
    }

    // Dragging the picture to the right by the station's distance less 1 MHz brings the centre
    // 1 MHz above the station; at 5 MS/s the station is then in view and the demodulator, on its
    // marker, plays it at a rate a busy machine keeps up with.
    bool dragBesideTheStation()
    {
        const double targetHz = kStationHz + 1e6;
        const double pixelHz = viewSpanHz() / (view()->width() - 1);
        // Taken where no marker is, or the drag would move the marker.
        const QPoint from = pointAt(1006.3e6);
        const QPoint to = from + QPoint(static_cast<int>(std::lround((1000e6 - targetHz) / pixelHz)), 0);
        const double demodBefore = demodHz();
        drag(from, to);
        return waitFor(
                   [=, this] {
                       return flag("running") && std::abs(viewNumber("centerFreqHz") - targetHz) < 2 * pixelHz;
                   },
                   20000, u"the drag to retune the centre beside the station"_s)
               && check(demodHz() == demodBefore, u"the drag moved the demodulator"_s) && click(u"rate5"_s)
               && waitFor([this] { return flag("running") && viewSpanHz() == 5e6; }, 20000, u"live frames of 5 MHz"_s)
               && (QTest::qWait(5000), true)
               && waitFor([] { return probe_recording::recordedFrames() >= probe_recording::kRecordingHeard; },
                          kEventWaitMs, u"the recording to hold what is listened to"_s);
    }

    bool stopAndListen()
    {
        key(Qt::Key_Space);
        if (!waitForFlag("running", false))
            return false;
        const QString missing = probe_recording::stationTonesMissing();
        return missing.isEmpty() || fail(missing);
    }
};

void startProbe()
{
    startWindowProbe<ViewWindowProbe>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
