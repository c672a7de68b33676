// The controller's marker surface, on a scripted receiver: no display needed.
#include "app/RtsaController.h"
#include "tests/app/ScriptedReceiver.h"

#include <QSignalSpy>
#include <QTest>
#include <QVariantMap>

#include <memory>

namespace {

std::unique_ptr<RtsaController> scriptedController()
{
    auto script = std::make_shared<ReceiverScript>();
    return std::make_unique<RtsaController>([script] { return std::make_unique<ScriptedReceiver>(script); });
}

} // namespace

class MarkerCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void markersListsEveryMarkerInRowOrder()
    {
        auto c = scriptedController();
        QVERIFY(c->markers().isEmpty());
        c->addMarker(2, 92e6, "#4FC3F7");
        c->addMarker(1, 91e6, "#FF0000");
        c->setMarkerAutoPeak(1, true);
        const QVariantList first = c->property("markers").toList();
        QCOMPARE(first.size(), 2);
        const QVariantMap row0 = first.at(0).toMap();
        QCOMPARE(row0.keys(), QStringList({"ampDb", "autoPeakEnabled", "color", "freqHz", "id"}));
        QCOMPARE(row0.value("id").toInt(), 2);
        QCOMPARE(row0.value("freqHz").toDouble(), 92e6);
        QCOMPARE(row0.value("ampDb").toDouble(), -120.0);
        QCOMPARE(row0.value("color").toString(), QStringLiteral("#4FC3F7"));
        QCOMPARE(row0.value("autoPeakEnabled").toBool(), false);
        QCOMPARE(first.at(1).toMap().value("id").toInt(), 1);
        QCOMPARE(first.at(1).toMap().value("autoPeakEnabled").toBool(), true);

        // Each read is its own snapshot, of the model QML sees, which the controller owns.
        auto* model = c->property("markersModel").value<MarkerModel*>();
        QCOMPARE(model->parent(), c.get());
        model->removeMarker(2);
        QCOMPARE(first.size(), 2);
        QCOMPARE(c->markers().size(), 1);
    }

    void changingCommandsAnnounceMarkersChanged()
    {
        auto c = scriptedController();
        QSignalSpy changed(c.get(), &RtsaController::markersChanged);
        c->addMarker(1, 91e6, "a");
        c->setMarkerFreq(1, 93e6);
        c->setMarkerAutoPeak(1, true);
        c->setMarkerColor(1, "b");
        const QVariantMap forwarded = c->markers().at(0).toMap();
        QCOMPARE(forwarded.value("freqHz").toDouble(), 93e6);
        QCOMPARE(forwarded.value("autoPeakEnabled").toBool(), true);
        QCOMPARE(forwarded.value("color").toString(), QStringLiteral("b"));
        c->removeMarker(1);
        QCOMPARE(changed.count(), 5);
        QVERIFY(c->markers().isEmpty());

        // The ones that follow the trace or retune leave that to the model.
        c->addMarker(2, 95e6, "a");
        changed.clear();
        c->markerToPeak(2);
        c->markerToCenter(2);
        c->jumpCenterToMarker(2);
        QCOMPARE(changed.count(), 0);
    }

    void demodMarkerChangesOnlyWhenItsValueDoes()
    {
        auto c = scriptedController();
        QSignalSpy changed(c.get(), &RtsaController::demodMarkerIdChanged);
        QCOMPARE(c->demodMarkerId(), -1);
        c->setDemodMarker(3, false);
        QCOMPARE(c->demodMarkerId(), -1);
        QCOMPARE(changed.count(), 0);
        c->setDemodMarker(3, true);
        c->setDemodMarker(3, true);
        QCOMPARE(c->property("demodMarkerId").toInt(), 3);
        QCOMPARE(changed.count(), 1);
        c->setDemodMarker(8, false);
        QCOMPARE(c->demodMarkerId(), -1);
        QCOMPARE(changed.count(), 2);
    }
};

QTEST_GUILESS_MAIN(MarkerCommandsTest)
#include "MarkerCommandsTest.moc"
