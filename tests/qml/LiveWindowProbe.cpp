// Preloaded into the unmodified analyser to drive its main window and read it back: connect
// and start through the device panel, wait for live data from the simulated receiver, check
// the status bars and rulers, then add a marker through the model, drag it and read its
// readout. With RTSA_PROBE_SCREENSHOT set, it saves the window to that file before stopping.
#include "WindowProbe.h"
#include "tests/support/EventWait.h"

#include <QAbstractItemModel>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QtTest/QTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// What the marker readout shows of a frequency near 1 GHz, worked out here independently: to
// the kHz.
QString gigaText(double hz)
{
    return QString::number(hz / 1e9, 'f', 6);
}

class LiveWindowProbe : public WindowProbe {
public:
    using WindowProbe::WindowProbe;

protected:
    bool scenario() override
    {
        return connectAndStart() && checkStatusBars() && checkAutoAdjust() && checkRulers() && checkMarkers()
               && screenshotAt20() && stop();
    }

private:
    double viewNumber(const char* name) const { return property(view(), name); }

    bool connectAndStart()
    {
        if (!click(u"connectButton"_s)
            || !waitFor([this] { return controller()->property("connected").toBool(); }, 20000,
                        u"the receiver to connect"_s)
            || !textIs(u"connectButton"_s, u"Disconnect"_s) || !click(u"startButton"_s))
            return false;
        // Live data: acquisition has replaced the demonstration spectrum and frames are counted.
        return waitFor(
                   [this] {
                       return controller()->property("running").toBool() && !view()->property("demo").toBool()
                              && controller()->property("fps").toDouble() > 0 && viewNumber("rbwHz") > 0;
                   },
                   30000, u"live frames"_s)
               && waitFor([this] { return text(u"fpsText"_s) != u"FPS: 0.0"_s; }, kEventWaitMs,
                          u"the frame rate to show"_s);
    }

    bool checkStatusBars()
    {
        bool ok = textIs(u"detectorText"_s, u"Det: Avg(20)"_s);
        ok &= textIs(u"fftText"_s, u"FFT: %1"_s.arg(controller()->property("fftSize").toInt()));
        ok &= textMatches(u"fpsText"_s, u"^FPS: \\d+\\.\\d$"_s);
        ok &= textMatches(u"dspLoadText"_s, u"^DSP ring: \\d+\\.\\d%$"_s);
        ok &= textIs(u"maxFpsText"_s, u"MaxFPS: 30"_s);
        ok &= textIs(u"vbwText"_s, u"VBW: 0.0 Hz"_s);
        ok &= textIs(u"deviceSummaryText"_s, u"Port 1  |  Rate/BW 20 MSps  |  ATT 0 dB  |  Pre 20 dB  |  IF 30 dB"_s);
        // The RBW of a 20 MS/s spectrum aimed at 10 kHz is some kHz; the text is the item's value.
        const QString rbw = text(u"rbwText"_s);
        const QRegularExpressionMatch m = QRegularExpression(u"^RBW: (\\d+\\.\\d{3}) kHz$"_s).match(rbw);
        ok &= check(m.hasMatch() && std::abs(m.captured(1).toDouble() * 1e3 - viewNumber("rbwHz")) < 0.5,
                    u"rbwText reads \"%1\" for an RBW of %2 Hz"_s.arg(rbw).arg(viewNumber("rbwHz")));
        ok &= check(!text(u"deviceStatusText"_s).startsWith(u"status: idle"_s), u"the status line never changed"_s);
        return ok;
    }

    // An RBW target finer than the receiver can resolve, chosen as the spectrum panel chooses
    // one: the controller clamps it and says so, the window shows the message in the AUTO badge
    // and draws the RBW in the highlight colour until the user's own choice is back.
    bool checkAutoAdjust()
    {
        const QString normal = u"#8aa2b2"_s;
        bool ok = check(!item(u"autoBadge"_s)->isVisible(), u"AUTO badge before any adjustment"_s)
                  && check(colorName(u"rbwText"_s) == normal, u"RBW highlighted at start"_s);
        state()->setProperty("lastUserRbwTargetHz", 100.0);
        controller()->setProperty("rbwTargetHz", 100.0);
        ok = ok && waitFor([this] { return item(u"autoBadge"_s)->isVisible(); }, kEventWaitMs, u"the AUTO badge"_s)
             && textMatches(u"autoBadgeText"_s, u"^AUTO: RBW target too low, clamped to \\d+\\.\\d{3} kHz$"_s)
             && check(colorName(u"rbwText"_s) == u"#e4b55e"_s, u"RBW not highlighted after the clamp"_s);
        state()->setProperty("lastUserRbwTargetHz", 10000.0);
        controller()->setProperty("rbwTargetHz", 10000.0);
        return ok && check(colorName(u"rbwText"_s) == normal, u"RBW still highlighted with the user's choice back"_s);
    }

