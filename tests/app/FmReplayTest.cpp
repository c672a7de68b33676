// FM fidelity end to end: the reference broadcast station (left 1 kHz and right 3 kHz at one
// level, 19 kHz pilot, carrier at -12 dBFS in noise) recorded by the test, replayed by the
// simulated receiver, demodulated by the controller and written by the WAV File Writer as float
// samples. In the file: separation both ways, THD+N without the crosstalk tone, the pilot and the
// tone levels, exactly tuned and 500 Hz off, and in mono, at 2 and 20 MS/s (2 and 5 in the
// sanitizer build, whose audio threads fall behind at higher rates on two cores). The audio goes
// through the real-time path (rate control, bus, driver), whose pitch moves now and then: each
// tone is found where it lies, window by window, and the medians are judged. THD+N is held 2 dB
// (stereo) and 4 dB (mono) short of the targets the chain meets on its own (ChainQualityTest),
// for the windows where the pitch moved or a busy machine lost a block.
#include "acquisition/RZ640Device.h"
#include "app/RtsaController.h"
#include "audio/AsioBackend.h"
#include "support/FmTestSignal.h"
#include "support/StereoTones.h"
#include "tests/audio/AsioTestRegistry.h"
#include "tests/audio/WavFileReader.h"
#include "tests/support/RealTimeRates.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTest>

#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

// What the file holds of one run: its last second, each channel in full-scale units.
struct Played {
    std::vector<float> left;
    std::vector<float> right;
};

Played lastSecond(const WavFileContents& wav)
{
    Played p;
    const std::size_t frames = wav.frames();
    for (std::size_t k = frames - std::min<std::size_t>(frames, 48000); k < frames; ++k) {
        float l, r;
        std::memcpy(&l, wav.sample(k, 0), sizeof l);
        std::memcpy(&r, wav.sample(k, 1), sizeof r);
        p.left.push_back(l);
        p.right.push_back(r);
    }
    return p;
}

// 0.1 s of the station as a recording: every tone and the carrier's offset complete whole
// periods in it, so the receiver's loop replays it without a seam.
void writeRecording(const std::filesystem::path& path, const FmTestSignal& station)
{
    const std::vector<int16_t> iq = station.generate(static_cast<std::size_t>(0.1 * station.sampleRateHz));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(iq.data()), static_cast<std::streamsize>(iq.size() * sizeof(int16_t)));
}

constexpr double kCentreMHz = 100.0;
// Windows of 1/60 s: while the rate control moves the resampling ratio, the pitch glides, and one
// frequency per tone fits a glide over the usual 50 ms no better than -66 dB.
constexpr std::size_t kWindow = 800;
constexpr std::size_t kWindows = 48000 / kWindow;

} // namespace

class FmReplayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_registry.writeEntry("wav.conf", {{"key", "WavFileWriter"},
                                           {"clsid", kWavClassId},
                                           {"description", "WAV File Writer"},
                                           {"server", RTSA_WAV_ASIO_DRIVER},
                                           {"file", m_wav.string()},
                                           {"sampletype", "float32"},
                                           {"channels", "2"}});
    }

    void cleanup() { qunsetenv("RZSIM_REPLAY"); }

    void referenceStationThroughTheAnalyser_data()
    {
        QTest::addColumn<double>("rateMHz");
        for (double mhz : realTimeRatesMHz({2.0, 20.0}, {2.0, 5.0}))
            QTest::addRow("%.0f MS/s", mhz) << mhz;
    }

    void referenceStationThroughTheAnalyser()
    {
        QFETCH(double, rateMHz);
        const FmTestSignal station = FmTestSignal::referenceStation(rateMHz * 1e6);
        const std::filesystem::path recording = m_recordings.path() / "station.cs16";
        writeRecording(recording, station);
        qputenv("RZSIM_REPLAY", recording.string().c_str());

        QStringList lines;
        RtsaController c([] { return std::make_unique<RZ640Device>(); },
                         [this](AsioLogSink log) {
                             return std::make_unique<AsioBackend>(std::vector{m_registry.path()}, std::move(log));
                         });
        connect(&c, &RtsaController::logMessage, &c, [&lines](const QString& line) { lines << line; });
        // The recording ignores tuning and gains: the station lies where it was recorded, 1/16 of
        // the rate above whatever centre is set.
        c.applyParams(kCentreMHz, rateMHz, 0, 0, 20, 30);
        const double stationHz = kCentreMHz * 1e6 + station.carrierOffsetHz;
        c.setNewDemodEnabled(true);
        c.setAudioDeviceName(QStringLiteral("WAV File Writer"));
        QVERIFY2(c.startRx(), qPrintable(lines.join('\n')));
        // Reception under way before the first run.
        QTest::qWait(1000);

        struct Run {
            const char* name;
            double detuneHz;
            bool stereo;
        };
        for (const Run& run : {Run{"exactly tuned", 0.0, true}, {"500 Hz off", 500.0, true}, {"mono", 0.0, false}}) {
            c.setNewDemodFreqHz(stationHz + run.detuneHz);
            c.setNewDemodFmStereoEnabled(run.stereo);
            // A fresh file for each run, of which the last second is measured: by then the pilot
            // loop has locked and the rate control has settled.
            lines.clear();
            c.setAudioEnabled(true);
            QTest::qWait(2500);
            c.setAudioEnabled(false);
            // What the receiver, the channel and the audio output said meanwhile, for a failure.
            const QRegularExpression said(QStringLiteral("^RX |Throttle|\\[Demod\\]|Audio: "));
            const QByteArray log = lines.filter(said).join('\n').toUtf8();
            const auto wav = readWavFile(m_wav);
            QVERIFY(wav);
            QCOMPARE(wav->bitsPerSample, uint16_t{32});
            QCOMPARE(wav->channels, uint16_t{2});
            QVERIFY2(wav->frames() > 72000, qPrintable(QString::number(wav->frames())));
            const Played played = lastSecond(*wav);
            // Stereo judged by its weaker channel, mono with both tones in its one channel.
            MonoFigures f{};
            double separationDb = 0.0;
            if (run.stereo) {
                const StereoFigures s = stereoFigures(played.left, played.right, kWindow);
                qInfo("%.0f MS/s stereo %s: separation L->R %.1f dB, R->L %.1f dB, THD+N %.1f dB, pilot %.1f dBFS, "
                      "tones %.4f and %.4f over %zu windows",
                      rateMHz, run.name, s.leftToRightDb, s.rightToLeftDb, s.thdnDb, s.pilotDbfs, s.leftLevel,
                      s.rightLevel, s.windows);
                f = {s.thdnDb, s.pilotDbfs, s.leftLevel, s.rightLevel, s.windows};
                separationDb = s.separationDb;
            } else {
                f = monoFigures(played.left, kWindow);
                qInfo("%.0f MS/s mono: THD+N %.1f dB, pilot %.1f dBFS, tones %.4f and %.4f over %zu windows", rateMHz,
                      f.thdnDb, f.pilotDbfs, f.leftLevel, f.rightLevel, f.windows);
            }
            QVERIFY2(f.windows >= kWindows * 3 / 4, log.constData());
            QVERIFY2(!run.stereo || separationDb >= 45.0, log.constData());
            QVERIFY2(f.thdnDb <= (run.stereo ? -66.0 : -78.0), log.constData());
            QVERIFY2(f.pilotDbfs <= -90.0, log.constData());
            QVERIFY2(std::abs(20.0 * std::log10(f.leftLevel / f.rightLevel)) <= 0.5, log.constData());
            // Each tone at 0.45 of its level of the 75 kHz deviation read at the 150 kHz scale,
            // times the audio gain of 2.
            QVERIFY2(std::abs(f.leftLevel - 0.45 * station.leftLevel) < 0.01, log.constData());
        }
        c.stopRx();
    }

private:
    TestFolder m_registry{"fm-replay-registry"};
    TestFolder m_recordings{"fm-replay"};
    const std::filesystem::path m_wav = m_recordings.path() / "played.wav";
};

QTEST_GUILESS_MAIN(FmReplayTest)
#include "FmReplayTest.moc"
