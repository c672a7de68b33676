#pragma once

#include "engine/PeakReadout.h"

#include <cstddef>
#include <optional>
#include <vector>

// How a marker follows the published trace: where it sits, what it reads, and whether a
// reading the spectrum thread took still belongs to the marker the user sees now.
namespace marker_tracking {

// A marker's place and level as the spectrum thread sees and reports them.
struct Reading {
    double freqHz = 0.0;
    double ampDb = 0.0;
    bool autoPeakEnabled = false;
};

// The bin nearest freqHz on a trace of `bins` bins from startHz in steps of binHz: frequencies
// outside the span read its first or last bin, halves round up. No bin without a bin width,
// without bins, or for a frequency that is not a number.
std::optional<std::size_t> nearestBin(double freqHz, double startHz, double binHz, std::size_t bins);

// The marker after one published trace: an auto-peak marker moves to the peak; the level is
// the nearest bin's. Without a readable bin the level stays as it was.
Reading track(Reading marker, const std::vector<float>& trace, const PeakReadout::Values& peak);

// a and b are equal when |a - b| * 1e12 <= min(|a|, |b|); so 0 equals only 0.
bool fuzzyEqual(double a, double b);

// Folds a reading taken from an earlier snapshot into the marker as it is now. A reading
// whose marker the user has changed since (moved it, or switched auto-peak) describes a
// marker that no longer exists and is dropped: the next trace reads the marker afresh. An
// auto-peak marker is wherever the peak is, so its reading always applies. True when the
// stored frequency or level changed.
bool merge(Reading& stored, const Reading& update);

} // namespace marker_tracking
