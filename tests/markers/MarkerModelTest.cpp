#include "markers/MarkerModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kFreqRole = MarkerModel::FreqHzRole;
constexpr int kAmpRole = MarkerModel::AmpDbRole;

// Centre 100 MHz, span 20 MHz, 1000 bins: 20 kHz bins from 90 MHz; every bin a different level.
std::vector<float> rampTrace()
{
    std::vector<float> trace(1000);
    for (std::size_t i = 0; i < trace.size(); ++i)
        trace[i] = -110.0f + 0.05f * static_cast<float>(i);
    return trace;
}

// What the spectrum thread hands over for this trace at centre 100 MHz, 20 MHz span.
MarkerFrameUpdate readTrace(const std::vector<Marker>& markers, const std::vector<float>& trace)
{
    PeakReadout readout;
    return markerFrameUpdate(markers, trace, readout.update(trace, 100e6, 20e6, trace.size()), 100e6);
}

double freqOf(const MarkerModel& model, int row)
{
    return model.data(model.index(row), kFreqRole).toDouble();
}

double ampOf(const MarkerModel& model, int row)
{
    return model.data(model.index(row), kAmpRole).toDouble();
}

// A model under Qt's model checker for the whole test, holding markers at these frequencies
// with ids 1, 2, 3, ... in this order.
struct CheckedModel {
    explicit CheckedModel(std::initializer_list<double> freqsHz = {})
    {
        int id = 1;
        for (const double hz : freqsHz)
            model.addMarker(id++, hz, QStringLiteral("#4FC3F7"));
    }

    MarkerModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

QList<int> rolesOf(const QSignalSpy& spy, int emission)
{
    return spy.at(emission).at(2).value<QList<int>>();
}

} // namespace

class MarkerModelTest : public QObject {
    Q_OBJECT

private slots:
    void insertThenUpdateTheSameId()
    {
        CheckedModel checked;
        MarkerModel& model = checked.model;
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        model.addMarker(1, 100e6, "#4FC3F7");
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 0);
        QCOMPARE(model.rowCount(), 1);
        const QModelIndex row0 = model.index(0);
        QCOMPARE(model.data(row0, MarkerModel::IdRole).toInt(), 1);
        QCOMPARE(model.data(row0, kFreqRole).toDouble(), 100e6);
        QCOMPARE(model.data(row0, kAmpRole).toDouble(), -120.0);
        QCOMPARE(model.data(row0, MarkerModel::ColorRole).toString(), QStringLiteral("#4FC3F7"));
        QCOMPARE(model.data(row0, MarkerModel::AutoPeakEnabledRole).toBool(), false);

