#include "app/RtsaController.h"
#include "app/SettingTables.h"
#include "display/SpectrumItem.h"

#include <QMetaProperty>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>
#include <thread>

class ControllerCoreTest : public QObject {
    Q_OBJECT

private slots:
    void statusLineFromAnotherThreadArrivesInTheGuiThreadUnchanged()
    {
        RtsaController controller;
        QThread* deliveredIn = nullptr;
        QString delivered;
        connect(&controller, &RtsaController::logMessage, this, [&](const QString& msg) {
            deliveredIn = QThread::currentThread();
            delivered = msg;
        });
        const std::string line = "[Demod] squelch open \xC2\xB1" "3 dB, \xE2\x9C\x93";
        const StatusCallback callback = controller.statusCallback();
        std::thread producer([&] { callback(line); });
        producer.join();
        QTRY_COMPARE(delivered, QString::fromUtf8(line.c_str()));
        QCOMPARE(deliveredIn, QThread::currentThread());
        // It is the demodulator's status, which the window reads from its property.
        QCOMPARE(controller.demodStatus(), QString::fromUtf8(line.c_str()));
    }

    void quickRetunesApplyAtMostTwiceEndingWithTheLatest()
    {
        RtsaController controller;
        QSignalSpy centre(&controller, &RtsaController::centerFreqChanged);
        ApplyRequest first;
        first.freqMHz = 433.92;
        first.bwMHz = 10;
        ApplyRequest second = first;
        second.freqMHz = 868.3;
        controller.postApplyRequest(first);
        controller.postApplyRequest(second);
        QTRY_VERIFY(!centre.isEmpty() && centre.last().at(0).toDouble() == 868.3);
        QTest::qWait(50);
        QVERIFY(centre.size() <= 2);
    }

    void nonsenseFrequenciesSaturateInsteadOfWrapping()
    {
        RtsaController controller;
        QSignalSpy centre(&controller, &RtsaController::centerFreqChanged);
        ApplyRequest negative;
        negative.freqMHz = -5.0;
        negative.bwMHz = -1.0;
        controller.postApplyRequest(negative);
        QTRY_COMPARE(centre.size(), 1);
        ApplyRequest zero;
        controller.postApplyRequest(zero);
        // -5 MHz became 0 Hz, so 0 MHz is no change of centre.
        QTest::qWait(100);
        QCOMPARE(centre.size(), 1);
    }

    void spectrumItemIsAGuardedReferenceToASpectrumItemOnly()
    {
        RtsaController controller;
        QSignalSpy changed(&controller, &RtsaController::spectrumItemChanged);
        auto item = std::make_unique<SpectrumItem>();
        controller.setSpectrumItem(item.get());
        QCOMPARE(changed.size(), 1);
        controller.setSpectrumItem(item.get());
        QCOMPARE(changed.size(), 1);
        item.reset();
        QCOMPARE(controller.spectrumItem(), nullptr);

        QObject notAnItem;
        controller.setSpectrumItem(&notAnItem);
        QCOMPARE(controller.spectrumItem(), nullptr);
    }

    // The panel tests run against a stand-in: whatever it offers the panels must be what the
    // controller offers, by name and type, or the tests pass against something the window
    // never gets.
    void thePanelTestsStandInOffersWhatTheControllerOffers()
    {
        // The stand-in starts from the same setting tables as the window.
        SettingTables tables;
        SettingTables::registerForQml(tables);
        QQmlEngine engine;
        QQmlComponent component(&engine,
                                QUrl::fromLocalFile(QStringLiteral(RTSA_SOURCE_DIR "/tests/qml/StubController.qml")));
        const std::unique_ptr<QObject> stub(component.create());
        QVERIFY2(stub, qPrintable(component.errorString()));
        const QMetaObject& real = RtsaController::staticMetaObject;
        const QMetaObject& offered = *stub->metaObject();
        // The stand-in's own bookkeeping and canned answers.
        const QList<QByteArray> own{"calls", "devices", "audioDriverNames", "bufferInfo", "outputs"};
        for (int i = QObject::staticMetaObject.propertyCount(); i < offered.propertyCount(); ++i) {
            const QMetaProperty property = offered.property(i);
            if (own.contains(property.name()))
                continue;
            const int index = real.indexOfProperty(property.name());
            QVERIFY2(index >= 0, property.name());
            if (property.metaType() != QMetaType::fromType<QVariant>())
                QVERIFY2(real.property(index).metaType() == property.metaType(), property.name());
        }
        for (const char* signal : {"logMessage(QString)", "logEntry(QString,int,bool)", "centerFreqChanged(double)"})
            QVERIFY2(real.indexOfSignal(signal) >= 0, signal);
        // The status the window shows is all there.
        for (const char* name : {"audioStatus", "demodStatus", "autoAdjustment", "lastError", "ringUsagePct",
                                 "rxRateMBps", "spectrumBlocksPerSec", "audioUnderruns"})
            QVERIFY2(offered.indexOfProperty(name) >= 0, name);
    }
};

QTEST_MAIN(ControllerCoreTest)
#include "ControllerCoreTest.moc"
