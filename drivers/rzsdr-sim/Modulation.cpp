#include "Modulation.h"

#include "SineTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

namespace {

// Small deterministic generator so that every run shows the same scene.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : m_state(seed * 2654435761u + 1) {}
    uint32_t next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return m_state >> 8;
    }
    double uniform() { return next() / 16777216.0; }

private:
    uint32_t m_state;
};

uint32_t increment(double hz, double rate)
{
    return phaseIncrement(hz / rate);
}

// Raised-cosine ramp 0..1 over the first and last `ramp` seconds of [0, length).
float keyingEnvelope(double t, double length, double ramp)
{
    if (t < 0.0 || t >= length)
        return 0.0f;
    const double edge = std::min(t, length - t);
    if (edge >= ramp)
        return 1.0f;
    return static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * edge / ramp));
}

// A plucked note with a few harmonics; `age` seconds since the note began.
float note(const SineTable& sine, double hz, double age, double decay, uint32_t& phase, double rate)
{
    const uint32_t inc = increment(hz, rate);
    phase += inc;
    const float env = static_cast<float>(std::min(1.0, age / 0.008) * std::exp(-age / decay));
    return env * (sine.sin(phase) + 0.35f * sine.sin(2 * phase) + 0.15f * sine.sin(3 * phase));
}

// One channel of a programme: a melody line over a scale, with its own rhythm and register.
struct Line {
    std::vector<double> notesHz;
    double noteSeconds;
    double decaySeconds;
    uint32_t phase = 0;
};

Line makeLine(uint32_t seed, double baseHz, double noteSeconds, double decaySeconds, int count)
{
    static constexpr std::array<int, 5> kPentatonic{0, 2, 4, 7, 9};
    Lcg rng(seed);
    Line line{{}, noteSeconds, decaySeconds};
    int degree = 0;
    for (int i = 0; i < count; ++i) {
        degree = std::clamp(degree + static_cast<int>(rng.next() % 5) - 2, 0, 9);
        const int semitones = kPentatonic[degree % 5] + 12 * (degree / 5);
        line.notesHz.push_back(baseHz * std::pow(2.0, semitones / 12.0));
    }
    return line;
}

float play(const SineTable& sine, Line& line, double t, double rate)
{
    const auto index = static_cast<std::size_t>(t / line.noteSeconds) % line.notesHz.size();
    const double age = std::fmod(t, line.noteSeconds);
    return note(sine, line.notesHz[index], age, line.decaySeconds, line.phase, rate);
}

// Pre-emphasis that exactly undoes a one-pole de-emphasis with the same time constant.
class PreEmphasis {
public:
    PreEmphasis(double tauSeconds, double rate) : m_a(static_cast<float>(std::exp(-1.0 / (tauSeconds * rate)))) {}
    float process(float x)
    {
        const float y = (x - m_a * m_prev) / (1.0f - m_a);
        m_prev = x;
        return y;
    }

private:
    float m_a;
    float m_prev = 0.0f;
};

const char* morse(char c)
{
    static const char* const kLetters[26] = {".-",   "-...", "-.-.", "-..",  ".",   "..-.", "--.",  "....", "..",
                                             ".---", "-.-",  ".-..", "--",   "-.",  "---",  ".--.", "--.-", ".-.",
                                             "...",  "-",    "..-",  "...-", ".--", "-..-", "-.--", "--.."};
    static const char* const kDigits[10] = {"-----", ".----", "..---", "...--", "....-",
                                            ".....", "-....", "--...", "---..", "----."};
    if (c >= 'A' && c <= 'Z')
        return kLetters[c - 'A'];
    if (c >= '0' && c <= '9')
        return kDigits[c - '0'];
    if (c == '/')
        return "-..-.";
    return "";
}

} // namespace

Modulation makeStereoBroadcast(int programme)
{
    constexpr double kDeviationHz = 75000.0;
    const auto count = static_cast<std::size_t>(kBroadcastProgrammeSeconds * kMessageRate);
    const SineTable& sine = SineTable::instance();

    // Left and right carry different lines so that a stereo decoder has something to separate.
    Line left = programme == 0 ? makeLine(11, 440.0, 0.25, 0.20, 24) : makeLine(23, 220.0, 0.125, 0.08, 48);
    Line right = programme == 0 ? makeLine(17, 110.0, 0.5, 0.45, 12) : makeLine(29, 660.0, 0.375, 0.30, 16);

    std::vector<float> l(count), r(count);
    float peak = 1e-6f;
    for (std::size_t n = 0; n < count; ++n) {
        const double t = n / kMessageRate;
        l[n] = play(sine, left, t, kMessageRate);
        r[n] = play(sine, right, t, kMessageRate);
        peak = std::max({peak, std::abs(l[n]), std::abs(r[n])});
    }

    Modulation mod;
    mod.deviationHz.resize(count);
    PreEmphasis preL(75e-6, kMessageRate), preR(75e-6, kMessageRate);
    const uint32_t pilotInc = increment(19000.0, kMessageRate);
    uint32_t pilot = 0;
    const float level = 0.8f / peak;
    for (std::size_t n = 0; n < count; ++n) {
        const float lp = std::clamp(preL.process(l[n] * level), -1.0f, 1.0f);
        const float rp = std::clamp(preR.process(r[n] * level), -1.0f, 1.0f);
        const float mpx = 0.45f * (lp + rp) + 0.45f * (lp - rp) * sine.sin(2 * pilot) + 0.1f * sine.sin(pilot);
        pilot += pilotInc;
        mod.deviationHz[n] = static_cast<float>(kDeviationHz) * mpx;
    }
    return mod;
}