        // The same id again moves and recolours it; level and auto-peak stay.
        model.setMarkerAutoPeak(1, true);
        changed.clear();
        model.addMarker(1, 101e6, "#FF0000");
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(changed.count(), 1);
        QVERIFY(rolesOf(changed, 0).isEmpty());
        QCOMPARE(freqOf(model, 0), 101e6);
        QCOMPARE(model.data(row0, MarkerModel::ColorRole).toString(), QStringLiteral("#FF0000"));
        QCOMPARE(ampOf(model, 0), -120.0);
        QCOMPARE(model.data(row0, MarkerModel::AutoPeakEnabledRole).toBool(), true);
    }

    void removeFromTheMiddle()
    {
        CheckedModel checked{91e6, 92e6, 93e6};
        MarkerModel& model = checked.model;
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        model.removeMarker(2);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), 1);
        QCOMPARE(removed.at(0).at(2).toInt(), 1);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(1), MarkerModel::IdRole).toInt(), 3);
        QCOMPARE(freqOf(model, 1), 93e6);
    }

    void unknownIdsChangeAndEmitNothing()
    {
        CheckedModel checked{91e6, 0.0};
        MarkerModel& model = checked.model;
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy centre(&model, &MarkerModel::requestCenterTo);
        model.removeMarker(7);
        model.setMarkerFreq(7, 1e6);
        model.setMarkerAutoPeak(7, true);
        model.setMarkerColor(7, "x");
        model.markerToPeak(7);
        model.markerToCenter(7);
        model.jumpCenterToMarker(7);
        // A marker at 0 Hz is nowhere to tune to.
        model.jumpCenterToMarker(2);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(centre.count(), 0);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(freqOf(model, 0), 91e6);
        QCOMPARE(model.data(model.index(0), MarkerModel::AutoPeakEnabledRole).toBool(), false);
    }

    void dataOutsideTheRolesAndRows()
    {
        CheckedModel checked{91e6, 92e6};
        MarkerModel& model = checked.model;
        const QModelIndex second = model.index(1);
        QVERIFY(!model.data(model.index(0), Qt::UserRole).isValid());
        QVERIFY(!model.data(model.index(0), MarkerModel::AutoPeakEnabledRole + 1).isValid());
        QVERIFY(!model.data(QModelIndex(), kFreqRole).isValid());
        model.removeMarker(1);
        // An index kept from before now points one past the last row.
        QCOMPARE(second.row(), model.rowCount());
        QVERIFY(!model.data(second, kFreqRole).isValid());
        QCOMPARE(model.rowCount(model.index(0)), 0);

        const QHash<int, QByteArray> names = model.roleNames();
        QCOMPARE(names.size(), 5);
        QCOMPARE(names.value(257), QByteArray("id"));
        QCOMPARE(names.value(258), QByteArray("freqHz"));
        QCOMPARE(names.value(259), QByteArray("ampDb"));
        QCOMPARE(names.value(260), QByteArray("color"));
        QCOMPARE(names.value(261), QByteArray("autoPeakEnabled"));
    }

    void zeroAndNegativeIdsAreOrdinary()
    {
        CheckedModel checked;
        MarkerModel& model = checked.model;
        model.addMarker(0, 90e6, "a");
        model.addMarker(-5, 95e6, "b");
        model.addMarker(-5, 96e6, "b");
        QCOMPARE(model.rowCount(), 2);
        model.setMarkerColor(-5, "c");
        QCOMPARE(model.data(model.index(1), MarkerModel::ColorRole).toString(), QStringLiteral("c"));
        model.removeMarker(0);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0), MarkerModel::IdRole).toInt(), -5);
        QCOMPARE(freqOf(model, 0), 96e6);
    }

    void settersEmitTheirOneRoleEvenWithoutAChange()
    {
        CheckedModel checked{91e6, 92e6};
        MarkerModel& model = checked.model;
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setMarkerFreq(2, 92e6);
        model.setMarkerAutoPeak(2, false);
        model.setMarkerColor(2, "#4FC3F7");
        QCOMPARE(changed.count(), 3);
        QCOMPARE(rolesOf(changed, 0), QList<int>({258}));
        QCOMPARE(rolesOf(changed, 1), QList<int>({261}));
        QCOMPARE(rolesOf(changed, 2), QList<int>({260}));
        for (const QList<QVariant>& emission : changed) {
            QCOMPARE(emission.at(0).value<QModelIndex>().row(), 1);
            QCOMPARE(emission.at(1).value<QModelIndex>().row(), 1);
        }
    }

    void peakAndCentreCommandsUseTheLatestAppliedTrace()
    {
        CheckedModel checked{95e6};
        MarkerModel& model = checked.model;
        model.markerToPeak(1);
        QCOMPARE(freqOf(model, 0), 0.0);
        model.addMarker(1, 95e6, "a");
        model.markerToCenter(1);
        QCOMPARE(freqOf(model, 0), 0.0);

        std::vector<float> trace(1000, -100.0f);
        trace[100] = -10.0f;
        model.applyFrameUpdate(readTrace(model.snapshot(), trace));
        QCOMPARE(model.lastPeakFreqHz(), 92e6);
        QCOMPARE(model.lastCenterFreqHz(), 100e6);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.markerToPeak(1);
        QCOMPARE(freqOf(model, 0), 92e6);
        model.markerToCenter(1);
        QCOMPARE(freqOf(model, 0), 100e6);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(rolesOf(changed, 1), QList<int>({258}));

        // Jumping asks for the marker's frequency and leaves the marker where it is.
        QSignalSpy centre(&model, &MarkerModel::requestCenterTo);
        model.setMarkerFreq(1, 95.5e6);
        model.jumpCenterToMarker(1);
        QCOMPARE(centre.count(), 1);
        QCOMPARE(centre.at(0).at(0).toDouble(), 95.5e6);
        QCOMPARE(freqOf(model, 0), 95.5e6);
    }

    void frameUpdateReadsTheNearestBinAndReportsOnlyChanges()
    {
        CheckedModel checked{90.01e6, 80e6, 120e6, 100e6};
        MarkerModel& model = checked.model;
        const std::vector<float> trace = rampTrace();
        // Marker 4 already shows what the trace will say at its bin.
        model.applyFrameUpdate(readTrace(model.snapshot(), trace));

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        std::vector<float> moved = trace;
        moved[0] = -1.0f;
        moved[1] = -2.0f;
        moved[999] = -3.0f;
        model.applyFrameUpdate(readTrace(model.snapshot(), moved));
        QCOMPARE(ampOf(model, 0), -2.0);
        QCOMPARE(ampOf(model, 1), -1.0);
        QCOMPARE(ampOf(model, 2), -3.0);
        QCOMPARE(freqOf(model, 1), 80e6);
        QCOMPARE(freqOf(model, 2), 120e6);
        QCOMPARE(ampOf(model, 3), static_cast<double>(trace[500]));
        // Rows 0 to 2 changed, row 3 did not.
        QCOMPARE(changed.count(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(changed.at(i).at(0).value<QModelIndex>().row(), i);
            QCOMPARE(rolesOf(changed, i), QList<int>({258, 259}));
        }

        // The same trace again: nothing to report.
        changed.clear();
        model.applyFrameUpdate(readTrace(model.snapshot(), moved));
        QCOMPARE(changed.count(), 0);
    }

    void autoPeakMarkerMovesInTheSameUpdateAndStaysWhenSwitchedOff()
    {
        CheckedModel checked{95e6};
        MarkerModel& model = checked.model;
        model.setMarkerAutoPeak(1, true);
        std::vector<float> trace(1000, -100.0f);
        trace[300] = -20.0f;
        trace[700] = -20.0f;
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.applyFrameUpdate(readTrace(model.snapshot(), trace));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(freqOf(model, 0), 96e6);
        QCOMPARE(ampOf(model, 0), -20.0);

        model.setMarkerAutoPeak(1, false);
        std::vector<float> elsewhere(1000, -100.0f);
        elsewhere[800] = -10.0f;
        elsewhere[300] = -50.0f;
        model.applyFrameUpdate(readTrace(model.snapshot(), elsewhere));
        QCOMPARE(freqOf(model, 0), 96e6);
        QCOMPARE(ampOf(model, 0), -50.0);
    }

    void userChangesBetweenSnapshotAndApplySurvive()
    {
        CheckedModel checked{95e6, 96e6, 97e6};
        MarkerModel& model = checked.model;
        model.setMarkerAutoPeak(3, true);
        const std::vector<float> trace = rampTrace();
        const MarkerFrameUpdate late = readTrace(model.snapshot(), trace);

        // Meanwhile on this thread: marker 1 moved, marker 2 removed, auto-peak of 3 switched off.
        model.setMarkerFreq(1, 105e6);
        model.removeMarker(2);
        model.setMarkerAutoPeak(3, false);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.applyFrameUpdate(late);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(freqOf(model, 0), 105e6);
        QCOMPARE(ampOf(model, 0), -120.0);
        QCOMPARE(freqOf(model, 1), 97e6);

        // The next trace reads them where they are now.
        model.applyFrameUpdate(readTrace(model.snapshot(), trace));
        QCOMPARE(ampOf(model, 0), static_cast<double>(trace[750]));
        QCOMPARE(ampOf(model, 1), static_cast<double>(trace[350]));
    }

    void updatePostedFromAnotherThreadIsAppliedOnTheModelsThread()
    {
        MarkerModel model;
        model.addMarker(1, 95e6, "a");
        QThread* applyingThread = nullptr;
        connect(&model, &QAbstractItemModel::dataChanged, &model,
                [&applyingThread] { applyingThread = QThread::currentThread(); }, Qt::DirectConnection);
        const std::vector<float> trace = rampTrace();
        std::thread spectrum([&] { model.postFrameUpdate(readTrace(model.snapshot(), trace)); });
        spectrum.join();
        QCOMPARE(ampOf(model, 0), -120.0);
        QTRY_COMPARE(ampOf(model, 0), static_cast<double>(trace[250]));
        QCOMPARE(applyingThread, QThread::currentThread());

        // An update still queued when the model goes is dropped with it.
        auto gone = std::make_unique<MarkerModel>();
        gone->addMarker(1, 95e6, "a");
        std::thread late([&] { gone->postFrameUpdate(readTrace(gone->snapshot(), trace)); });
        late.join();
        gone.reset();
        QCoreApplication::processEvents();
    }
};

QTEST_GUILESS_MAIN(MarkerModelTest)
#include "MarkerModelTest.moc"