    // The rulers follow the receiver: 20 MS/s around 1 GHz, then 10 MS/s chosen in the panel.
    bool checkRulers()
    {
        bool ok = textIs(u"frequencyTick0"_s, u"0.990"_s) && textIs(u"frequencyTick5"_s, u"1.000 GHz"_s)
                  && textIs(u"frequencyTick10"_s, u"1.010"_s);
        ok = ok && click(u"rate10"_s)
             && waitFor([this] { return viewNumber("maxFreqHz") - viewNumber("minFreqHz") == 10e6; }, 20000,
                        u"the 10 MHz span"_s)
             && textIs(u"frequencyTick0"_s, u"0.995"_s) && textIs(u"frequencyTick10"_s, u"1.005"_s)
             && textIs(u"deviceSummaryText"_s, u"Port 1  |  Rate/BW 10 MSps  |  ATT 0 dB  |  Pre 20 dB  |  IF 30 dB"_s);
        ok = ok && check(!item(u"timeRuler"_s)->isVisible(), u"time ruler without waterfall"_s);
        controller()->setProperty("waterfallEnabled", true);
        return ok && check(item(u"timeRuler"_s)->isVisible(), u"no time ruler with waterfall"_s)
               && textIs(u"timeRulerNow"_s, u"Now"_s) && textIs(u"timeRulerDepth"_s, u"-10s"_s);
    }

    // The frequency of the first marker in the model, read by role as every view reads it.
    static double markerFreqHz(QObject* model)
    {
        auto* list = qobject_cast<QAbstractItemModel*>(model);
        return list && list->rowCount() > 0 ? list->data(list->index(0, 0), 258).toDouble() : NAN;
    }

    bool checkMarkers()
    {
        auto* model = controller()->property("markersModel").value<QObject*>();
        if (!model)
            return fail(u"the controller has no markersModel"_s);
        const double startHz = 1001e6;
        QMetaObject::invokeMethod(model, "addMarker", Q_ARG(int, 1), Q_ARG(double, startHz),
                                  Q_ARG(QString, u"#4FC3F7"_s));
        if (!waitFor([this] { return item(u"marker1"_s) && item(u"markerReadout1"_s); }, kEventWaitMs,
                     u"marker 1 on the spectrum"_s))
            return false;
        // To the kHz the 4.9 kHz bins of 2048 points at 10 MS/s support, and the marker's level.
        bool ok = textMatches(u"markerReadout1"_s, u"^M1  %1 GHz  -\\d+\\.\\d dB$"_s.arg(gigaText(startHz)));

        // Where a press on the overlay puts a marker, worked out from the view's span.
        QQuickItem* overlay = item(u"marker1"_s)->parentItem();
        const double minHz = viewNumber("minFreqHz");
        const double spanHz = viewNumber("maxFreqHz") - minHz;
        auto freqAt = [&](QPoint scene) {
            return minHz + overlay->mapFromScene(QPointF(scene)).x() / (overlay->width() - 1) * spanHz;
        };

        // Dragged 150 px to the right, the marker lands on the frequency under the pointer.
        const QPoint from = centreOf(item(u"marker1"_s));
        const QPoint to = from + QPoint(150, 0);
        drag(from, to);
        const double draggedHz = markerFreqHz(model);
        ok &= check(std::abs(draggedHz - freqAt(to)) < 1.0,
                    u"dragged marker at %1 Hz, expected %2 Hz"_s.arg(draggedHz, 0, 'f', 1).arg(freqAt(to), 0, 'f', 1));
        ok &= waitFor([&] { return text(u"markerReadout1"_s).contains(gigaText(draggedHz)); }, kEventWaitMs,
                      u"the readout to follow the drag"_s);
        ok &= check(std::abs(centreOf(item(u"marker1"_s)).x() - to.x()) <= 1, u"the marker line stayed behind"_s);

        // A marker following the peak cannot be dragged away from it: the drag moves the
        // spectrum instead, and the receiver retunes.
        QMetaObject::invokeMethod(model, "setMarkerAutoPeak", Q_ARG(int, 1), Q_ARG(bool, true));
        QTest::qWait(300);
        const QPoint peak = centreOf(item(u"marker1"_s));
        const bool rightHalf = peak.x() > overlay->mapToScene(QPointF(overlay->width() / 2, 0)).x();
        const QPoint away = peak + QPoint(rightHalf ? -200 : 200, 0);
        drag(peak, away);
        ok &= check(std::abs(markerFreqHz(model) - freqAt(away)) > spanHz / 100, u"an auto-peak marker was dragged"_s);
        ok &= waitFor(
            [&] {
                return controller()->property("running").toBool()
                       && std::abs(viewNumber("centerFreqHz") - 1000e6) > spanHz / 10;
            },
            20000, u"the drag to retune the centre"_s);
        QMetaObject::invokeMethod(model, "setMarkerAutoPeak", Q_ARG(int, 1), Q_ARG(bool, false));
        return ok;
    }

    bool stop()
    {
        return click(u"stopButton"_s)
               && waitFor([this] { return !controller()->property("running").toBool(); }, 10000,
                          u"acquisition to stop"_s);
    }

    // Back at 20 MS/s, long enough for the waterfall to fill its part of the view.
    bool screenshotAt20()
    {
        if (qEnvironmentVariableIsEmpty("RTSA_PROBE_SCREENSHOT"))
            return true;
        if (!click(u"rate20"_s))
            return false;
        QTest::qWait(12000);
        return saveScreenshot();
    }
};

void startProbe()
{
    startWindowProbe<LiveWindowProbe>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
