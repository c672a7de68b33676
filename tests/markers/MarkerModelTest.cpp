#include "markers/MarkerModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kFreq = MarkerModel::FreqHzRole;
constexpr int kAmp = MarkerModel::AmpDbRole;

// A model under Qt's model checker, with markers at these frequencies, ids 1, 2, 3, ...
struct CheckedModel {
    explicit CheckedModel(std::initializer_list<double> freqsHz = {})
    {
        int id = 1;
        for (const double hz : freqsHz)
            model.addMarker(id++, hz, QStringLiteral("#4FC3F7"));
    }

    double at(int row, int role) const { return model.data(model.index(row), role).toDouble(); }

    MarkerModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
};

// Centre 100 MHz, span 20 MHz, 1000 bins: 20 kHz bins from 90 MHz, each at its own level.
std::vector<float> rampTrace()
{
    std::vector<float> trace(1000);
    for (std::size_t i = 0; i < trace.size(); ++i)
        trace[i] = -110.0f + 0.05f * static_cast<float>(i);
    return trace;
}

// What the spectrum thread hands over for this trace.
MarkerFrameUpdate readTrace(const MarkerModel& model, const std::vector<float>& trace)
{
    PeakReadout readout;
    return markerFrameUpdate(model.snapshot(), trace, readout.update(trace, 100e6, 20e6, trace.size()), 100e6);
}

QList<int> rolesOf(const QSignalSpy& spy, int emission)
{
    return spy.at(emission).at(2).value<QList<int>>();
}

} // namespace

