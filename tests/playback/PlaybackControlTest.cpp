// A recording opened through the controller's `playback`: it becomes the receiver, shows its
// spectrum at its own centre whatever is typed, retunes at a capture at another frequency, and
// follows the transport; what cannot be played is said.
#include "app/RtsaController.h"
#include "display/SpectrumItem.h"
#include "sigmf/SigmfMeta.h"
#include "tests/app/ScriptedReceiver.h"
#include "tests/playback/PlaybackFiles.h"
#include "tests/support/EventWait.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <numbers>

namespace {

constexpr uint32_t kRate = 2'000'000;
constexpr double kFirstHz = 100e6;
constexpr double kSecondHz = 105e6;

// One second at 100 MHz with a carrier 200 kHz above, then one at 105 MHz with one 300 kHz below.
std::string writeRecording(const TempFolder& folder)
{
    const std::string base = folder.file("retuned");
    std::vector<int16_t> iq(4 * kRate);
    for (std::size_t n = 0; n < 2 * kRate; ++n) {
        const double offset = n < kRate ? 200e3 : -300e3;
        const double phase = 2 * std::numbers::pi * offset * static_cast<double>(n) / kRate;
        iq[2 * n] = static_cast<int16_t>(10000 * std::cos(phase));
        iq[2 * n + 1] = static_cast<int16_t>(10000 * std::sin(phase));
    }
    writeFile(base + ".sigmf-data", iq);
    SigmfMeta meta;
    meta.global.datatype = QStringLiteral("ci16_le");
    meta.global.sampleRate = kRate;
    SigmfCapture first;
    first.frequency = kFirstHz;
    first.datetime = parseSigmfTime(QStringLiteral("2026-12-08T10:00:00Z"));
    SigmfCapture second;
    second.sampleStart = kRate;
    second.frequency = kSecondHz;
    second.datetime = parseSigmfTime(QStringLiteral("2026-12-08T10:00:05Z"));
    meta.captures = {first, second};
    QFile file(QString::fromStdString(base + ".sigmf-meta"));
    file.open(QIODevice::WriteOnly);
    file.write(sigmfMetaToJson(meta));
    return base + ".sigmf-meta";
}

SpectrumFrame frameOf(const SpectrumItem& item)
{
    SpectrumFrame frame;
    item.snapshotFrame(frame);
    return frame;
}

// The frequency of the strongest bin.
double peakHz(const SpectrumFrame& frame)
{
    const auto peak = std::max_element(frame.trace.begin(), frame.trace.end());
    return frame.startHz + static_cast<double>(peak - frame.trace.begin()) * frame.binHz;
}

} // namespace

