// Preloaded into the unmodified analyser, started twice in a row with one configuration folder
// (live-window-test.sh ... 2). The first run types frequencies into the centre field, checks
// that the columns hold still while the status changes, and changes settings with the mouse;
// the second finds them again after the restart and connects with the kept front end.
#include "WindowProbe.h"
#include "tests/support/EventWait.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QQuickItem>
#include <QtTest/QTest>

#include <cmath>
#include <map>

using namespace Qt::StringLiterals;

namespace {

class FormsWindowProbe : public WindowProbe {
public:
    using WindowProbe::WindowProbe;

protected:
    bool scenario() override
    {
        if (qEnvironmentVariableIntValue("RTSA_PROBE_RUN") <= 1)
            return firstRun();
        return secondRun();
    }

private:
    // Controls below the device status in the left column, and the spectrum above the bottom
    // bar: any change of a status' height would move one of them.
    const QStringList m_still{u"viewPanelHeader"_s, u"waterfallPanelHeader"_s, u"spectrumView"_s};

    std::map<QString, QRectF> placesOf(const QStringList& names) const
    {
        std::map<QString, QRectF> places;
        for (const QString& name : names) {
            const QQuickItem* found = item(name);
            places[name] = found ? found->mapRectToScene(QRectF(0, 0, found->width(), found->height())) : QRectF();
        }
        return places;
    }

    bool heldStill(const std::map<QString, QRectF>& before, const QString& when)
    {
        bool ok = true;
        for (const auto& [name, place] : placesOf(m_still)) {
            const QRectF was = before.at(name);
            ok &= check(!place.isNull() && place == was,
                        u"%1 moved %2: (%3,%4 %5x%6) -> (%7,%8 %9x%10)"_s.arg(name, when)
                            .arg(was.x()).arg(was.y()).arg(was.width()).arg(was.height())
                            .arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height()));
        }
        return ok;
    }

    double viewNumber(const char* name) const { return property(view(), name); }

    bool connectAndStart()
    {
        return click(u"connectButton"_s)
               && waitFor([this] { return controller()->property("connected").toBool(); }, 20000,
                          u"the receiver to connect"_s)
               && click(u"startButton"_s)
               && waitFor([this] { return controller()->property("running").toBool() && viewNumber("rbwHz") > 0; },
                          kEventWaitMs, u"live frames"_s);
    }

    bool showsCentre(double hz, const QString& what)
    {
        return waitFor([&] { return std::abs(viewNumber("centerFreqHz") - hz) < 1.0; }, kEventWaitMs, what);
    }

    bool firstRun()
    {
        const auto idle = placesOf(m_still);
        const double statusHeight = item(u"deviceStatusText"_s)->height();
        if (!connectAndStart())
            return false;
        // The receiver's applied settings make a line far wider than the column, the RX thread's
        // figures arrive each second: the columns stay where they were.
        bool ok = waitFor([this] { return text(u"deviceStatusText"_s).startsWith(u"status: Applied RZ640"_s)
                                          || !text(u"rxStatusText"_s).isEmpty(); },
                          kEventWaitMs, u"status lines"_s);
        ok &= waitFor([this] { return !text(u"rxStatusText"_s).isEmpty(); }, kEventWaitMs, u"the RX figures"_s);
        ok &= check(item(u"deviceStatusText"_s)->height() == statusHeight, u"the device status changed height"_s);
        ok &= heldStill(idle, u"once connected"_s);

        // A frequency typed with its unit tunes with Enter; text that is none is refused.
        ok = ok && typeInto(u"centerFreqField"_s, u"99.4M"_s) && showsCentre(99.4e6, u"the view at 99.4 MHz"_s)
             && textIs(u"centerFreqField"_s, u"99.400000"_s);
        ok = ok && typeInto(u"centerFreqField"_s, u"abc"_s)
             && waitFor([this] { return item(u"centerFreqFieldError"_s)->isVisible(); }, kEventWaitMs,
                        u"the refusal under the centre field"_s)
             && textMatches(u"centerFreqFieldErrorText"_s, u"^\"abc\" is not a frequency"_s)
             && textIs(u"centerFreqField"_s, u"99.400000"_s) && showsCentre(99.4e6, u"the view to stay at 99.4 MHz"_s)
             && heldStill(idle, u"with the refusal shown"_s);

        // Settings chosen with the mouse, to be found again after the restart.
        ok = ok && click(u"rate10"_s)
             && waitFor([this] { return viewNumber("maxFreqHz") - viewNumber("minFreqHz") == 10e6; }, kEventWaitMs,
                        u"the 10 MHz span"_s)
             && click(u"att10"_s) && click(u"markersPanelHeader"_s) && click(u"addMarkerButton"_s)
             && noteMarker() && click(u"logPanelHeader"_s) && click(u"logLevelWarnings"_s) && heldStill(idle, u"at the end"_s);
        return ok && click(u"stopButton"_s)
               && waitFor([this] { return !controller()->property("running").toBool(); }, kEventWaitMs,
                          u"acquisition to stop"_s);
    }

    // Where the first run's marker landed (on a peak), for the second run to find it there; both
    // runs work in the same folder.
    static QString markerNoteFile() { return QStringLiteral("forms-probe-marker.txt"); }

    bool noteMarker()
    {
        auto* markers = qobject_cast<QAbstractItemModel*>(controller()->property("markersModel").value<QObject*>());
        if (!check(markers && markers->rowCount() == 1, u"no marker added"_s))
            return false;
        QFile note(markerNoteFile());
        return check(note.open(QIODevice::WriteOnly)
                         && note.write(QByteArray::number(markers->data(markers->index(0, 0), 258).toDouble(), 'f', 1)) > 0,
                     u"the marker's frequency could not be noted"_s);
    }

    static double notedMarkerHz()
    {
        QFile note(markerNoteFile());
        return note.open(QIODevice::ReadOnly) ? note.readAll().toDouble() : NAN;
    }

    bool secondRun()
    {
        auto* markers = qobject_cast<QAbstractItemModel*>(controller()->property("markersModel").value<QObject*>());
        bool ok = textIs(u"centerFreqField"_s, u"99.400000"_s)
                  && textIs(u"deviceSummaryText"_s,
                            u"Port 1  |  Rate/BW 10 MSps  |  ATT 10 dB  |  Pre 20 dB  |  IF 30 dB"_s)
                  && check(item(u"markersPanel"_s)->property("expanded").toBool(), u"the markers panel folded"_s)
                  && check(item(u"logPanel"_s)->property("expanded").toBool(), u"the log panel folded"_s)
                  && check(!item(u"dspPanel"_s)->property("expanded").toBool(), u"the DSP panel opened"_s)
                  && check(state()->property("logMinLevel").toInt() == 2, u"the log filter not kept"_s)
                  && check(markers && markers->rowCount() == 1, u"the marker is gone"_s)
                  && check(std::abs(markers->data(markers->index(0, 0), 258).toDouble() - notedMarkerHz()) < 1.0,
                           u"the marker moved"_s);
        // Connect sends the kept front end: the receiver comes up at 99.4 MHz with 10 MHz.
        ok = ok && connectAndStart() && showsCentre(99.4e6, u"the kept centre"_s)
             && waitFor([this] { return viewNumber("maxFreqHz") - viewNumber("minFreqHz") == 10e6; }, kEventWaitMs,
                        u"the kept 10 MHz span"_s);
        return ok && click(u"stopButton"_s)
               && waitFor([this] { return !controller()->property("running").toBool(); }, kEventWaitMs,
                          u"acquisition to stop"_s);
    }
};

void startProbe()
{
    startWindowProbe<FormsWindowProbe>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