class MarkerModelTest : public QObject {
    Q_OBJECT

private slots:
    void insertUpdateAndRemove()
    {
        CheckedModel m;
        MarkerModel& model = m.model;
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        // Zero and negative ids are ids like any other.
        model.addMarker(0, 100e6, "#4FC3F7");
        model.addMarker(-5, 95e6, "#FF0000");
        model.addMarker(7, 97e6, "#00FF00");
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(model.data(model.index(1), MarkerModel::IdRole).toInt(), -5);
        QCOMPARE(m.at(0, kFreq), 100e6);
        QCOMPARE(m.at(0, kAmp), -120.0);
        QCOMPARE(model.data(model.index(0), MarkerModel::ColorRole).toString(), QStringLiteral("#4FC3F7"));
        QCOMPARE(model.data(model.index(0), MarkerModel::AutoPeakEnabledRole).toBool(), false);

        // The same id again moves and recolours it in place; level and auto-peak stay.
        model.setMarkerAutoPeak(-5, true);
        changed.clear();
        model.addMarker(-5, 96e6, "#0000FF");
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(changed.count(), 1);
        QVERIFY(rolesOf(changed, 0).isEmpty());
        QCOMPARE(m.at(1, kFreq), 96e6);
        QCOMPARE(model.data(model.index(1), MarkerModel::ColorRole).toString(), QStringLiteral("#0000FF"));
        QCOMPARE(model.data(model.index(1), MarkerModel::AutoPeakEnabledRole).toBool(), true);

        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        model.removeMarker(-5);
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.at(0).at(1).toInt(), 1);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.data(model.index(1), MarkerModel::IdRole).toInt(), 7);
    }

    void unknownIdsAndOutOfRangeReadsGiveNothing()
    {
        CheckedModel m{91e6, 0.0};
        MarkerModel& model = m.model;
        const QModelIndex second = model.index(1);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy centre(&model, &MarkerModel::requestCenterTo);
        model.removeMarker(9);
        model.setMarkerFreq(9, 1e6);
        model.setMarkerAutoPeak(9, true);
        model.setMarkerColor(9, "x");
        model.markerToPeak(9);
        model.jumpCenterToMarker(9);
        // A marker at 0 Hz is nowhere to tune to.
        model.jumpCenterToMarker(2);
        QCOMPARE(changed.count() + removed.count() + centre.count(), 0);

        QVERIFY(!model.data(model.index(0), Qt::UserRole).isValid());
        QVERIFY(!model.data(model.index(0), MarkerModel::AutoPeakEnabledRole + 1).isValid());
        QVERIFY(!model.data(QModelIndex(), kFreq).isValid());
        QCOMPARE(model.rowCount(model.index(0)), 0);
        // An index kept from before a removal now points one past the last row.
        model.removeMarker(1);
        QVERIFY(!model.data(second, kFreq).isValid());
        const QHash<int, QByteArray> names{
            {257, "id"}, {258, "freqHz"}, {259, "ampDb"}, {260, "color"}, {261, "autoPeakEnabled"}};
        QCOMPARE(model.roleNames(), names);
    }

    void rowsReadByRoleNameFollowTheirMarkers()
    {
        CheckedModel m{91e6, 95e6};
        MarkerModel& model = m.model;
        model.setMarkerAutoPeak(2, true);
        const QVariantMap second = model.get(1);
        QCOMPARE(second.value(QStringLiteral("id")).toInt(), 2);
        QCOMPARE(second.value(QStringLiteral("freqHz")).toDouble(), 95e6);
        QCOMPARE(second.value(QStringLiteral("color")).toString(), QStringLiteral("#4FC3F7"));
        QCOMPARE(second.value(QStringLiteral("autoPeakEnabled")).toBool(), true);
        QCOMPARE(second.keys().size(), model.roleNames().size());

        model.removeMarker(1);
        QCOMPARE(model.get(0).value(QStringLiteral("id")).toInt(), 2);
        QVERIFY(model.get(1).isEmpty());
        QVERIFY(model.get(-1).isEmpty());
    }

    void settersReportTheirOneRoleEvenWithoutAChange()
    {
        CheckedModel m{91e6, 92e6};
        QSignalSpy changed(&m.model, &QAbstractItemModel::dataChanged);
        m.model.setMarkerFreq(2, 92e6);
        m.model.setMarkerAutoPeak(2, false);
        m.model.setMarkerColor(2, "#4FC3F7");
        QCOMPARE(changed.count(), 3);
        QCOMPARE(rolesOf(changed, 0), QList<int>({258}));
        QCOMPARE(rolesOf(changed, 1), QList<int>({261}));
        QCOMPARE(rolesOf(changed, 2), QList<int>({260}));
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 1);
    }

    void commandsUseTheLatestAppliedTrace()
    {
        CheckedModel m{95e6};
        MarkerModel& model = m.model;
        model.markerToCenter(1);
        QCOMPARE(m.at(0, kFreq), 0.0);

        std::vector<float> trace(1000, -100.0f);
        trace[100] = -10.0f;
        model.applyFrameUpdate(readTrace(model, trace));
        model.markerToPeak(1);
        QCOMPARE(m.at(0, kFreq), 92e6);
        model.markerToCenter(1);
        QCOMPARE(m.at(0, kFreq), 100e6);

        // Jumping asks for the marker's frequency and leaves the marker where it is.
        QSignalSpy centre(&model, &MarkerModel::requestCenterTo);
        model.jumpCenterToMarker(1);
        QCOMPARE(centre.count(), 1);
        QCOMPARE(centre.at(0).at(0).toDouble(), 100e6);
        QCOMPARE(m.at(0, kFreq), 100e6);
    }

    void frameUpdateReportsOnlyRowsThatChanged()
    {
        CheckedModel m{90.01e6, 100e6, 120e6};
        const std::vector<float> trace = rampTrace();
        m.model.applyFrameUpdate(readTrace(m.model, trace));
        std::vector<float> moved = trace;
        moved[1] = -2.0f;
        moved[999] = -3.0f;
        QSignalSpy changed(&m.model, &QAbstractItemModel::dataChanged);
        m.model.applyFrameUpdate(readTrace(m.model, moved));
        QCOMPARE(m.at(0, kAmp), -2.0);
        QCOMPARE(m.at(2, kAmp), -3.0);
        QCOMPARE(m.at(2, kFreq), 120e6);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(0).at(0).value<QModelIndex>().row(), 0);
        QCOMPARE(changed.at(1).at(0).value<QModelIndex>().row(), 2);
        QCOMPARE(rolesOf(changed, 1), QList<int>({258, 259}));

        changed.clear();
        m.model.applyFrameUpdate(readTrace(m.model, moved));
        QCOMPARE(changed.count(), 0);
    }

    void userChangesBetweenSnapshotAndApplySurvive()
    {
        CheckedModel m{95e6, 96e6};
        const std::vector<float> trace = rampTrace();
        const MarkerFrameUpdate late = readTrace(m.model, trace);
        m.model.setMarkerFreq(1, 105e6);
        m.model.removeMarker(2);
        QSignalSpy changed(&m.model, &QAbstractItemModel::dataChanged);
        m.model.applyFrameUpdate(late);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(m.at(0, kFreq), 105e6);
        // The next trace reads it where it is now.
        m.model.applyFrameUpdate(readTrace(m.model, trace));
        QCOMPARE(m.at(0, kAmp), static_cast<double>(trace[750]));
    }

    void updatePostedFromAnotherThreadIsAppliedOnTheModelsThread()
    {
        MarkerModel model;
        model.addMarker(1, 95e6, "a");
        QThread* applyingThread = nullptr;
        connect(&model, &QAbstractItemModel::dataChanged, &model,
                [&applyingThread] { applyingThread = QThread::currentThread(); }, Qt::DirectConnection);
        const std::vector<float> trace = rampTrace();
        std::thread([&] { model.postFrameUpdate(readTrace(model, trace)); }).join();
        QCOMPARE(model.snapshot().at(0).ampDb, -120.0);
        QTRY_COMPARE(model.snapshot().at(0).ampDb, static_cast<double>(trace[250]));
        QCOMPARE(applyingThread, QThread::currentThread());

        // A model thread that falls behind applies the newest update once, not the backlog.
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        std::thread([&] {
            std::vector<float> moving = trace;
            for (int k = 1; k <= 200; ++k) {
                moving[250] = trace[250] + static_cast<float>(k);
                model.postFrameUpdate(readTrace(model, moving));
            }
        }).join();
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.snapshot().at(0).ampDb, static_cast<double>(trace[250] + 200.0f));

        // An update still queued when the model goes is dropped with it.
        auto gone = std::make_unique<MarkerModel>();
        gone->addMarker(1, 95e6, "a");
        std::thread([&] { gone->postFrameUpdate(readTrace(*gone, trace)); }).join();
        gone.reset();
        QCoreApplication::processEvents();
    }
};

QTEST_GUILESS_MAIN(MarkerModelTest)
#include "MarkerModelTest.moc"
