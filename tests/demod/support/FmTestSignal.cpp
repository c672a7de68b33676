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
    // a (cos phi - cos(w t + phi)) / w, evaluated with rotating phasors (multiplied out by hand:
    // std::complex's multiplication checks for infinities on every call).
    const double dt = 1.0 / sampleRateHz;
    const size_t count = tones.size();
    std::vector<double> re(count), im(count), stepRe(count), stepIm(count), weight(count);
    double constant = 0.0;
    for (size_t k = 0; k < count; ++k) {
        re[k] = std::cos(tones[k].phase);
        im[k] = std::sin(tones[k].phase);
        stepRe[k] = std::cos(tones[k].omega * dt);
        stepIm[k] = std::sin(tones[k].omega * dt);
        weight[k] = tones[k].amplitude / tones[k].omega;
        constant += weight[k] * re[k];
    }
    const double k2piD = kTwoPi * peakDeviationHz;
    // The carrier's offset from the centre as one more rotating phasor.
    const double scale = carrierLevel * 32767.0;
    double offsetRe = 1.0, offsetIm = 0.0;
    const double offsetStepRe = std::cos(kTwoPi * carrierOffsetHz * dt);
    const double offsetStepIm = std::sin(kTwoPi * carrierOffsetHz * dt);
    uint64_t rng = 0x9E3779B97F4A7C15ull ^ seed;
    // Uniform in (-1, 1).
    auto uniform = [&rng]() {
        rng ^= rng << 13;
        rng ^= rng >> 7;
        rng ^= rng << 17;
        return static_cast<double>(rng >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    };
    // Two independent Gaussians (Marsaglia's polar method), one for I and one for Q.
    auto gaussianPair = [&uniform]() {
        double u, v, r2;
        do {
            u = uniform();
            v = uniform();
            r2 = u * u + v * v;
        } while (r2 >= 1.0 || r2 == 0.0);
        const double f = std::sqrt(-2.0 * std::log(r2) / r2);
        return std::complex<double>(u * f, v * f);
    };
    const double noise = noiseSigma * 32767.0;
    const double dc = dcOffset * 32767.0;

    std::vector<int16_t> iq(2 * pairs);
    for (size_t n = 0; n < pairs; ++n) {
        double integral = constant;
        for (size_t k = 0; k < count; ++k) {
            integral -= weight[k] * re[k];
            const double r = re[k] * stepRe[k] - im[k] * stepIm[k];
            im[k] = re[k] * stepIm[k] + im[k] * stepRe[k];
            re[k] = r;
        }
        const double modRe = scale * std::cos(k2piD * integral), modIm = scale * std::sin(k2piD * integral);
        const double carrierRe = offsetRe * modRe - offsetIm * modIm;
        const double carrierIm = offsetRe * modIm + offsetIm * modRe;
        const double r = offsetRe * offsetStepRe - offsetIm * offsetStepIm;
        offsetIm = offsetRe * offsetStepIm + offsetIm * offsetStepRe;
        offsetRe = r;
        if ((n & 1023) == 1023) {
            for (size_t k = 0; k < count; ++k) {
                const double norm = std::hypot(re[k], im[k]);
                re[k] /= norm;
                im[k] /= norm;
            }
            const double norm = std::hypot(offsetRe, offsetIm);
            offsetRe /= norm;
            offsetIm /= norm;
        }
        const std::complex<double> n2 = gaussianPair();
        const double i = carrierRe + noise * n2.real() + dc;
        const double q = carrierIm + noise * n2.imag() + dc;
        iq[2 * n] = static_cast<int16_t>(std::clamp(std::lround(i), -32768l, 32767l));
        iq[2 * n + 1] = static_cast<int16_t>(std::clamp(std::lround(q), -32768l, 32767l));
    }
    return iq;
}

FmTestSignal FmTestSignal::referenceStation(double sampleRateHz)
{
    FmTestSignal s;
    s.sampleRateHz = sampleRateHz;
    s.carrierOffsetHz = sampleRateHz / 16.0;
    const double preEmphasis3k = std::hypot(1.0, kTwoPi * s.rightHz * s.preEmphasisUs * 1e-6);
    s.leftLevel = s.rightLevel = 1.0 / preEmphasis3k;
    s.carrierLevel = std::pow(10.0, -12.0 / 20.0);
    s.noiseSigma = 0.002 * std::sqrt(sampleRateHz / 20e6);
    return s;
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
