// Audio end to end: the controller on the simulated receiver's measurement-tone programme (left
// 1 kHz, right 3 kHz), FM stereo at a broadcast station, out through the drivers we ship: first
// the WAV file writer, then, switched over while playing, PortAudio into an ALSA file of the
// test's own. What each file holds is what left the driver.
#include "acquisition/RZ640Device.h"
#include "app/RtsaController.h"
#include "audio/AsioBackend.h"
#include "support/StereoTones.h"
#include "tests/audio/AsioTestRegistry.h"
#include "tests/audio/WavFileReader.h"
#include "tests/support/EventWait.h"

#include <QStringList>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace {

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
};

// A 16-bit stereo recording from frame `from` on, `count` frames at most, in full-scale units.
Stereo stereoFrom(const WavFileContents& wav, std::size_t from, std::size_t count)
{
    return {int16Channel(wav, 0, from, count), int16Channel(wav, 1, from, count)};
}

// The tones at the simulator's reference gains: half the 75 kHz programme read at the 150 kHz
// scale, after de-emphasis, times the gain of 2.
constexpr double kLeftLevel = 0.45 * 0.905;
constexpr double kRightLevel = 0.45 * 0.577;

} // namespace

class AudioSimulatorTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("RZSIM_TEST_TONES", "1");
        // The system's output: 16-bit stereo at 48 kHz into a WAV file, in front of a device
        // that takes audio as fast as it comes.
        std::ofstream conf(m_alsaConf);
        conf << "pcm.!default {\n  type plug\n  slave {\n    pcm {\n      type file\n      slave.pcm \"null\"\n"
             << "      file \"" << m_alsaRecording.string() << "\"\n      format \"wav\"\n    }\n"
             << "    format S16_LE\n    rate 48000\n    channels 2\n  }\n}\n";
        qputenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + m_alsaConf.string()).c_str());

        m_registry.writeEntry("wav.conf", {{"key", "WavFileWriter"},
                                           {"clsid", kWavClassId},
                                           {"description", "WAV File Writer"},
                                           {"server", RTSA_WAV_ASIO_DRIVER},
                                           {"file", m_wavRecording.string()},
                                           {"sampletype", "int16"},
                                           {"channels", "2"}});
        // A writer whose file cannot be created: its reason is what the user needs to see.
        m_registry.writeEntry("wav-nowhere.conf", {{"key", "WavNowhere"},
                                                   {"clsid", kWavClassId},
                                                   {"description", "WAV Nowhere"},
                                                   {"server", RTSA_WAV_ASIO_DRIVER},
                                                   {"file", "/nonexistent/folder/audio.wav"}});
        m_registry.writeEntry("portaudio.conf", {{"key", "PortAudioOutput"},
                                                 {"clsid", kPortAudioClassId},
                                                 {"description", "PortAudio Output"},
                                                 {"server", RTSA_PORTAUDIO_ASIO_DRIVER}});
    }

    // A recording that cannot be opened says why, in the driver's own words, and the failure
    // stays after acquisition stops.
    void aRecordingThatCannotOpenSaysWhy()
    {
        RtsaController c([] { return std::make_unique<RZ640Device>(); },
                         [this](AsioLogSink log) {
                             return std::make_unique<AsioBackend>(std::vector{m_registry.path()}, std::move(log));
                         });
        c.setNewDemodEnabled(true);
        c.setAudioDeviceName(QStringLiteral("WAV Nowhere"));
        c.setAudioEnabled(true);
        QVERIFY(c.startRx());
        const QString failure =
            QStringLiteral("Audio: open failed: ASIO: start failed: cannot create /nonexistent/folder/audio.wav");
        QTRY_COMPARE_WITH_TIMEOUT(c.lastError(), failure, kEventWaitMs);
        c.stopRx();
        QCOMPARE(c.lastError(), failure);
    }

    void stereoTonesLeaveThroughEachDriver()
    {
        QStringList lines;
        RtsaController c([] { return std::make_unique<RZ640Device>(); },
                         [this](AsioLogSink log) {
                             return std::make_unique<AsioBackend>(std::vector{m_registry.path()}, std::move(log));
                         });
        connect(&c, &RtsaController::logMessage, &c, [&lines](const QString& line) { lines << line; });
        QCOMPARE(c.audioDevices(), QStringList({"PortAudio Output", "WAV Nowhere", "WAV File Writer"}));

        // The station at 99.4 MHz, 400 kHz above the centre, at the simulator's reference gains.
        // 5 MS/s, the lowest rate the demodulator plays a broadcast station whole at, leave the
        // sanitizer builds time to keep up on a busy machine: at 10 MS/s beside two busy loops
        // the demodulator got two thirds of its input, and the recording's gaps hid the tones.
        c.applyParams(99.0, 5.0, 0, 0, 20, 30);
        c.setNewDemodFreqHz(99.4e6);
        c.setNewDemodFmStereoEnabled(true);
        QCOMPARE(c.audioOutputChannelLeft(), 0);
        QCOMPARE(c.audioOutputChannelRight(), 1);
        c.setNewDemodEnabled(true);
        c.setAudioDeviceName(QStringLiteral("WAV File Writer"));
        c.setAudioEnabled(true);
        QVERIFY(c.startRx());
        QVERIFY2(lines.filter(QStringLiteral("Audio: opened WAV File Writer buf=256")).size() == 1,
                 qPrintable(lines.join('\n')));
        // Long enough for the pilot to lock and the rate control to settle, and a second more:
        // 2.5 s of 16-bit stereo frames in the file, however long a busy machine takes to play them.
        std::error_code error;
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::file_size(m_wavRecording, error) >= 44 + 4 * 120000 && !error,
                                 kEventWaitMs);

        // Switching over closes the file and waits for fresh audio for the new driver, which
        // takes all the prefill at once and then whatever trickles in. Until the backend counts
        // itself open, the device plays silence, as fast as it plays anything: wait for plenty.
        lines.clear();
        c.setAudioDeviceName(QStringLiteral("PortAudio Output"));
        QVERIFY2(lines.filter(QStringLiteral("Audio: opened PortAudio Output buf=256")).size() == 1,
                 qPrintable(lines.join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::file_size(m_alsaRecording, error) > 2'000'000 && !error, kEventWaitMs);
        c.setAudioEnabled(false);
        c.stopRx();

        const auto wav = readWavFile(m_wavRecording);
        QVERIFY(wav);
        QCOMPARE(wav->channels, uint16_t{2});
        QCOMPARE(wav->bitsPerSample, uint16_t{16});
        QCOMPARE(wav->sampleRate, 48000u);
        // Of the 2.5 s or more written, the last second is measured.
        QVERIFY2(wav->frames() >= 120000, qPrintable(QString::number(wav->frames())));
        const Stereo played = stereoFrom(*wav, wav->frames() - 48000, 48000);
        const StereoFigures figures = stereoFigures(played.left, played.right);
        qInfo("WAV File Writer: separation %.1f dB, left 1 kHz at %.3f, right 3 kHz at %.3f over %zu windows",
              figures.separationDb, figures.leftLevel, figures.rightLevel, figures.windows);
        QVERIFY2(figures.windows >= 10, "most of the last second was silent");
        QVERIFY2(figures.separationDb >= 30.0, qPrintable(QString::number(figures.separationDb)));
        QVERIFY(std::abs(figures.leftLevel - kLeftLevel) < 0.05);
        QVERIFY(std::abs(figures.rightLevel - kRightLevel) < 0.05);

        // The prefill arrives whole at the start of the recording (after any silence the
        // device starts with); 1536 samples lie well inside it.
        const auto alsa = readWavFile(m_alsaRecording);
        QVERIFY(alsa);
        QCOMPARE(alsa->bitsPerSample, uint16_t{16});
        std::size_t start = 0;
        while (start < alsa->frames() && std::abs(stereoFrom(*alsa, start, 1).left[0]) < 0.01f)
            ++start;
        const Stereo heard = stereoFrom(*alsa, start, 1536);
        QCOMPARE(heard.left.size(), std::size_t{1536});
        const StereoFigures tones = stereoFigures(heard.left, heard.right, heard.left.size());
        QCOMPARE(tones.windows, std::size_t{1});
        qInfo("PortAudio Output: separation %.1f dB, left 1 kHz at %.3f, right 3 kHz at %.3f", tones.separationDb,
              tones.leftLevel, tones.rightLevel);
        QVERIFY2(tones.separationDb >= 30.0, qPrintable(QString::number(tones.separationDb)));
        QVERIFY(std::abs(tones.leftLevel - kLeftLevel) < 0.05);
        QVERIFY(std::abs(tones.rightLevel - kRightLevel) < 0.05);
    }

private:
    TestFolder m_registry{"audio-e2e-registry"};
    TestFolder m_recordings{"audio-e2e"};
    const std::filesystem::path m_wavRecording = m_recordings.path() / "wav-writer.wav";
    const std::filesystem::path m_alsaConf = m_recordings.path() / "asound.conf";
    const std::filesystem::path m_alsaRecording = m_recordings.path() / "alsa-output.wav";
};

QTEST_GUILESS_MAIN(AudioSimulatorTest)
#include "AudioSimulatorTest.moc"
