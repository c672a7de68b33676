// Recording the simulated receiver through the controller, as the window does: the files, their
// meta, and the messages the window shows.
#include "app/RtsaController.h"
#include "sigmf/SigmfMeta.h"
#include "tests/support/EventWait.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

SigmfMeta readMeta(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const SigmfParseResult read = parseSigmfMeta(file.readAll());
    return read.meta.value_or(SigmfMeta{});
}

} // namespace

class RecordingSimulatorTest : public QObject {
    Q_OBJECT

private slots:
    void recordsTheReceiverThroughARetune()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // To open the recording with another reader afterwards.
        if (qEnvironmentVariableIsSet("RTSA_KEEP_TEST_RECORDING")) {
            dir.setAutoRemove(false);
            qInfo("recording kept in %s", qPrintable(dir.path()));
        }
        QStringList lines;
        RtsaController c;
        RecordingControl& recording = *c.recording();
        recording.setFolder(dir.path());
        recording.setFileName(QStringLiteral("scene"));
        recording.setDescription(QStringLiteral("simulated scene"));

        QVERIFY(!recording.start());
        QCOMPARE(recording.message(), QStringLiteral("Recording: Start the receiver first"));

        connect(&c, &RtsaController::logMessage, &c, [&](const QString& line) { lines << line; });
        QVERIFY(c.startRx());
        // The retune goes through the device worker: the run at 5 MS/s has begun once a start
        // follows the line that applied it (a rate changed later would end the recording).
        c.applyParams(99.0, 5.0, 0, 0, 20, 30);
        const auto startedAtFiveMsps = [&lines] {
            const qsizetype applied = lines.indexOf(QRegularExpression(QStringLiteral("Applied .* bw=5.000 MHz .*")));
            return applied >= 0 && lines.indexOf(QStringLiteral("RX started"), applied) > applied;
        };
        QTRY_VERIFY_WITH_TIMEOUT(startedAtFiveMsps(), kEventWaitMs);
        c.markersModel()->addMarker(1, 99.4e6, QStringLiteral("#4FC3F7"));
        QVERIFY(recording.start());
        QVERIFY(recording.recording());
        QCOMPARE(recording.message(), QString());
        // Two seconds of samples at 5 MS/s, then a retune and a little more.
        constexpr double kTwoSecondsBytes = 2 * 5e6 * 4;
        QTRY_VERIFY2_WITH_TIMEOUT(recording.bytesWritten() >= kTwoSecondsBytes,
                                  qPrintable(QStringLiteral("%1 bytes, %2").arg(recording.bytesWritten()).arg(recording.message())),
                                  kEventWaitMs);
        c.applyParams(101.0, 5.0, 0, 0, 20, 30);
        const double atRetune = recording.bytesWritten();
        QTRY_VERIFY_WITH_TIMEOUT(recording.bytesWritten() >= atRetune + 8 * 1024 * 1024, kEventWaitMs);
        recording.stop();
        QVERIFY(!recording.recording());
        QCOMPARE(recording.message(), QStringLiteral("Recorded scene"));
        QCOMPARE(recording.lostSamples(), 0.0);
        QVERIFY(recording.elapsedSec() > 0.0);
        QVERIFY(recording.freeBytes() > 0.0);
        // Reception goes on.
        QVERIFY(c.running());

        QFile data(dir.filePath("scene.sigmf-data"));
        QVERIFY(data.open(QIODevice::ReadOnly));
        QCOMPARE(static_cast<double>(data.size()), recording.bytesWritten());
        const SigmfMeta meta = readMeta(dir.filePath("scene.sigmf-meta"));
        QCOMPARE(meta.global.datatype, QStringLiteral("ci16_le"));
        QCOMPARE(meta.global.sampleRate, std::optional<double>(5e6));
        QCOMPARE(meta.global.description, QStringLiteral("simulated scene"));
        QVERIFY2(meta.global.hw.startsWith(QStringLiteral("RZ640")), qPrintable(meta.global.hw));
        QCOMPARE(meta.captures.size(), std::size_t{2});
        QCOMPARE(meta.captures[0].frequency, std::optional<double>(99e6));
        QCOMPARE(meta.captures[1].frequency, std::optional<double>(101e6));
        QVERIFY(meta.captures[1].sampleStart * 4 >= kTwoSecondsBytes);
        QVERIFY(meta.captures[1].sampleStart * 4 < static_cast<uint64_t>(data.size()));
        QCOMPARE(meta.captures[1].globalIndex, std::optional<uint64_t>(meta.captures[1].sampleStart));
        QVERIFY(*meta.captures[1].datetime > *meta.captures[0].datetime);
        QCOMPARE(meta.annotations.size(), std::size_t{1});
        QCOMPARE(meta.annotations[0].label, QStringLiteral("M1"));
        QVERIFY(*meta.annotations[0].freqLowerEdge < 99.4e6 && *meta.annotations[0].freqUpperEdge > 99.4e6);
        QCOMPARE(meta.annotations[0].sampleCount, std::optional<uint64_t>(data.size() / 4));

        // The samples are the receiver's: the scene's signals, not silence.
        const QByteArray head = data.read(1 << 20);
        std::vector<int16_t> iq(static_cast<std::size_t>(head.size()) / 2);
        std::memcpy(iq.data(), head.data(), iq.size() * 2);
        double power = 0.0;
        for (int16_t v : iq)
            power += double(v) * v;
        QVERIFY(std::sqrt(power / static_cast<double>(iq.size())) > 10.0);

        // The same name again is refused, and the recording kept as it was.
        recording.setFileName(QStringLiteral("scene"));
        QVERIFY(!recording.start());
        QCOMPARE(recording.message(), QStringLiteral("Recording: scene already exists in %1").arg(dir.path()));
        QCOMPARE(QFile(dir.filePath("scene.sigmf-data")).size(), data.size());

        // An empty name records under the default one.
        recording.setFileName(QString());
        const QString name = recording.defaultFileName();
        QVERIFY2(name.startsWith(QStringLiteral("rtsa-")) && name.endsWith(QStringLiteral("-101.000MHz")), qPrintable(name));
        QVERIFY(recording.start());
        recording.stop();
        QVERIFY2(recording.recordingPath().endsWith(QStringLiteral("MHz.sigmf-data")), qPrintable(recording.recordingPath()));
        QVERIFY(QFile::exists(recording.recordingPath()));
        c.stopRx();
    }
};

QTEST_GUILESS_MAIN(RecordingSimulatorTest)
#include "RecordingSimulatorTest.moc"
