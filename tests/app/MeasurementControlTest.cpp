// The measurements as the window sees them: frames measured on the spectrum thread's side come
// back as results with the receiver's reference offset, which belongs to the receiver and front
// end it was set for.
#include "app/MeasurementControl.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace {

// 100 bins of 1 kHz from 99.955 MHz at -60 dB, with -20 dB in the ten from 100 MHz up.
SpectrumFrame stationFrame()
{
    SpectrumFrame frame;
    frame.trace.assign(100, -60.0f);
    for (std::size_t i = 45; i < 55; ++i)
        frame.trace[i] = -20.0f;
    frame.startHz = 99.955e6;
    frame.binHz = 1e3;
    frame.rbwHz = 1.5e3;
    return frame;
}

} // namespace

class MeasurementControlTest : public QObject {
    Q_OBJECT

private slots:
    void resultsCarryTheReferenceOffsetOfTheReceiverInUse()
    {
        QString receiver = QStringLiteral("A port 0");
        MeasurementControl m([&receiver] { return receiver; });
        m.setChannelCentreHz(100.0045e6);
        m.setChannelBandwidthHz(10e3);
        QSignalSpy results(&m, &MeasurementControl::resultsChanged);

        // Off, a frame is not measured.
        m.takeFrame(stationFrame(), 3, 20);
        QCoreApplication::processEvents();
        QCOMPARE(results.count(), 0);

        m.setEnabled(true);
        m.takeFrame(stationFrame(), 3, 20);
        QVERIFY(results.wait(5000));
        // Ten bins of 0.01 over a noise bandwidth of 1.5 bins.
        const double dbfs = 10.0 * std::log10(10 * 0.01 / 1.5);
        QCOMPARE(m.results().value(QStringLiteral("unit")).toString(), QStringLiteral("dBFS"));
        QVERIFY(std::abs(m.results().value(QStringLiteral("channelPower")).toDouble() - dbfs) < 0.01);

        m.setReferenceOffsetDb(30.0);
        QCOMPARE(m.levelUnit(), QStringLiteral("dBm"));
        m.takeFrame(stationFrame(), 3, 20);
        QVERIFY(results.wait(5000));
        QVERIFY(std::abs(m.results().value(QStringLiteral("channelPower")).toDouble() - (dbfs + 30.0)) < 0.01);
        QCOMPARE(m.results().value(QStringLiteral("unit")).toString(), QStringLiteral("dBm"));
        const QVariantList peaks = m.results().value(QStringLiteral("peaks")).toList();
        QVERIFY(!peaks.isEmpty());
        QCOMPARE(peaks.front().toMap().value(QStringLiteral("level")).toDouble(), 10.0);

        // Another front end has no offset: back to dBFS, and the change is announced.
        QSignalSpy offset(&m, &MeasurementControl::referenceOffsetChanged);
        receiver = QStringLiteral("A port 1");
        m.takeFrame(stationFrame(), 3, 20);
        QVERIFY(results.wait(5000));
        QCOMPARE(offset.count(), 1);
        QCOMPARE(m.referenceOffsetDb(), 0.0);
        QVERIFY(std::abs(m.results().value(QStringLiteral("channelPower")).toDouble() - dbfs) < 0.01);

        // Setting 0 forgets the offset rather than keeping a 0 dBm reference.
        receiver = QStringLiteral("A port 0");
        QCOMPARE(m.referenceOffsetDb(), 30.0);
        m.setReferenceOffsetDb(0.0);
        QVERIFY(m.referenceOffsets().isEmpty());
    }

    void settingsAreClampedAndAnnouncedOnce()
    {
        MeasurementControl m([] { return QString(); });
        QSignalSpy changed(&m, &MeasurementControl::settingsChanged);
        m.setAcpPairs(9);
        QCOMPARE(m.acpPairs(), kMaxAdjacentPairs);
        m.setAcpPairs(9);
        m.setObwPercent(150.0);
        QCOMPARE(m.obwPercent(), measure_settings::obwPercent.max);
        m.setPeakCount(0);
        QCOMPARE(m.peakCount(), 1);
        m.setXDb(std::nan(""));
        QCOMPARE(m.xDb(), measure_settings::xDb.initial);
        QCOMPARE(changed.count(), 3);
    }

    void theLastMeasuredTraceExportsAsCsv()
    {
        MeasurementControl m([] { return QStringLiteral("A"); });
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("trace.csv"));
        QVERIFY(!m.exportTraceCsv(path));
        QVERIFY(!QFile::exists(path));

        m.setEnabled(true);
        m.setReferenceOffsetDb(-5.0);
        m.takeFrame(stationFrame(), 3, 20);
        QVERIFY(m.exportTraceCsv(path));
        std::ifstream in(path.toStdString());
        std::stringstream text;
        text << in.rdbuf();
        const std::string csv = text.str();
        QVERIFY(csv.starts_with("frequency_hz,level_dBm\n99955000.000,-65.000\n"));
        QCOMPARE(std::count(csv.begin(), csv.end(), '\n'), 101);
    }
};

QTEST_GUILESS_MAIN(MeasurementControlTest)
#include "MeasurementControlTest.moc"
