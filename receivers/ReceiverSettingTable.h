#pragma once

#include "acquisition/IDevice.h"
#include "settings/SettingRange.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace receiver_settings {

// The sample rates the analyser processes at (the rate row's choices).
inline constexpr std::array<uint32_t, 5> kProcessingRatesHz{2'000'000, 5'000'000, 10'000'000, 20'000'000, 30'000'000};

// Frequency correction of a receiver that has one, in ppm.
inline constexpr SettingRange<double> frequencyCorrectionPpm{0.0, -100.0, 100.0, 0.1};

// The processing rates a receiver accepts; all of them when it does not say.
inline std::vector<uint32_t> supportedRates(const std::vector<RateRange>& ranges)
{
    std::vector<uint32_t> rates;
    for (const uint32_t rate : kProcessingRatesHz) {
        bool accepted = ranges.empty();
        for (const RateRange& range : ranges) {
            const double steps = range.stepHz > 0.0 ? (rate - range.minHz) / range.stepHz : 0.0;
            accepted = accepted || (rate >= range.minHz && rate <= range.maxHz &&
                                    std::abs(steps - std::round(steps)) < 1e-6);
        }
        if (accepted)
            rates.push_back(rate);
    }
    return rates;
}

} // namespace receiver_settings
