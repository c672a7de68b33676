#include "app/RtsaController.h"
#include "display/SpectrumItem.h"

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
};

QTEST_MAIN(ControllerCoreTest)
#include "ControllerCoreTest.moc"