Modulation makeStereoTestTones(bool tones)
{
    constexpr double kDeviationHz = 75000.0;
    // One millisecond holds whole cycles of both tones (1 and 3) and of the pilot (19).
    constexpr std::size_t kEntries = 250;
    constexpr double kPilotHz = 19000.0;
    constexpr double kLeftHz = 1000.0;
    constexpr double kRightHz = 3000.0;

    // The multiplex 0.45 (L + R) + 0.45 (L - R) sin(2 wp t) + 0.1 sin(wp t) with L = sin(wl t)
    // and R = sin(wr t), as sinusoids: sin(a) sin(b) = (cos(a - b) - cos(a + b)) / 2.
    struct Part {
        double amplitude;
        double hz;
        bool cosine;
    };
    const Part parts[] = {
        {0.45, kLeftHz, false},
        {0.45, kRightHz, false},
        {0.225, 2 * kPilotHz - kLeftHz, true},
        {-0.225, 2 * kPilotHz + kLeftHz, true},
        {-0.225, 2 * kPilotHz - kRightHz, true},
        {0.225, 2 * kPilotHz + kRightHz, true},
        {0.1, kPilotHz, false},
    };

    Modulation mod;
    mod.deviationHz.resize(kEntries);
    for (std::size_t n = 0; n < kEntries; ++n) {
        const double t = n / kMessageRate;
        double mpx = 0.0;
        for (const Part& p : parts) {
            if (!tones && p.hz != kPilotHz)
                continue;
            // The emitter holds each entry for a whole message sample, which weighs a component
            // of frequency f by sinc(f / kMessageRate); dividing by it puts the multiplex on the
            // air undistorted (the subcarrier sidebands would otherwise lose about 4 %).
            const double x = std::numbers::pi * p.hz / kMessageRate;
            const double phase = 2.0 * std::numbers::pi * p.hz * t;
            mpx += p.amplitude * x / std::sin(x) * (p.cosine ? std::cos(phase) : std::sin(phase));
        }
        mod.deviationHz[n] = static_cast<float>(kDeviationHz * mpx);
    }
    return mod;
}

