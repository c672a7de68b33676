#pragma once

#include <cstddef>
#include <vector>

// Least-squares fit of sinusoids at known frequencies (and a DC term) to a stretch of audio:
// each tone's amplitude and the RMS of what the tones do not explain.
struct ToneFit {
    std::vector<double> amplitudes; // in the order of the frequencies asked for
    double residualRms = 0.0;
};

ToneFit fitTones(const std::vector<float>& x, size_t from, const std::vector<double>& hz, double rateHz = 48000.0);

// Amplitude of one tone, fitted alone.
double toneAmplitude(const std::vector<float>& x, size_t from, double hz, double rateHz = 48000.0);

// THD+N of a tone mixture: the residual's RMS over the RMS of the fitted tones. Tones listed in
// `ignoredHz` are fitted and neither counted as signal nor as distortion.
double thdPlusNoise(const std::vector<float>& x, size_t from, const std::vector<double>& hz,
                    const std::vector<double>& ignoredHz = {}, double rateHz = 48000.0);
// The same from a fit whose first signalTones tones are the signal and the rest left out.
double thdPlusNoise(const ToneFit& fit, size_t signalTones);

// The common factor by which the tones' frequencies are off (between 0.95 and 1.05, the range
// of the rate control), found as the one under which the tones explain the most: audio
// resampled by a ratio off nominal has every tone off by the same factor.
double pitchFactor(const std::vector<float>& x, size_t from, const std::vector<double>& hz, double rateHz = 48000.0);
