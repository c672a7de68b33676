#pragma once

#include <cstddef>

// The analyser's probability of intercept: the shortest burst that some spectrum sees at full
// amplitude wherever in the stream it falls. A tone on for only part of a block reaches that
// block's spectrum with the share of the window's sum its samples carry; "full amplitude" is
// within kFullAmplitudeDb of the level it has in a block it fills. A burst at least this long
// always has such a block, one shorter can fall so that none is.
namespace intercept {

inline constexpr double kFullAmplitudeDb = 1.0;

// In samples, for blocks of n samples of a window type that start hop samples apart; 0 for n = 0.
std::size_t fullAmplitudeSamples(std::size_t n, int windowType, std::size_t hop);
// In seconds at a sample rate, for an overlap in percent; 0 without a rate or a size.
double fullAmplitudeSeconds(std::size_t n, int windowType, int overlapPercent, double sampleRateHz);

} // namespace intercept