class PlaybackControlTest : public QObject {
    Q_OBJECT

private slots:
    void aRecordingPlaysAsTheReceiverAtItsOwnCentre()
    {
        TempFolder folder;
        const std::string recording = writeRecording(folder);
        auto script = std::make_shared<ReceiverScript>();
        auto item = std::make_unique<SpectrumItem>();
        // Before the controller: its destructor still logs.
        QStringList lines;
        RtsaController c([script] { return std::make_unique<ScriptedReceiver>(script); });
        connect(&c, &RtsaController::logMessage, &c, [&lines](const QString& line) { lines << line; });
        c.setSpectrumItem(item.get());
        PlaybackControl& playback = *c.playback();

        // The search offers "Recording…" after the live receivers.
        const auto recordingOffered = [&c] {
            const QVariantList devices = c.deviceList();
            return !devices.isEmpty() && devices.back().toMap().value("label").toString() == QStringLiteral("Recording\u2026");
        };
        QVERIFY(!recordingOffered());
        c.refreshDeviceList();
        QTRY_VERIFY_WITH_TIMEOUT(recordingOffered(), kEventWaitMs);

        QVERIFY(playback.openFile(QString::fromStdString(recording)));
        QVERIFY(c.running());
        QCOMPARE(c.deviceSelection(), QStringLiteral("Recording\u2026"));
        QCOMPARE(c.deviceName(), QStringLiteral("Recording retuned.sigmf-data"));
        QVERIFY(playback.playing());
        QCOMPARE(playback.lengthSeconds(), 2.0);
        QVERIFY(playback.message().contains("2 MS/s at 100.000 MHz"));
        QTRY_VERIFY_WITH_TIMEOUT(frameOf(*item).centerHz == kFirstHz && !frameOf(*item).trace.empty(), kEventWaitMs);
        SpectrumFrame frame = frameOf(*item);
        QCOMPARE(frame.spanHz, static_cast<double>(kRate));
        QVERIFY(std::abs(peakHz(frame) - (kFirstHz + 200e3)) <= 2 * frame.binHz);

        // A centre and rate typed meanwhile leave the recording's in place.
        c.applyParams(433.92, 20.0, 0, 0, 0, 0);
        QTRY_VERIFY_WITH_TIMEOUT(lines.contains("Applied Recording: f=100.000 MHz bw=20.000 MHz (2.000 MS/s)"),
                                 kEventWaitMs);
        QCOMPARE(frameOf(*item).centerHz, kFirstHz);

        // Past the first second the second capture retunes the run.
        QTRY_VERIFY_WITH_TIMEOUT(playback.centerHz() == kSecondHz, kEventWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(frameOf(*item).centerHz == kSecondHz &&
                                     std::abs(peakHz(frameOf(*item)) - (kSecondHz - 300e3)) <= 2 * frameOf(*item).binHz,
                                 kEventWaitMs);
        QVERIFY(playback.captureTime().startsWith("2026-12-08 10:00:0"));

        // Paused, the position stays; a seek lands where asked and retunes back (the display
        // keeps its last spectrum until samples come again).
        const auto firstCentreApplied = [&lines] {
            return lines.filter(QStringLiteral("Applied Recording: f=100.000 MHz")).size();
        };
        const qsizetype appliedBefore = firstCentreApplied();
        playback.pause();
        QVERIFY(!playback.playing());
        playback.seekSeconds(0.25);
        QCOMPARE(playback.positionSeconds(), 0.25);
        QCOMPARE(playback.captureTime(), QStringLiteral("2026-12-08 10:00:00.250 UTC"));
        QTest::qWait(300);
        playback.follow();
        QCOMPARE(playback.positionSeconds(), 0.25);
        QTRY_VERIFY_WITH_TIMEOUT(firstCentreApplied() > appliedBefore, kEventWaitMs);
        QCOMPARE(playback.centerHz(), kFirstHz);

        // To the end at the fastest speed, where it stops and says so.
        playback.setSpeed(PlaybackControl::kSpeedMax);
        QCOMPARE(playback.speed(), PlaybackControl::kSpeedMax);
        playback.setSpeed(3.0);
        QCOMPARE(playback.speed(), PlaybackControl::kSpeedMax);
        playback.play();
        QTRY_VERIFY_WITH_TIMEOUT(playback.atEnd(), kEventWaitMs);
        QCOMPARE(playback.message(), QStringLiteral("End of recording"));
        QVERIFY(c.running());
    }

    void whatCannotBePlayedIsSaidAndLeavesTheRunAlone()
    {
        TempFolder folder;
        auto script = std::make_shared<ReceiverScript>();
        RtsaController c([script] { return std::make_unique<ScriptedReceiver>(script); });
        PlaybackControl& playback = *c.playback();
        QVERIFY(c.startRx());

        QVERIFY(!playback.openFile(QString::fromStdString(folder.file("gone.sigmf-meta"))));
        QVERIFY(playback.message().startsWith("Recording: cannot open"));
        QVERIFY(!playback.loaded());
        QVERIFY(c.running());
        QCOMPARE(c.deviceName(), QStringLiteral("RZ640 USB3 FT601"));

        writeFile(folder.file("raw.cs16"), countingPairs(kRate));
        QVERIFY(!playback.openFile(QString::fromStdString(folder.file("raw.cs16"))));
        QVERIFY(playback.message().contains("rate and centre"));

        // A file URL from the chooser, with the rate and centre given.
        const QString url = QUrl::fromLocalFile(QString::fromStdString(folder.file("raw.cs16"))).toString();
        QVERIFY(playback.openFile(url, kRate, 433.92e6));
        QVERIFY(c.running());
        QCOMPARE(playback.centerHz(), 433.92e6);
        QCOMPARE(playback.fileName(), QStringLiteral("raw.cs16"));
        QVERIFY(playback.captureTime().isEmpty());
    }
};

QTEST_MAIN(PlaybackControlTest)
#include "PlaybackControlTest.moc"
