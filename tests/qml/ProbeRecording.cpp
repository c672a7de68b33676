#include "ProbeRecording.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

using namespace Qt::StringLiterals;

namespace probe_recording {

namespace {

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

} // namespace

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

qint64 recordedFrames()
{
    return (QFileInfo(wavDriverFile()).size() - 44) / 4;
}

QString stationTonesMissing()
{
    const QString path = wavDriverFile();
    if (path.isEmpty())
        return u"no file in the WAV driver's registry entry"_s;
    const Recording wav = readWav(path);
    if (!wav.error.isEmpty())
        return wav.error;
    const std::size_t from = kAudioRate;
    const std::size_t n = kRecordingHeard - from;
    if (wav.left.size() < from + n)
        return u"the recording holds only %1 frames"_s.arg(wav.left.size());
    const double l1 = toneNear(wav.left, from, n, 1000.0);
    const double l3 = toneNear(wav.left, from, n, 3000.0);
    const double r1 = toneNear(wav.right, from, n, 1000.0);
    const double r3 = toneNear(wav.right, from, n, 3000.0);
    std::fprintf(stderr, "recording %s: %zu frames; left 1 kHz %.4f, 3 kHz %.4f; right 1 kHz %.4f, 3 kHz %.4f\n",
                 qPrintable(path), wav.left.size(), l1, l3, r1, r3);
    // Played at 2x gain after de-emphasis, the tones stand at about 0.4 and 0.26.
    if (!(l1 > 0.1 && r3 > 0.06))
        return u"the station's tones are missing from the recording"_s;
    if (!(l1 > 10 * l3 && r3 > 10 * r1))
        return u"left and right are not the station's left and right"_s;
    return {};
}

} // namespace probe_recording
