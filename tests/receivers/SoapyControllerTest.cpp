// The analyser on SoapySDR receivers through the controller: our simulated module loaded
// through SOAPY_SDR_PLUGIN_PATH (set by ctest), locally and served across the loopback network
// by SoapySDRServer.
#include "app/Logger.h"
#include "app/RtsaController.h"
#include "app/SettingsStore.h"
#include "support/StereoTones.h"
#include "tests/support/BusListener.h"
#include "tests/support/EventWait.h"
#include "tests/support/RtsaControllerTestAccess.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

const QString kLocalUnit = QStringLiteral("RTSA Simulator CS16 (SN 5A000001)");

// The throughput and losses of every RX report line of a run.
struct RxFigures {
    std::vector<double> megabytesPerSecond;
    qulonglong timeouts = 0;
    qulonglong overflows = 0;
    qulonglong lostSamples = 0;

    static RxFigures from(const QStringList& lines)
    {
        static const QRegularExpression rx(QStringLiteral("^RX ([0-9.]+) MB/s, timeouts=([0-9]+),"));
        static const QRegularExpression loss(QStringLiteral("^  Receiver overflows=([0-9]+), lost samples=([0-9]+)$"));
        RxFigures figures;
        for (const QString& line : lines) {
            if (const auto m = rx.match(line); m.hasMatch()) {
                figures.megabytesPerSecond.push_back(m.captured(1).toDouble());
                figures.timeouts += m.captured(2).toULongLong();
            } else if (const auto l = loss.match(line); l.hasMatch()) {
                figures.overflows += l.captured(1).toULongLong();
                figures.lostSamples += l.captured(2).toULongLong();
            }
        }
        return figures;
    }

    double median() const
    {
        std::vector<double> sorted = megabytesPerSecond;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    }
};

// The SoapySDR server on the loopback address, serving our simulated module; killed when the
// test ends, however it ends.
class LoopbackServer {
public:
    // Empty when the server is not installed.
    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("SoapySDRServer")); }

    LoopbackServer()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SOAPYSIM_TEST_TONES"), QStringLiteral("1"));
        // The server publishes itself through the mDNS daemon and gives up without one; it is
        // killed, so a leak check at its exit would only report what it held.
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(RTSA_SERVER_PRELOAD));
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(), {QStringLiteral("--bind=127.0.0.1:0")});
    }
    ~LoopbackServer()
    {
        m_process.kill();
        m_process.waitForFinished(kEventWaitMs);
    }

    // The port it listens on, once it says; 0 when it does not.
    int waitForPort()
    {
        static const QRegularExpression bound(QStringLiteral("Server bound to 127\\.0\\.0\\.1:([0-9]+)"));
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < kEventWaitMs && m_process.state() != QProcess::NotRunning) {
            m_output += QString::fromUtf8(m_process.readAll());
            // It says so once bound, and listens a moment later: on a busy machine a client
            // could come in between and be refused.
            if (const auto m = bound.match(m_output); m.hasMatch() && accepts(m.captured(1).toInt()))
                return m.captured(1).toInt();
            m_process.waitForReadyRead(100);
        }
        return 0;
    }
    QString output() { return m_output + QString::fromUtf8(m_process.readAll()); }

private:
    static bool accepts(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return connected;
    }

private:
    QProcess m_process;
    QString m_output;
};

bool anyMatch(const QStringList& lines, const QRegularExpression& pattern)
{
    return !lines.filter(pattern).isEmpty();
}

QString logLines(const QStringList& lines)
{
    return lines.mid(std::max<qsizetype>(0, lines.size() - 12)).join(QLatin1Char('\n'));
}

} // namespace

class SoapyControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        for (const char* name : {"SOAPYSIM_UNITS", "SOAPYSIM_OVERFLOW_EVERY", "SOAPYSIM_VANISH_AFTER", "SOAPYSIM_REALTIME"})
            qunsetenv(name);
    }

    // Found by the search off the GUI thread, opened from its list entry, with its own front end
    // and the overflows it reports.
    void localReceiverFromTheList()
    {
        qputenv("SOAPYSIM_OVERFLOW_EVERY", "40");
        // Before the controller, which logs until it is gone.
        QStringList lines;
        RtsaController c;
        connect(&c, &RtsaController::logMessage, &c, [&](const QString& line) { lines << line; });
        int listChanges = 0;
        connect(&c, &RtsaController::deviceListChanged, &c, [&] { ++listChanges; });
        c.refreshDeviceList();
        QTRY_COMPARE_WITH_TIMEOUT(listChanges, 1, kEventWaitMs);
        const QVariantList list = c.deviceList();
        QCOMPARE(list.front().toMap().value(QStringLiteral("label")).toString(), QStringLiteral("Auto"));
        QCOMPARE(list.at(1).toMap().value(QStringLiteral("label")).toString(), QStringLiteral("RZ640"));
        const auto entry = std::find_if(list.begin(), list.end(), [](const QVariant& e) {
            return e.toMap().value(QStringLiteral("label")).toString() == kLocalUnit;
        });
        QVERIFY(entry != list.end());
        c.setDeviceSelection(entry->toMap().value(QStringLiteral("args")).toString());

        QVERIFY(c.connectDevice());
        QCOMPARE(c.deviceBackend(), QStringLiteral("SoapySDR"));
        QCOMPARE(c.deviceName(), kLocalUnit);
        QCOMPARE(c.deviceSerial(), QStringLiteral("5A000001"));
        QVariantMap frontEnd = c.deviceFrontEnd();
        QCOMPARE(frontEnd.value(QStringLiteral("ratesMsps")).toList(), (QVariantList{2, 5, 10, 20, 30}));
        QCOMPARE(frontEnd.value(QStringLiteral("antennas")).toStringList(), (QStringList{"RX1", "RX2"}));
        c.setDeviceGain(QStringLiteral("LNA"), 31.0);
        c.setDeviceFrequencyCorrection(1000.0);
        frontEnd = c.deviceFrontEnd();
        QCOMPARE(frontEnd.value(QStringLiteral("gains")).toList().front().toMap().value(QStringLiteral("value")).toDouble(), 31.0);
        // Clamped to the table's range.
        QCOMPARE(frontEnd.value(QStringLiteral("frequencyCorrectionPpm")).toDouble(), 100.0);

        c.applyParams(99.0, 2.0, 0, 0, 20, 30);
        QVERIFY(c.startRx());
        QTRY_VERIFY_WITH_TIMEOUT(lines.contains(QStringLiteral("Applied SoapySDR: f=99.000 MHz bw=2.000 MHz (2.000 MS/s)")),
                                 kEventWaitMs);
        // Every 40th transfer of the module is lost and said so.
        // The samples an overflow cost show in the time stamp of the block after it, which may
        // fall into the next report.
        QTRY_VERIFY_WITH_TIMEOUT(RxFigures::from(lines).overflows >= 2, kEventWaitMs);
        const RxFigures figures = RxFigures::from(lines);
        QVERIFY2(figures.lostSamples >= (figures.overflows - 1) * 16384, qPrintable(logLines(lines)));
        QTRY_VERIFY_WITH_TIMEOUT(c.spectrumBlocksPerSec() > 0, kEventWaitMs);
        c.disconnectDevice();
        QCOMPARE(c.deviceBackend(), QStringLiteral("SoapySDR"));
        QVERIFY(lines.contains(QStringLiteral("Device disconnected")));
    }

    // A receiver unplugged mid-stream looks like a stalled RZ640 (no throughput, timeouts),
    // stops cleanly, and connects again once it is back.
    void vanishedReceiverStopsAndReconnects()
    {
        qputenv("SOAPYSIM_VANISH_AFTER", "60");
        // Before the controller, which logs until it is gone.
        QStringList lines;
        RtsaController c;
        connect(&c, &RtsaController::logMessage, &c, [&](const QString& line) { lines << line; });
        c.setDeviceSelection(QStringLiteral("driver=rtsasim,serial=5A000001"));
        c.applyParams(99.0, 2.0, 0, 0, 20, 30);
        QVERIFY(c.startRx());
        static const QRegularExpression stalled(QStringLiteral("^RX 0\\.00 MB/s, timeouts=[1-9]"));
        QTRY_VERIFY_WITH_TIMEOUT(anyMatch(lines, stalled), kEventWaitMs);
        c.stopRx();
        QVERIFY(lines.contains(QStringLiteral("RX stopped")));
        c.disconnectDevice();

        qunsetenv("SOAPYSIM_VANISH_AFTER");
        lines.clear();
        QVERIFY(c.startRx());
        static const QRegularExpression flowing(QStringLiteral("^RX [1-9][0-9.]* MB/s"));
        QTRY_VERIFY_WITH_TIMEOUT(anyMatch(lines, flowing), kEventWaitMs);
        c.disconnectDevice();
    }

    // Gains, antenna and correction set in one run reach the receiver in the next, although they
    // are restored before it is opened.
    void frontEndChoicesKeptBetweenRuns()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("kept.conf"));
        const QString unit = QStringLiteral("driver=rtsasim,serial=5A000001");
        const QStringList kept{QStringLiteral("deviceFrontEndChoices")};
        Logger log([](LogLevel, const QString&, LogAudience) {}, [](LogLevel, std::string_view) {});
        {
            RtsaController first;
            first.setDeviceSelection(unit);
            QVERIFY(first.connectDevice());
            first.setDeviceGain(QStringLiteral("LNA"), 17.0);
            first.setDeviceAntenna(QStringLiteral("RX2"));
            first.setDeviceFrequencyCorrection(-2.5);
            SettingsStore store(path, log);
            store.save(first, QStringLiteral("receiver"), kept);
            store.sync();
        }
        RtsaController next;
        const SettingsStore store(path, log);
        store.restore(next, QStringLiteral("receiver"), kept);
        next.setDeviceSelection(unit);
        QVERIFY(next.connectDevice());
        const QVariantMap frontEnd = next.deviceFrontEnd();
        const QVariantList gains = frontEnd.value(QStringLiteral("gains")).toList();
        const auto lna = std::find_if(gains.begin(), gains.end(), [](const QVariant& g) {
            return g.toMap().value(QStringLiteral("name")).toString() == QStringLiteral("LNA");
        });
        QVERIFY(lna != gains.end());
        QCOMPARE(lna->toMap().value(QStringLiteral("value")).toDouble(), 17.0);
        QCOMPARE(frontEnd.value(QStringLiteral("antenna")).toString(), QStringLiteral("RX2"));
        QCOMPARE(frontEnd.value(QStringLiteral("frequencyCorrectionPpm")).toDouble(), -2.5);
        next.disconnectDevice();
    }

    // The module served by SoapySDRServer on 127.0.0.1, at 5 MS/s for 30 s: spectrum, stereo
    // audio as from a local receiver, and the losses as the stream reports them.
    void remoteReceiverOverLoopback()
    {
        if (LoopbackServer::program().isEmpty())
            QSKIP("SoapySDRServer is not installed (Debian package soapyremote-server): no remote test");
        LoopbackServer server;
        const int port = server.waitForPort();
        QVERIFY2(port > 0, qPrintable(server.output()));

        // Before the controller, which logs until it is gone.
        QStringList lines;
        RtsaController c;
        connect(&c, &RtsaController::logMessage, &c, [&](const QString& line) { lines << line; });
        c.setDeviceSelection(
            QStringLiteral("driver=remote,remote=tcp://127.0.0.1:%1,remote:driver=rtsasim,serial=5A000001").arg(port));
        QVERIFY2(c.connectDevice(), qPrintable(logLines(lines) + QLatin1Char('\n') + server.output()));
        QCOMPARE(c.deviceBackend(), QStringLiteral("SoapySDR"));
        QCOMPARE(c.deviceName(), QStringLiteral("%1 at 127.0.0.1:%2").arg(kLocalUnit).arg(port));

        // The station at 99.4 MHz, 400 kHz above the centre, with its measurement tones.
        c.applyParams(99.0, 5.0, 0, 0, 20, 30);
        c.setNewDemodFreqHz(99.4e6);
        c.setNewDemodFmStereoEnabled(true);
        c.setNewDemodEnabled(true);
        QVERIFY(c.startRx());
        BusListener listener(RtsaControllerTestAccess::demod(c));
        QElapsedTimer run;
        run.start();
        QTest::qWait(28'000);
        const Audio audio = listener.next(1.0);
        QTest::qWait(std::max<qint64>(0, 30'000 - run.elapsed()));
        const int spectraPerSecond = c.spectrumBlocksPerSec();
        c.stopRx();
        const double seconds = run.elapsed() / 1000.0;

        const RxFigures figures = RxFigures::from(lines);
        const StereoFigures stereo = stereoFigures(audio.left, audio.right);
        qInfo("remote 5 MS/s for %.1f s: %zu RX reports, median %.2f MB/s (nominal 19.07), timeouts %llu, receiver "
              "overflows %llu, lost samples %llu; %d spectra/s; stereo separation %.1f dB, left %.3f, right %.3f",
              seconds, figures.megabytesPerSecond.size(), figures.median(), figures.timeouts, figures.overflows,
              figures.lostSamples, spectraPerSecond, stereo.separationDb, stereo.leftLevel, stereo.rightLevel);
        QVERIFY2(figures.megabytesPerSecond.size() >= 20, qPrintable(logLines(lines)));
        QVERIFY2(figures.median() > 0.0, qPrintable(logLines(lines)));
        QVERIFY(spectraPerSecond > 0);
        QVERIFY2(stereo.separationDb >= 30.0, qPrintable(QString::number(stereo.separationDb)));
        QVERIFY(std::abs(stereo.leftLevel - 0.45 * 0.905) < 0.04);
        QVERIFY(std::abs(stereo.rightLevel - 0.45 * 0.577) < 0.03);
        c.disconnectDevice();
    }
};

QTEST_GUILESS_MAIN(SoapyControllerTest)
#include "SoapyControllerTest.moc"
