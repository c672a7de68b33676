#include "SceneRenderer.h"

#include "IqVectors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

using namespace iqvectors;

namespace {

// Total noise power over the band at the reference gain and 20 MS/s, and the converter's own
// noise, which no front-end setting moves.
constexpr double kNoiseDbfs = -72.0;
constexpr double kConverterNoiseDbfs = -93.0;
constexpr double kReferenceRate = 20e6;
constexpr float kDcOffsetI = 2.2e-4f;
constexpr float kDcOffsetQ = -1.3e-4f;

double fromDb(double db)
{
    return std::pow(10.0, db / 20.0);
}

// Half-cosine rise from 0 at `at` = 0 to 1 at `at` = `length`.
double rise(double at, double length)
{
    return 0.5 - 0.5 * std::cos(std::numbers::pi * at / length);
}

// The work buffers: room for a last group of four that starts on any sample of the longest
// stretch.
constexpr std::size_t kWorkLength = NoiseTable::kMaxRead + 3;
// A loop needs room for its crossfade; shorter than this, everything stays live.
constexpr uint64_t kShortestLoopMs = 100;
// The programme's crossfade at the loop's seam: long enough to be heard as a blend, not a click.
constexpr double kFadeSeconds = 0.05;

} // namespace

SceneRenderer::SceneRenderer(const Scene& scene, const NoiseTable& noise, uint64_t seed, std::size_t loopBytes)
    : m_scene(scene), m_noise(noise), m_loopBytes(loopBytes), m_re(kWorkLength), m_im(kWorkLength),
      m_out(2 * NoiseTable::kMaxRead), m_rng(seed | 1)
{
    for (std::size_t i = 0; i <= kResponsePoints; ++i)
        m_response[i] = static_cast<float>(bandEdgeResponse(static_cast<double>(i) / kResponsePoints - 0.5));
    tune(Tuning{});
}

void SceneRenderer::tune(const Tuning& tuning)
{
    m_rate = std::max<double>(tuning.sampleRateHz, 1.0);
    m_inverseRate = 1.0 / m_rate;
    m_runLength = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(m_rate / kMessageRate)));
    m_live.left = 0;

    const FrontEndGains gains = frontEndGains(tuning.frontEnd);
    const double front = fromDb(kNoiseDbfs + gains.noiseDb) * std::sqrt(m_rate / kReferenceRate);
    const double converter = fromDb(kConverterNoiseDbfs);
    m_noiseAmplitude = static_cast<float>(std::sqrt(front * front + converter * converter));

    m_active.clear();
    for (const Emitter& emitter : m_scene.emitters()) {
        const double offset = emitter.frequencyHz - static_cast<double>(tuning.centerHz);
        if (std::abs(offset) >= 0.5 * m_rate + emitter.reachHz)
            continue;
        Active a{&emitter, offset, static_cast<float>(fromDb(emitter.levelDbfs + gains.signalDb))};
        const Modulation& mod = *emitter.modulation;
        a.entry = (m_live.run / mod.hold + emitter.startEntry) % mod.entries();
        a.holdLeft = mod.hold - static_cast<uint32_t>(m_live.run % mod.hold);
        m_active.push_back(a);
    }

    // Whole milliseconds, which hold whole runs and whole cycles of the pilot and the test tones;
    // no longer than the music programme, beyond which a loop would hold nothing new.
    const double seconds = std::min(kBroadcastProgrammeSeconds, static_cast<double>(m_loopBytes) / (4.0 * m_rate));
    const auto milliseconds = static_cast<uint64_t>(seconds * 1000.0);
    m_looping = std::fmod(m_rate, kMessageRate) == 0.0 && milliseconds >= kShortestLoopMs;
    m_looped = 0;
    if (!m_looping)
        return;
    const auto alwaysOn = [](const Active& a) { return a.emitter->modulation->amplitude.empty(); };
    m_looped = static_cast<std::size_t>(std::stable_partition(m_active.begin(), m_active.end(), alwaysOn) - m_active.begin());
    m_loopRuns = milliseconds * static_cast<uint64_t>(kMessageRate / 1000.0);
    m_fadeRuns = std::min(static_cast<uint64_t>(kFadeSeconds * kMessageRate), m_loopRuns / 4);
    m_loopOrigin = m_live.run;
    m_loopClock = RunClock{};
    m_loopPending = true;
    m_loopPeak = 0;
    m_keyedPeak = 0.0f;
    const float response = *std::max_element(m_response.begin(), m_response.end());
    for (const Active& a : std::span<const Active>(m_active).subspan(m_looped))
        m_keyedPeak += a.amplitude * response * kFullScale;
}

