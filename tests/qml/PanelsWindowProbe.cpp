// Preloaded into the unmodified analyser to use it through its panels only, with clicks and
// key presses on controls found by name: connect, choose 30 MS/s, type a broadcast station's
// frequency, start, switch on the persistence display and the waterfall, add a marker and send
// it to the peak, bind the demodulator to it, choose the WAV file driver, switch demodulation
// and FM stereo on. Then it reads the controller's settings and the log panel, retunes to
// 5 MS/s beside the station, stops, and checks that the recording holds the station's audio:
// run with RZSIM_TEST_TONES=1, every station sends a 1 kHz tone on the left and a 3 kHz tone
// on the right. With RTSA_PROBE_SCREENSHOT set, it saves the window with the panels open while
// demodulating.
#include "WindowProbe.h"
#include "tests/support/EventWait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QVariantList>
#include <QVariantMap>
#include <QtTest/QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr double kStationMHz = 99.4;
constexpr double kSpanHz = 30e6;
// The broadcast stations of the simulated receiver, all inside a 30 MHz span around 99.4 MHz.
constexpr double kStationsMHz[] = {88.3, 90.1, 91.9, 94.5, 96.7, 99.4, 101.1, 104.3, 106.8};
constexpr int kAudioRate = 48000;
// The recording is listened to in its first 1.5 s: the first second holds the prefill and the
// stereo decoder settling; half a second after it is enough to tell the tones apart and short
// enough for the rate control to hold a tone's pitch still.
constexpr int kRecordingHeard = kAudioRate * 3 / 2;

// A stereo recording as the WAV driver writes it (16-bit integer samples).
struct Recording {
    std::vector<float> left;
    std::vector<float> right;
    QString error;
};

uint32_t le32(const char* p)
{
    uint32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t le16(const char* p)
{
    uint16_t v = 0;
    std::memcpy(&v, p, 2);
    return v;
}

Recording readWav(const QString& path)
{
    Recording out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = u"cannot open "_s + path;
        return out;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") {
        out.error = path + u" is not a WAV file"_s;
        return out;
    }
    int channels = 0;
    int bits = 0;
    uint32_t rate = 0;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const char* chunk = bytes.constData() + at;
        const uint32_t size = le32(chunk + 4);
        const qsizetype body = at + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            if (le16(chunk + 8) != 1)
                out.error = u"%1 does not hold integer PCM"_s.arg(path);
            channels = le16(chunk + 10);
            rate = le32(chunk + 12);
            bits = le16(chunk + 22);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!out.error.isEmpty())
                return out;
            if (channels != 2 || bits != 16 || rate != kAudioRate) {
                out.error = u"%1 holds %2 channels of %3 bits at %4 Hz, expected 2 x 16 bits at 48000 Hz"_s.arg(path)
                                .arg(channels).arg(bits).arg(rate);
                return out;
            }
            const qsizetype frames = std::min<qsizetype>(size, bytes.size() - body) / 4;
            for (qsizetype i = 0; i < frames; ++i) {
                const char* frame = bytes.constData() + body + 4 * i;
                out.left.push_back(static_cast<int16_t>(le16(frame)) / 32768.0f);
                out.right.push_back(static_cast<int16_t>(le16(frame + 2)) / 32768.0f);
            }
            return out;
        }
        at = body + size + (size & 1);
    }
    out.error = path + u" has no data"_s;
    return out;
}

// Amplitude of the frequency-f component of x[from, from + n) (Goertzel), in full-scale units.
double toneAmplitude(const std::vector<float>& x, std::size_t from, std::size_t n, double f)
{
    const double w = 2.0 * std::numbers::pi * f / kAudioRate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    for (std::size_t i = from; i < from + n; ++i) {
        const double s0 = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(0.0, power)) / static_cast<double>(n);
}

