#include "StereoTones.h"

#include "ToneFit.h"

#include <algorithm>
#include <cmath>

namespace {

const std::vector<double> kProgramme{1000.0, 3000.0};
constexpr double kPilotHz = 19000.0;

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

bool silent(const std::vector<float>& x)
{
    return std::all_of(x.begin(), x.end(), [](float v) { return v == 0.0f; });
}

// The two programme tones and the pilot where the window's pitch puts them.
std::vector<double> tonesFound(const std::vector<float>& w)
{
    const double pitch = pitchFactor(w, 0, kProgramme);
    return {kProgramme[0] * pitch, kProgramme[1] * pitch, kPilotHz * pitch};
}

} // namespace

std::vector<float> toneWindow(const std::vector<float>& x, std::size_t from, std::size_t length)
{
    return {x.begin() + static_cast<std::ptrdiff_t>(from), x.begin() + static_cast<std::ptrdiff_t>(from + length)};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

StereoFigures stereoFigures(const std::vector<float>& left, const std::vector<float>& right, std::size_t window)
{
    std::vector<double> toRight, toLeft, thdn, pilot, leftLevel, rightLevel;
    const std::size_t n = std::min(left.size(), right.size());
    for (std::size_t from = 0; from + window <= n; from += window) {
        const std::vector<float> l = toneWindow(left, from, window);
        const std::vector<float> r = toneWindow(right, from, window);
        if (silent(l) || silent(r))
            continue;
        std::vector<float> both(window);
        std::transform(l.begin(), l.end(), r.begin(), both.begin(), [](float a, float b) { return a + b; });
        const std::vector<double> tones = tonesFound(both);
        // Each channel's own tone first, then its crosstalk tone and the pilot, which THD+N leaves out.
        const ToneFit lf = fitTones(l, 0, tones);
        const ToneFit rf = fitTones(r, 0, {tones[1], tones[0], tones[2]});
        toRight.push_back(db(lf.amplitudes[0] / rf.amplitudes[1]));
        toLeft.push_back(db(rf.amplitudes[0] / lf.amplitudes[1]));
        thdn.push_back(db(std::max(thdPlusNoise(lf, 1), thdPlusNoise(rf, 1))));
        pilot.push_back(db(std::max(lf.amplitudes[2], rf.amplitudes[2])));
        leftLevel.push_back(lf.amplitudes[0]);
        rightLevel.push_back(rf.amplitudes[0]);
    }
    const double lr = median(toRight), rl = median(toLeft);
    return {std::min(lr, rl), lr, rl, median(thdn), median(pilot), median(leftLevel), median(rightLevel),
            toRight.size()};
}

MonoFigures monoFigures(const std::vector<float>& mono, std::size_t window)
{
    std::vector<double> thdn, pilot, leftLevel, rightLevel;
    for (std::size_t from = 0; from + window <= mono.size(); from += window) {
        const std::vector<float> w = toneWindow(mono, from, window);
        if (silent(w))
            continue;
        const ToneFit fit = fitTones(w, 0, tonesFound(w));
        thdn.push_back(db(thdPlusNoise(fit, 2)));
        pilot.push_back(db(fit.amplitudes[2]));
        leftLevel.push_back(fit.amplitudes[0]);
        rightLevel.push_back(fit.amplitudes[1]);
    }
    return {median(thdn), median(pilot), median(leftLevel), median(rightLevel), thdn.size()};
}