void SceneRenderer::render(uint8_t* iq, std::size_t samples)
{
    if (m_looping)
        renderLooped(iq, samples);
    else
        renderLive(iq, samples);
}

template <class Start>
std::size_t SceneRenderer::addTones(std::span<Active> emitters, RunClock& clock, std::size_t samples, bool onZero,
                                    Start start)
{
    std::size_t first = samples;
    for (std::size_t i = 0; i < samples;) {
        if (clock.left == 0) {
            start(clock.run);
            ++clock.run;
            clock.left = m_runLength;
        }
        const std::size_t count = std::min<std::size_t>(clock.left, samples - i);
        // On zero, the first tone of a run writes its stretch instead of adding to it.
        bool written = !onZero;
        for (Active& a : emitters) {
            if (a.runAmplitude == 0.0f) {
                a.phase += a.increment * static_cast<uint32_t>(count);
                continue;
            }
            float* re = m_re.data() + i;
            float* im = m_im.data() + i;
            if (written)
                tone<true>(re, im, count, a.phase, a.increment, a.runAmplitude);
            else
                tone<false>(re, im, count, a.phase, a.increment, a.runAmplitude);
            written = true;
            first = std::min(first, i);
        }
        if (!written && first < samples) {
            std::fill_n(m_re.begin() + static_cast<std::ptrdiff_t>(i), count, 0.0f);
            std::fill_n(m_im.begin() + static_cast<std::ptrdiff_t>(i), count, 0.0f);
        }
        i += count;
        clock.left -= static_cast<uint32_t>(count);
    }
    return first;
}

void SceneRenderer::fillNoise(std::size_t samples)
{
    // xorshift: a fresh noise position per chunk.
    m_rng ^= m_rng << 13;
    m_rng ^= m_rng >> 7;
    m_rng ^= m_rng << 17;
    const std::size_t from = m_rng % m_noise.length();
    const float* noiseRe = m_noise.re() + from;
    const float* noiseIm = m_noise.im() + from;
    float* re = m_re.data();
    float* im = m_im.data();
    for (std::size_t i = 0; i < samples; ++i) {
        re[i] = m_noiseAmplitude * noiseRe[i] + kDcOffsetI;
        im[i] = m_noiseAmplitude * noiseIm[i] + kDcOffsetQ;
    }
}

void SceneRenderer::convert(int16_t* iq, std::size_t samples) const
{
    // The work buffers hold whole groups of four; the tail beyond `samples` is never copied out.
    for (std::size_t i = 0; i < samples; i += 4) {
        const Int4 pairs = pack(roundClip(load4(m_re.data() + i) * kFullScale), roundClip(load4(m_im.data() + i) * kFullScale));
        std::memcpy(iq + 2 * i, &pairs, sizeof pairs);
    }
}

void SceneRenderer::renderLive(uint8_t* iq, std::size_t samples)
{
    const std::span<Active> all(m_active);
    while (samples > 0) {
        const std::size_t n = std::min(samples, NoiseTable::kMaxRead);
        fillNoise(n);
        addTones(all, m_live, n, false, [&](uint64_t) { startLiveRun(all); });
        convert(m_out.data(), n);
        std::memcpy(iq, m_out.data(), 4 * n);
        iq += 4 * n;
        samples -= n;
    }
}

void SceneRenderer::renderLooped(uint8_t* iq, std::size_t samples)
{
    const std::span<Active> looped(m_active.data(), m_looped);
    if (m_loopPending) {
        // Only now, so that a receiver that never streams holds no storage.
        m_loop.restart(m_loopRuns * m_runLength);
        m_loopPending = false;
    }
    while (samples > 0) {
        // Pieces no longer than the work buffers: the first pass renders as it is read, so that
        // a retune holds up no read for long.
        const std::size_t n = std::min({samples, m_loop.untilEnd(), NoiseTable::kMaxRead});
        if (!m_loop.held()) {
            fillNoise(n);
            addTones(looped, m_loopClock, n, false, [this](uint64_t run) { startLoopRun(run); });
            convert(m_out.data(), n);
            int peak = m_loopPeak;
            for (std::size_t i = 0; i < 2 * n; ++i)
                peak = std::max(peak, std::abs(static_cast<int>(m_out[i])));
            m_loopPeak = peak;
            std::memcpy(m_loop.here(), m_out.data(), 4 * n);
        }
        addKeyed(m_loop.here(), iq, n);
        m_loop.advance(n);
        iq += 4 * n;
        samples -= n;
    }
}

