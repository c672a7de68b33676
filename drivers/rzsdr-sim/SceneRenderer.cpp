#include "SceneRenderer.h"

#include "SineTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Total noise power over the band at the reference gain and 20 MS/s, and the converter's own
// noise, which no front-end setting moves.
constexpr double kNoiseDbfs = -72.0;
constexpr double kConverterNoiseDbfs = -93.0;
constexpr double kReferenceRate = 20e6;
constexpr float kDcOffsetI = 2.2e-4f;
constexpr float kDcOffsetQ = -1.3e-4f;
constexpr float kFullScale = 32767.0f;

double fromDb(double db)
{
    return std::pow(10.0, db / 20.0);
}

using Float4 = float __attribute__((vector_size(16)));

Float4 load4(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store4(float* p, Float4 v)
{
    std::memcpy(p, &v, sizeof v);
}

using Int4 = int32_t __attribute__((vector_size(16)));

// Full-scale units to clipped, rounded 16-bit values: offset into positive numbers so that the
// truncating conversion rounds to nearest.
Int4 toConverter(Float4 v)
{
    v *= kFullScale;
    v = v < -32768.0f ? Float4{} - 32768.0f : v;
    v = v > 32767.0f ? Float4{} + 32767.0f : v;
    return __builtin_convertvector(v + 32768.5f, Int4) - 32768;
}

// Adds amplitude * exp(j(phase + n * increment)) for n in [0, count): a constant tone, rotated
// four lanes at a time.
void addTone(float* re, float* im, std::size_t count, uint32_t& phase, uint32_t increment, float amplitude)
{
    const SineTable& table = SineTable::instance();
    float c, s, cw, sw, c4, s4;
    table.sincos(phase, c, s);
    table.sincos(increment, cw, sw);
    table.sincos(increment * 4u, c4, s4);
    float r0[4], i0[4];
    r0[0] = amplitude * c;
    i0[0] = amplitude * s;
    for (int k = 1; k < 4; ++k) {
        r0[k] = r0[k - 1] * cw - i0[k - 1] * sw;
        i0[k] = r0[k - 1] * sw + i0[k - 1] * cw;
    }
    Float4 lr = load4(r0);
    Float4 li = load4(i0);
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        store4(re + i, load4(re + i) + lr);
        store4(im + i, load4(im + i) + li);
        const Float4 r = lr * c4 - li * s4;
        li = lr * s4 + li * c4;
        lr = r;
    }
    for (int k = 0; i < count; ++i, ++k) {
        re[i] += lr[k];
        im[i] += li[k];
    }
    phase += increment * static_cast<uint32_t>(count);
}

} // namespace

SceneRenderer::SceneRenderer(const Scene& scene, const NoiseTable& noise, uint64_t seed)
    : m_scene(scene), m_noise(noise), m_re(NoiseTable::kMaxRead), m_im(NoiseTable::kMaxRead),
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
    m_runLeft = 0;

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
        a.entry = (m_messageClock / mod.hold + emitter.startEntry) % mod.entries();
        a.holdLeft = mod.hold - static_cast<uint32_t>(m_messageClock % mod.hold);
        m_active.push_back(a);
    }
}

void SceneRenderer::render(uint8_t* iq, std::size_t samples)
{
    while (samples > 0) {
        const std::size_t n = std::min(samples, NoiseTable::kMaxRead);
        renderChunk(n);
        std::memcpy(iq, m_out.data(), 4 * n);
        iq += 4 * n;
        samples -= n;
    }
}

void SceneRenderer::startRun()
{
    for (Active& a : m_active) {
        const Modulation& mod =
            m_tonesOff ? m_scene.tonesKeyedOff(*a.emitter->modulation) : *a.emitter->modulation;
        const float deviation = mod.deviationHz.empty() ? 0.0f : mod.deviationHz[a.entry];
        const float level = mod.amplitude.empty() ? 1.0f : mod.amplitude[a.entry];
        if (--a.holdLeft == 0) {
            a.holdLeft = mod.hold;
            if (++a.entry == mod.entries())
                a.entry = 0;
        }
        const double normalized = (a.offsetHz + deviation) * m_inverseRate;
        if (level == 0.0f || std::abs(normalized) >= 0.5) {
            a.runAmplitude = 0.0f;
            continue;
        }
        // Beyond the band the anti-alias filter removes the emitter rather than folding it in.
        a.increment = phaseIncrement(normalized);
        const auto point = static_cast<std::size_t>((normalized + 0.5) * kResponsePoints);
        a.runAmplitude = a.amplitude * level * m_response[point];
    }
}

void SceneRenderer::renderChunk(std::size_t samples)
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

    for (std::size_t i = 0; i < samples;) {
        if (m_runLeft == 0) {
            startRun();
            ++m_messageClock;
            m_runLeft = m_runLength;
        }
        const std::size_t count = std::min<std::size_t>(m_runLeft, samples - i);
        for (Active& a : m_active) {
            if (a.runAmplitude != 0.0f)
                addTone(re + i, im + i, count, a.phase, a.increment, a.runAmplitude);
            else
                a.phase += a.increment * static_cast<uint32_t>(count);
        }
        i += count;
        m_runLeft -= static_cast<uint32_t>(count);
    }

    // The work buffers hold whole groups of four; the tail beyond `samples` is never copied out.
    int16_t* iq = m_out.data();
    for (std::size_t i = 0; i < samples; i += 4) {
        const Int4 x = toConverter(load4(re + i));
        const Int4 y = toConverter(load4(im + i));
        for (int k = 0; k < 4; ++k) {
            iq[2 * (i + k)] = static_cast<int16_t>(x[k]);
            iq[2 * (i + k) + 1] = static_cast<int16_t>(y[k]);
        }
    }
}
