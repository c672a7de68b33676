// Markers end to end on the simulated receiver that the build puts beside this test.
#include "app/RtsaController.h"
#include "display/SpectrumItem.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

Marker markerOf(RtsaController& c, int row)
{
    return c.markersModel()->snapshot().at(static_cast<std::size_t>(row));
}

} // namespace

class MarkerSimulatorTest : public QObject {
    Q_OBJECT

private slots:
    void markerToCenterBeforeAnyFrameIsZero()
    {
        RtsaController c;
        c.addMarker(1, 123e6, "#4FC3F7");
        c.markerToCenter(1);
        QCOMPARE(markerOf(c, 0).freqHz, 0.0);
    }

    void autoPeakFindsTheStationAndJumpCentresOnIt()
    {
        QList<double> centres;
        auto item = std::make_unique<SpectrumItem>();
        RtsaController c;
        connect(&c, &RtsaController::centerFreqChanged, &c, [&centres](double mhz) { centres << mhz; });
        c.setSpectrumItem(item.get());
        QVERIFY(c.connectDevice());
        // The front-end settings the simulator's levels are given for.
        c.applyParams(1000.0, 20.0, 0, 0, 20, 30);
        QVERIFY(c.startRx());

        c.addMarker(1, 1000e6, "#4FC3F7");
        c.setMarkerAutoPeak(1, true);
        // A manual marker in a quiet stretch reads the noise floor there.
        c.addMarker(2, 998.5e6, "#FF0000");
        QTRY_COMPARE(c.markersModel()->lastCenterFreqHz(), 1000e6);
        // Twenty spectra averaged per published trace, so wait for a full history.
        QTest::qWait(500);
        const Marker station = markerOf(c, 0);
        QVERIFY2(std::abs(station.freqHz - 995.6e6) < 100e3, qPrintable(QString::number(station.freqHz)));
        const Marker quiet = markerOf(c, 1);
        QCOMPARE(quiet.freqHz, 998.5e6);
        QVERIFY2(station.ampDb > quiet.ampDb + 20.0,
                 qPrintable(QStringLiteral("%1 vs %2").arg(station.ampDb).arg(quiet.ampDb)));

        // Stop the marker following the peak, then centre the receiver on it.
        c.setMarkerAutoPeak(1, false);
        const double target = markerOf(c, 0).freqHz;
        c.jumpCenterToMarker(1);
        QTRY_VERIFY(!centres.isEmpty() && centres.last() == target / 1e6);
        QCOMPARE(markerOf(c, 0).freqHz, target);
        // The receiver takes whole hertz.
        QTRY_VERIFY(std::abs(c.markersModel()->lastCenterFreqHz() - target) < 1.0);
        QTRY_VERIFY(std::abs(frameCenter(*item) - target) < 1.0);
        // Now in the middle of the span, the station still reads strong at the marker.
        QTRY_VERIFY(markerOf(c, 0).ampDb > markerOf(c, 1).ampDb + 20.0);
        c.stopRx();
    }

private:
    static double frameCenter(SpectrumItem& item)
    {
        SpectrumFrame frame;
        item.snapshotFrame(frame);
        return frame.centerHz;
    }
};

QTEST_MAIN(MarkerSimulatorTest)
#include "MarkerSimulatorTest.moc"
