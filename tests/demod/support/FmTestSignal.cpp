#include "FmTestSignal.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// One sinusoid a * sin(w t + phi) of the multiplex, w in rad/s.
struct Tone {
    double amplitude;
    double omega;
    double phase;
};

// Adds one programme tone: its share of the sum and, in stereo, the two sidebands of
// its share of the difference (diffSign +1 for left, -1 for right).
void addProgramme(std::vector<Tone>& tones, double level, double hz, double diffSign, const FmTestSignal& s)
{
    // Ideal pre-emphasis 1 + j w tau scales and advances the tone.
    const double w = kTwoPi * hz;
    const std::complex<double> h(1.0, w * s.preEmphasisUs * 1e-6);
    const double a = 0.9 * level * std::abs(h);
    const double phi = std::arg(h);
    if (!s.stereo) {
        tones.push_back({a, w, phi});
        return;
    }
    tones.push_back({a / 2.0, w, phi});
    // (a/2) sin(w t + phi) * sin(2 wp t) = (a/4) [sin(wl t - phi + pi/2) + sin(wu t + phi - pi/2)]
    const double wp2 = 2.0 * kTwoPi * 19000.0;
    tones.push_back({diffSign * a / 4.0, wp2 - w, -phi + std::numbers::pi / 2.0});
    tones.push_back({diffSign * a / 4.0, wp2 + w, phi - std::numbers::pi / 2.0});
}

} // namespace

std::vector<int16_t> FmTestSignal::generate(size_t pairs) const
{
    std::vector<Tone> tones;
    addProgramme(tones, leftLevel, leftHz, 1.0, *this);
    if (stereo) {
        addProgramme(tones, rightLevel, rightHz, -1.0, *this);
        tones.push_back({pilotLevel, kTwoPi * 19000.0, 0.0});
    }

    // Carrier phase = 2 pi D * integral of the multiplex; each tone integrates to
    // a (cos phi - cos(w t + phi)) / w, evaluated with rotating phasors.
    const double dt = 1.0 / sampleRateHz;
    std::vector<std::complex<double>> rot(tones.size()), step(tones.size());
    double constant = 0.0;
    for (size_t k = 0; k < tones.size(); ++k) {
        rot[k] = std::polar(1.0, tones[k].phase);
        step[k] = std::polar(1.0, tones[k].omega * dt);
        constant += tones[k].amplitude * std::cos(tones[k].phase) / tones[k].omega;
    }
    const double k2piD = kTwoPi * peakDeviationHz;
    const double offsetStep = kTwoPi * carrierOffsetHz * dt;
    const double scale = carrierLevel * 32767.0;
    uint64_t rng = 0x9E3779B97F4A7C15ull ^ seed;
    auto uniform = [&rng]() {
        rng ^= rng << 13;
        rng ^= rng >> 7;
        rng ^= rng << 17;
        return static_cast<double>(rng >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    };

    std::vector<int16_t> iq(2 * pairs);
    for (size_t n = 0; n < pairs; ++n) {
        double integral = constant;
        for (size_t k = 0; k < tones.size(); ++k) {
            integral -= tones[k].amplitude * rot[k].real() / tones[k].omega;
            rot[k] *= step[k];
        }
        if ((n & 1023) == 1023)
            for (auto& r : rot)
                r /= std::abs(r);
        const double phase = k2piD * integral + std::fmod(offsetStep * static_cast<double>(n), kTwoPi);
        const double i = scale * std::cos(phase) + noiseLevel * 32767.0 * uniform();
        const double q = scale * std::sin(phase) + noiseLevel * 32767.0 * uniform();
        iq[2 * n] = static_cast<int16_t>(std::clamp(std::lround(i), -32768l, 32767l));
        iq[2 * n + 1] = static_cast<int16_t>(std::clamp(std::lround(q), -32768l, 32767l));
    }
    return iq;
}

DemodParams FmTestSignal::receiverParams(bool stereo, bool squelch)
{
    DemodParams p;
    p.enabled = true;
    p.demodFreqHz = kStationHz;
    p.fmStereoEnabled = stereo;
    p.squelchEnabled = squelch;
    return p;
}
