#include "StereoTones.h"

#include "ToneFit.h"

#include <algorithm>
#include <cmath>

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
    const std::vector<double> nominal{1000.0, 3000.0};
    std::vector<double> separation, leftLevel, rightLevel;
    const std::size_t n = std::min(left.size(), right.size());
    for (std::size_t from = 0; from + window <= n; from += window) {
        const std::vector<float> l = toneWindow(left, from, window);
        const std::vector<float> r = toneWindow(right, from, window);
        const auto silent = [](const std::vector<float>& x) {
            return std::all_of(x.begin(), x.end(), [](float v) { return v == 0.0f; });
        };
        if (silent(l) || silent(r))
            continue;
        const double pitch = pitchFactor(l, 0, nominal);
        const std::vector<double> tones{1000.0 * pitch, 3000.0 * pitch};
        const ToneFit lf = fitTones(l, 0, tones);
        const ToneFit rf = fitTones(r, 0, tones);
        separation.push_back(
            20.0 * std::log10(std::min(lf.amplitudes[0] / rf.amplitudes[0], rf.amplitudes[1] / lf.amplitudes[1])));
        leftLevel.push_back(lf.amplitudes[0]);
        rightLevel.push_back(rf.amplitudes[1]);
    }
    return {median(separation), median(leftLevel), median(rightLevel), separation.size()};
}