// The strongest tone within 6 % of f: the demodulator's rate control resamples by up to 5 %
// either way while it settles, which moves every tone by as much.
double toneNear(const std::vector<float>& x, std::size_t from, std::size_t n, double f)
{
    double strongest = 0.0;
    for (double g = 0.94 * f; g <= 1.06 * f; g += 1.0)
        strongest = std::max(strongest, toneAmplitude(x, from, n, g));
    return strongest;
}

// The file the WAV driver writes, from its registry entry beside the executable; relative
// names are taken from the working folder, as the driver takes them.
QString wavDriverFile()
{
    QFile entry(QCoreApplication::applicationDirPath() + u"/asio/wav.conf"_s);
    if (!entry.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QRegularExpression fileLine(u"^\\s*file\\s*=\\s*(.+?)\\s*$"_s);
    for (const QString& line : QString::fromUtf8(entry.readAll()).split(u'\n')) {
        const QRegularExpressionMatch m = fileLine.match(line);
        if (m.hasMatch())
            return QDir::current().absoluteFilePath(m.captured(1));
    }
    return {};
}

class PanelsWindowProbe : public WindowProbe {
public:
    using WindowProbe::WindowProbe;

protected:
    bool scenario() override
    {
        return tuneToTheStation() && start() && persistenceAndWaterfall() && markerOnThePeak() && demodulateIt()
               && checkSettings() && checkTheLog() && screenshotWithPanelsOpen() && retuneTo5MSpsBesideTheStation()
               && stopAndListen();
    }

private:
    bool flag(const char* name) const { return controller()->property(name).toBool(); }

    bool waitForFlag(const char* name, bool value)
    {
        return waitFor([=, this] { return flag(name) == value; }, 10000,
                       u"%1 to become %2"_s.arg(QLatin1String(name), value ? u"true"_s : u"false"_s));
    }

    // Opens the drop-down and clicks the entry whose text starts with `label`.
    bool choose(const QString& dropDown, const QString& label)
    {
        if (!click(dropDown + u"Button"_s))
            return false;
        QString entry;
        const bool shown = QTest::qWaitFor(
            [&] {
                for (int i = 0; item(dropDown + u"Entry"_s + QString::number(i)); ++i) {
                    if (text(dropDown + u"Entry"_s + QString::number(i)).startsWith(label)) {
                        entry = dropDown + u"Entry"_s + QString::number(i);
                        return true;
                    }
                }
                return false;
            },
            5000);
        return (shown || fail(u"%1 offers no \"%2\""_s.arg(dropDown, label))) && click(entry);
    }

    bool tuneToTheStation()
    {
        return click(u"connectButton"_s) && waitForFlag("connected", true) && click(u"rate30"_s)
               && typeInto(u"centerFreqField"_s, u"99,4"_s) && click(u"applyButton"_s);
    }

    bool start()
    {
        return click(u"startButton"_s)
               && waitFor(
                   [this] {
                       return flag("running") && !view()->property("demo").toBool()
                              && property(view(), "centerFreqHz") == kStationMHz * 1e6
                              && property(view(), "maxFreqHz") - property(view(), "minFreqHz") == kSpanHz;
                   },
                   30000, u"live frames of 30 MHz around 99.4 MHz"_s);
    }

    bool persistenceAndWaterfall()
    {
        return click(u"dpxPanelHeader"_s) && click(u"fluorSwitch"_s) && waitForFlag("densityEnabled", true)
               && click(u"dpxPanelHeader"_s) && click(u"waterfallPanelHeader"_s) && click(u"waterfallSwitch"_s)
               && waitForFlag("waterfallEnabled", true) && click(u"waterfallPanelHeader"_s);
    }

    double markerFreqHz() const
    {
        const QVariantList markers = controller()->property("markers").toList();
        return markers.isEmpty() ? NAN : markers.first().toMap().value(u"freqHz"_s).toDouble();
    }

    // The strongest thing in a span full of broadcast stations is one of them.
    bool markerOnThePeak()
    {
        if (!click(u"markersPanelHeader"_s) || !click(u"addMarkerButton"_s)
            || !waitFor([this] { return item(u"mkToPeak1"_s) != nullptr; }, 5000, u"marker 1's row"_s))
            return false;
        if (!check(markerFreqHz() == kStationMHz * 1e6, u"marker 1 was not added at the centre"_s)
            || !click(u"mkToPeak1"_s))
            return false;
        const double hz = markerFreqHz();
        const bool onAStation = std::any_of(std::begin(kStationsMHz), std::end(kStationsMHz),
                                            [hz](double mhz) { return std::abs(hz - mhz * 1e6) < 100e3; });
        m_markerHz = hz;
        std::fprintf(stderr, "marker 1 on the peak at %.6f MHz\n", hz / 1e6);
        return check(onAStation, u"the peak at %1 MHz is no broadcast station"_s.arg(hz / 1e6, 0, 'f', 6))
               && textIs(u"mkFreq1"_s, QString::number(hz / 1e6, 'f', 6));
    }

    bool demodulateIt()
    {
        return click(u"demodPanelHeader"_s) && choose(u"demodBindingDropDown"_s, u"M1 @ "_s)
               && waitFor([this] { return property(controller(), "newDemodFreqHz") == m_markerHz; }, 5000,
                          u"the demodulator to follow marker 1"_s)
               && choose(u"audioDeviceDropDown"_s, u"WAV File Writer"_s) && click(u"demodSwitch"_s)
               && waitForFlag("newDemodEnabled", true) && waitForFlag("audioEnabled", true)
               && click(u"stereoSwitch"_s) && waitForFlag("newDemodFmStereoEnabled", true);
    }

    bool checkSettings()
    {
        bool ok = check(controller()->property("audioDeviceName").toString() == u"WAV File Writer"_s,
                        u"audioDeviceName is \"%1\""_s.arg(controller()->property("audioDeviceName").toString()));
        ok &= check(state()->property("newDemodMarkerId").toInt() == 1, u"the demodulator is not bound to M1"_s);
        ok &= check(property(controller(), "newDemodFreqHz") == m_markerHz, u"newDemodFreqHz left the marker"_s);
        ok &= check(property(controller(), "newDemodFmDeviationHz") == 150000, u"deviation is not 150 kHz"_s);
        ok &= check(property(controller(), "audioOutputChannelLeft") == 0
                        && property(controller(), "audioOutputChannelRight") == 1,
                    u"stereo plays on outputs %1 and %2, expected 0 and 1"_s
                        .arg(property(controller(), "audioOutputChannelLeft"))
                        .arg(property(controller(), "audioOutputChannelRight")));
        ok &= check(flag("running") && flag("densityEnabled") && flag("waterfallEnabled"),
                    u"acquisition, persistence or waterfall went off"_s);
        ok &= check(item(u"mkDemod1"_s)->isVisible(), u"marker 1 has no Demod tag"_s);
        ok &= textMatches(u"demodBoundText"_s, u"^Bound: M1 @ %1 MHz$"_s.arg(m_markerHz / 1e6, 0, 'f', 6));
        ok &= textIs(u"audioDeviceDropDownButton"_s, u"WAV File Writer  \u25be"_s);
        return ok;
    }

    // The log panel, opened, shows the audio output's opened line in the audio colour.
    bool checkTheLog()
    {
        const QString opened = u"<font color=\"#79D07B\">Audio: opened WAV File Writer buf=256 (prefill: "_s;
        return click(u"demodPanelHeader"_s) && click(u"markersPanelHeader"_s) && click(u"logPanelHeader"_s)
               && waitFor([&] { return text(u"logText"_s).contains(opened); }, 10000,
                          u"the log to show the audio output opened"_s)
               && check(item(u"logText"_s)->isVisible(), u"the log text is hidden"_s);
    }

    // The panels that say most about a running demodulator, open, the receiver's panel back in
    // sight, once the waterfall has filled its part of the view.
    bool screenshotWithPanelsOpen()
    {
        if (qEnvironmentVariableIsEmpty("RTSA_PROBE_SCREENSHOT")) {
            QTest::qWait(4000);
            return true;
        }
        const bool opened = click(u"logPanelHeader"_s) && click(u"markersPanelHeader"_s)
                            && click(u"demodPanelHeader"_s) && click(u"dspPanelHeader"_s)
                            && reveal(item(u"devicePanel"_s));
        QTest::qWait(10000);
        return opened && saveScreenshot();
    }

    // The recording is judged in a 5 MS/s span with the station 1 MHz above its centre: a busy
    // machine, or a sanitizer build, cannot synthesise and demodulate 30 MS/s in real time, and
    // the gaps that leaves in the audio would say nothing about the panels. From 5 MS/s up the
    // demodulator works at one rate, so the marker's offset from the carrier plays the same.
    // The centre is typed and the rate chosen in the device panel; the retune restarts the audio
    // output, which starts the recording afresh, and the demodulator stays on the marker.
    bool retuneTo5MSpsBesideTheStation()
    {
        const double centreHz = m_markerHz - 1e6;
        return typeInto(u"centerFreqField"_s, QString::number(centreHz / 1e6, 'f', 6)) && click(u"rate5"_s)
               && waitFor(
                   [=, this] {
                       return flag("running") && std::abs(property(view(), "centerFreqHz") - centreHz) < 1
                              && property(view(), "maxFreqHz") - property(view(), "minFreqHz") == 5e6;
                   },
                   20000, u"live frames of 5 MHz beside marker 1"_s)
               && check(property(controller(), "newDemodFreqHz") == m_markerHz, u"the demodulator left marker 1"_s)
               && (QTest::qWait(5000), true)
               && waitFor([] { return recordedFrames() >= kRecordingHeard; }, kEventWaitMs,
                          u"the recording to hold what is listened to"_s);
    }

    // What the WAV driver has written so far: 16-bit stereo frames after a 44-byte header. A
    // busy machine's driver thread may write them slower than the clock.
    static qint64 recordedFrames() { return (QFileInfo(wavDriverFile()).size() - 44) / 4; }

    // Stopping closes the audio output and with it the recording, which then holds the
    // station: its left tone on the left and its right tone on the right.
    bool stopAndListen()
    {
        if (!click(u"stopButton"_s) || !waitForFlag("running", false))
            return false;
        const QString path = wavDriverFile();
        if (path.isEmpty())
            return fail(u"no file in the WAV driver's registry entry"_s);
        const Recording wav = readWav(path);
        if (!wav.error.isEmpty())
            return fail(wav.error);
        const std::size_t from = kAudioRate;
        const std::size_t n = kRecordingHeard - from;
        if (wav.left.size() < from + n)
            return fail(u"the recording holds only %1 frames"_s.arg(wav.left.size()));
        const double l1 = toneNear(wav.left, from, n, 1000.0);
        const double l3 = toneNear(wav.left, from, n, 3000.0);
        const double r1 = toneNear(wav.right, from, n, 1000.0);
        const double r3 = toneNear(wav.right, from, n, 3000.0);
        std::fprintf(stderr, "recording %s: %zu frames; left 1 kHz %.4f, 3 kHz %.4f; right 1 kHz %.4f, 3 kHz %.4f\n",
                     qPrintable(path), wav.left.size(), l1, l3, r1, r3);
        // Played at 2x gain after de-emphasis, the tones stand at about 0.4 and 0.26.
        return check(l1 > 0.1 && r3 > 0.06, u"the station's tones are missing from the recording"_s)
               && check(l1 > 10 * l3 && r3 > 10 * r1, u"left and right are not the station's left and right"_s);
    }

    double m_markerHz = NAN;
};

void startProbe()
{
    startWindowProbe<PanelsWindowProbe>();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