Modulation makeVoiceOvers(uint32_t seed)
{
    constexpr double kSeconds = 9.0;
    constexpr double kVoiceRate = 8000.0;
    constexpr uint32_t kHold = 4;
    constexpr double kPeakDeviationHz = 2500.0;
    constexpr double kToneDeviationHz = 300.0;
    const SineTable& sine = SineTable::instance();
    Lcg rng(seed);

    // Two overs per loop, each a few words of syllables with gaps between the words.
    struct Over {
        double start, length;
    };
    constexpr std::array<Over, 2> kOvers{{{0.3, 3.4}, {5.2, 2.6}}};

    const auto voiceCount = static_cast<std::size_t>(kSeconds * kVoiceRate);
    std::vector<float> voice(voiceCount, 0.0f);
    uint32_t glottal = 0;
    double syllableEnd = 0.0, syllableStart = 0.0, formant1 = 600.0, formant2 = 1400.0, pitch = 120.0;
    for (std::size_t n = 0; n < voiceCount; ++n) {
        const double t = n / kVoiceRate;
        if (t >= syllableEnd) {
            syllableStart = t + (rng.next() % 4 == 0 ? 0.15 : 0.03);
            syllableEnd = syllableStart + 0.12 + 0.14 * rng.uniform();
            formant1 = 350.0 + 500.0 * rng.uniform();
            formant2 = 900.0 + 1500.0 * rng.uniform();
            pitch = 105.0 + 40.0 * rng.uniform();
        }
        const double f0 = pitch * (1.0 + 0.06 * std::sin(2 * std::numbers::pi * 0.9 * t));
        glottal += increment(f0, kVoiceRate);
        float sample = 0.0f;
        for (int k = 1; k * f0 < 3200.0; ++k) {
            const double f = k * f0;
            const double weight = 1.0 / (1.0 + std::pow((f - formant1) / 120.0, 2)) +
                                  0.6 / (1.0 + std::pow((f - formant2) / 180.0, 2)) + 0.02;
            sample += static_cast<float>(weight) * sine.sin(glottal * static_cast<uint32_t>(k));
        }
        voice[n] = sample * keyingEnvelope(t - syllableStart, syllableEnd - syllableStart, 0.03);
    }
    float peak = 1e-6f;
    for (float v : voice)
        peak = std::max(peak, std::abs(v));

    const auto count = static_cast<std::size_t>(kSeconds * kMessageRate / kHold);
    const double entryRate = kMessageRate / kHold;
    Modulation mod;
    mod.hold = kHold;
    mod.deviationHz.resize(count);
    mod.amplitude.resize(count);
    uint32_t tone = 0;
    const uint32_t toneInc = increment(88.5, entryRate);
    for (std::size_t n = 0; n < count; ++n) {
        const double t = n / entryRate;
        float carrier = 0.0f, speech = 0.0f;
        for (const Over& over : kOvers) {
            carrier = std::max(carrier, keyingEnvelope(t - over.start, over.length, 0.002));
            speech = std::max(speech, keyingEnvelope(t - over.start - 0.25, over.length - 0.5, 0.01));
        }
        const double at = t * kVoiceRate;
        const auto i = std::min(static_cast<std::size_t>(at), voiceCount - 2);
        const auto frac = static_cast<float>(at - static_cast<double>(i));
        const float v = (voice[i] + (voice[i + 1] - voice[i]) * frac) / peak;
        tone += toneInc;
        mod.amplitude[n] = carrier;
        mod.deviationHz[n] = carrier > 0.0f ? static_cast<float>(kPeakDeviationHz) * speech * v +
                                                  static_cast<float>(kToneDeviationHz) * sine.sin(tone)
                                            : 0.0f;
    }
    return mod;
}

Modulation makeMorseBeacon(const char* text)
{
    constexpr double kDotSeconds = 0.065;
    constexpr double kToneSeconds = 2.5;
    constexpr double kSilenceSeconds = 1.5;
    constexpr uint32_t kHold = 25;
    const double entryRate = kMessageRate / kHold;

    // Key-down intervals in dot units.
    std::vector<std::pair<int, int>> keyed;
    int at = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
        if (c == ' ') {
            at += 4;
            continue;
        }
        for (const char* sym = morse(c); *sym != '\0'; ++sym) {
            const int length = *sym == '.' ? 1 : 3;
            keyed.emplace_back(at, length);
            at += length + 1;
        }
        at += 2;
    }
    const double morseSeconds = at * kDotSeconds;
    const double total = morseSeconds + kToneSeconds + kSilenceSeconds;

    Modulation mod;
    mod.hold = kHold;
    mod.amplitude.resize(static_cast<std::size_t>(total * entryRate));
    for (std::size_t n = 0; n < mod.amplitude.size(); ++n) {
        const double t = n / entryRate;
        float a = keyingEnvelope(t - morseSeconds, kToneSeconds, 0.005);
        for (const auto& [start, length] : keyed)
            a = std::max(a, keyingEnvelope(t - start * kDotSeconds, length * kDotSeconds, 0.005));
        mod.amplitude[n] = a;
    }
    return mod;
}

Modulation makeHopper(uint32_t seed, double channelSpacingHz)
{
    constexpr int kBursts = 64;
    constexpr int kChannels = 16;
    constexpr double kBurstPeriodSeconds = 0.045;
    constexpr double kBurstSeconds = 0.003;
    constexpr double kFskDeviationHz = 20000.0;
    constexpr uint32_t kHold = 25; // one FSK symbol per entry: 10 kbit/s
    const double entryRate = kMessageRate / kHold;
    Lcg rng(seed);

    Modulation mod;
    mod.hold = kHold;
    const auto perBurst = static_cast<std::size_t>(kBurstPeriodSeconds * entryRate);
    mod.deviationHz.resize(perBurst * kBursts);
    mod.amplitude.resize(perBurst * kBursts);
    for (int b = 0; b < kBursts; ++b) {
        const double channel = (static_cast<int>(rng.next() % kChannels) - (kChannels - 1) / 2.0) * channelSpacingHz;
        const double start = 0.004 * rng.uniform();
        for (std::size_t i = 0; i < perBurst; ++i) {
            const double t = i / entryRate;
            const float a = keyingEnvelope(t - start, kBurstSeconds, 0.0002);
            const std::size_t n = b * perBurst + i;
            mod.amplitude[n] = a;
            mod.deviationHz[n] =
                static_cast<float>(channel + (a > 0.0f ? (rng.next() & 1 ? kFskDeviationHz : -kFskDeviationHz) : 0.0));
        }
    }
    return mod;
}
