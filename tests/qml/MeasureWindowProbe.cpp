// Preloaded into the unmodified analyser to read the Measurements panel on the broadcast station
// of the start-up view (995.6 MHz, -46 dBFS on the default front end, in the flat part of the
// receiver's band where its response is -0.2 dB): the view narrowed to 1 MHz around it, the
// demodulator on it, the channel power over 1 MHz must read the station's level, its occupied
// bandwidth that of broadcast FM, the peak table's first row the station (a click on it adds a
// marker on it), and a reference offset of 10 dB must turn every level into dBm, 10 dB higher.
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

constexpr double kStationHz = 995.6e6;
// The simulator's level for the station and its band response there.
constexpr double kStationDbfs = -46.0 - 0.2;

class MeasureWindowProbe : public WindowProbe {
public:
    using WindowProbe::WindowProbe;

protected:
    bool scenario() override
    {
        return connectAndStart() && viewTheStation() && readTheStation() && clickAPeak() && readInDbm()
               && saveScreenshot();
    }

private:
    double viewNumber(const char* name) const { return property(view(), name); }

    // The first number of a readout line after `label`, NaN when it shows none.
    double reading(const QString& name, const QString& label) const
    {
        const QRegularExpression number(QRegularExpression::escape(label) + u"\\s+(-?[0-9.]+)"_s);
        const QRegularExpressionMatch match = number.match(text(name));
        return match.hasMatch() ? match.captured(1).toDouble() : std::nan("");
    }

    bool connectAndStart()
    {
        return click(u"connectButton"_s) && waitForFlag("connected", true) && click(u"startButton"_s)
               && waitForFlag("running", true);
    }

    bool viewTheStation()
    {
        // The span first: a view as wide as the band cannot move its centre.
        if (!click(u"viewPanelHeader"_s) || !typeInto(u"viewSpanField"_s, u"1M"_s)
            || !typeInto(u"viewCenterField"_s, u"995.6M"_s))
            return false;
        const auto shown = [this] {
            return std::abs(viewNumber("viewMaxFreqHz") - viewNumber("viewMinFreqHz") - 1e6) < 1
                   && std::abs(viewNumber("viewMinFreqHz") + 0.5e6 - kStationHz) < 1e3;
        };
        if (!waitFor(shown, kEventWaitMs, u"the view to show 1 MHz around the station"_s))
            return false;
        const double t = (kStationHz - viewNumber("viewMinFreqHz")) / 1e6;
        std::fprintf(stderr, "measure: view %.6f to %.6f MHz\n", viewNumber("viewMinFreqHz") / 1e6,
                     viewNumber("viewMaxFreqHz") / 1e6);
        // Apart from the last click by more than a double click's interval.
        QTest::qWait(600);
        QTest::mouseClick(window(), Qt::LeftButton, {},
                          view()->mapToScene(QPointF(t * (view()->width() - 1), view()->height() * 0.3)).toPoint());
        return waitFor([this] { return std::abs(property(controller(), "newDemodFreqHz") - kStationHz) < 5e3; },
                       kEventWaitMs, u"the demodulator to go to the station"_s);
    }

    bool readTheStation()
    {
        if (!click(u"measurementsPanelHeader"_s) || !click(u"measChannelBw1M"_s))
            return false;
        // Long enough for the averaging detector to settle on the station.
        QTest::qWait(3000);
        if (!waitFor([this] { return std::isfinite(reading(u"measChannel"_s, u"Channel"_s)); }, kEventWaitMs,
                     u"a channel power reading"_s))
            return false;
        const double channel = reading(u"measChannel"_s, u"Channel"_s);
        const QString obwText = text(u"measObw"_s);
        const double obwKHz = reading(u"measObw"_s, u"%"_s);
        std::fprintf(stderr, "measure: %s | %s | %s | %s | %s\n", qPrintable(text(u"measChannel"_s)),
                     qPrintable(obwText), qPrintable(text(u"measXdb"_s)), qPrintable(text(u"measAcp"_s)),
                     qPrintable(text(u"measNoise"_s)));
        return check(std::abs(channel - kStationDbfs) < 1.0,
                     u"channel power %1 dBFS, the station is at %2"_s.arg(channel).arg(kStationDbfs))
               && check(text(u"measChannel"_s).contains(u"dBFS"_s), u"the channel power is not in dBFS"_s)
               // Broadcast FM: 75 kHz deviation with a 53 kHz multiplex, some 150 to 300 kHz wide.
               && check(obwText.contains(u"kHz"_s) && obwKHz > 120 && obwKHz < 320, u"occupied bandwidth "_s + obwText)
               && check(std::isfinite(reading(u"measNoise"_s, u"MHz"_s)), u"no noise marker reading"_s);
    }

    bool clickAPeak()
    {
        auto* model = qobject_cast<QAbstractItemModel*>(controller()->property("markersModel").value<QObject*>());
        if (!model || !waitFor([this] { return item(u"peakRow0"_s) != nullptr; }, kEventWaitMs, u"a peak table"_s))
            return fail(u"no marker model or no peak table"_s);
        const QString row = item(u"peakRow0"_s)->childItems().value(0)->property("text").toString();
        const double peakMHz = row.section(u' ', 1, 1, QString::SectionSkipEmpty).toDouble();
        std::fprintf(stderr, "measure: first peak row \"%s\"\n", qPrintable(row));
        const int before = model->rowCount();
        return check(std::abs(peakMHz * 1e6 - kStationHz) < 150e3, u"the strongest peak is not the station: "_s + row)
               && click(u"peakRow0"_s)
               && waitFor([=] { return model->rowCount() == before + 1; }, kEventWaitMs, u"a marker on the peak"_s)
               // With the test tones the station is a comb of lines of nearly one level, which may
               // change places in the table from frame to frame: the row clicked is one of them.
               && check(std::abs(model->data(model->index(before, 0), 258).toDouble() - kStationHz) < 150e3,
                        u"the new marker is not on the station"_s);
    }

    bool readInDbm()
    {
        const double dbfs = reading(u"measChannel"_s, u"Channel"_s);
        if (!typeInto(u"measOffsetField"_s, u"10"_s))
            return false;
        return waitFor([this] { return text(u"measChannel"_s).contains(u"dBm"_s); }, kEventWaitMs,
                       u"the channel power in dBm"_s)
               && check(std::abs(reading(u"measChannel"_s, u"Channel"_s) - (dbfs + 10.0)) < 1.0,
                        u"the offset did not raise the channel power by 10 dB: "_s + text(u"measChannel"_s))
               && textIs(u"levelUnit"_s, u"dBm"_s);
    }
};

void startProbe()
{
    startWindowProbe<MeasureWindowProbe>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
