#pragma once

#include "measure/MeasureSettingTable.h"
#include "measure/PowerTrace.h"

#include <array>
#include <span>

struct PeakTableSettings {
    int count = measure_settings::peakCount.initial;
    double excursionDb = measure_settings::peakExcursionDb.initial;
    double thresholdDb = measure_settings::peakThresholdDb.initial;
    PeakOrder order = static_cast<PeakOrder>(measure_settings::peakOrder.initial);
};

struct Peak {
    double freqHz = 0.0;
    double levelDb = 0.0;
};

// The strongest peaks of a trace: tops at or above the threshold that stand at least the
// excursion above the trace on both sides (as a new marker's peak search counts them), the
// count strongest of them in the order asked for. A fixed-size record: finding allocates nothing.
struct PeakList {
    std::array<Peak, kMaxPeaks> entries{};
    int size = 0;

    std::span<const Peak> peaks() const { return {entries.data(), static_cast<std::size_t>(size)}; }
};

PeakList findPeaks(const PowerTrace& trace, const PeakTableSettings& s);