void SceneRenderer::addKeyed(const uint8_t* from, uint8_t* iq, std::size_t samples)
{
    const std::span<Active> keyed(m_active.data() + m_looped, m_active.size() - m_looped);
    const std::size_t first = addTones(keyed, m_live, samples, true, [&](uint64_t) { startLiveRun(keyed); });
    std::memcpy(iq, from, 4 * first);
    // Once the loop's peak is known, the keyed emitters at full level may not reach full scale
    // on top of it; then the sums need no clipping.
    const bool within = m_loop.held() && static_cast<float>(m_loopPeak) + m_keyedPeak < kFullScale;
    if (within)
        mergeInto(from, iq, m_re.data(), m_im.data(), first, samples, mergeWithin);
    else
        mergeInto(from, iq, m_re.data(), m_im.data(), first, samples, merge);
}

void SceneRenderer::setRunTone(Active& a, float deviation, float level)
{
    // The increment moves on even for a silent run, so that a looped emitter's phase can be
    // accounted for in advance.
    const double normalized = (a.offsetHz + deviation) * m_inverseRate;
    a.increment = phaseIncrement(normalized);
    // Beyond the band the anti-alias filter removes the emitter rather than folding it in.
    if (level == 0.0f || std::abs(normalized) >= 0.5) {
        a.runAmplitude = 0.0f;
        return;
    }
    const auto point = static_cast<std::size_t>((normalized + 0.5) * kResponsePoints);
    a.runAmplitude = a.amplitude * level * m_response[point];
}

void SceneRenderer::startLiveRun(std::span<Active> emitters)
{
    for (Active& a : emitters) {
        const Modulation& mod =
            m_tonesOff ? m_scene.tonesKeyedOff(*a.emitter->modulation) : *a.emitter->modulation;
        const float deviation = mod.deviationHz.empty() ? 0.0f : mod.deviationHz[a.entry];
        const float level = mod.amplitude.empty() ? 1.0f : mod.amplitude[a.entry];
        if (--a.holdLeft == 0) {
            a.holdLeft = mod.hold;
            if (++a.entry == mod.entries())
                a.entry = 0;
        }
        setRunTone(a, deviation, level);
    }
}

float SceneRenderer::loopDeviation(const Active& a, uint64_t run) const
{
    const Modulation& mod = *a.emitter->modulation;
    if (mod.deviationHz.empty())
        return 0.0f;
    const auto at = [&](uint64_t message) {
        return mod.deviationHz[(message / mod.hold + a.emitter->startEntry) % mod.entries()];
    };
    const uint64_t message = m_loopOrigin + run;
    const uint64_t fadeFrom = m_loopRuns - m_fadeRuns;
    if (run < fadeFrom)
        return at(message);
    // One loop length earlier in the programme: what leads into the loop's first run.
    const uint64_t period = uint64_t{mod.hold} * mod.entries();
    const auto weight =
        static_cast<float>(rise(static_cast<double>(run - fadeFrom) + 0.5, static_cast<double>(m_fadeRuns)));
    return (1.0f - weight) * at(message) + weight * at(message + period - m_loopRuns % period);
}

uint32_t SceneRenderer::loopIncrement(const Active& a, uint64_t run) const
{
    return phaseIncrement((a.offsetHz + loopDeviation(a, run)) * m_inverseRate);
}

void SceneRenderer::startLoopRun(uint64_t run)
{
    const uint64_t fadeFrom = m_loopRuns - m_fadeRuns;
    for (Active& a : std::span<Active>(m_active.data(), m_looped)) {
        setRunTone(a, loopDeviation(a, run), 1.0f);
        if (run < fadeFrom)
            continue;
        // Over the crossfade the carrier's phase is steered to arrive at the seam where the loop
        // began (0), along the same smooth rise: a shift of a few hertz at most, where a jump of
        // phase at every seam would click in a demodulator.
        const uint64_t k = run - fadeFrom;
        if (k == 0) {
            uint32_t ahead = 0;
            for (uint64_t r = run; r < m_loopRuns; ++r)
                ahead += loopIncrement(a, r) * m_runLength;
            a.fadeFrom = a.phase;
            a.fadeAdvance = 0;
            a.fadeCorrection = static_cast<int32_t>(0u - (a.phase + ahead));
        }
        const auto fade = static_cast<double>(m_fadeRuns);
        const auto steered = [&](uint64_t boundary) {
            return static_cast<uint32_t>(std::llround(a.fadeCorrection * rise(static_cast<double>(boundary), fade)));
        };
        a.phase = a.fadeFrom + a.fadeAdvance + steered(k);
        a.fadeAdvance += a.increment * m_runLength;
        a.increment += static_cast<uint32_t>(static_cast<int32_t>(steered(k + 1) - steered(k)) /
                                             static_cast<int32_t>(m_runLength));
    }
}
