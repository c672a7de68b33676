#pragma once

#include "measure/MeasureSettingTable.h"
#include "measure/PowerTrace.h"

#include <array>

// The power in a band around a centre, in dB of the trace's unit, and per Hz. The band is cut
// to the trace; without any of it inside, valid is false.
struct ChannelPower {
    bool valid = false;
    double powerDb = 0.0;
    double densityDbHz = 0.0;
    double lowHz = 0.0;
    double highHz = 0.0;
};

ChannelPower channelPower(const PowerTrace& trace, double centreHz, double bandwidthHz);

struct AdjacentChannelSettings {
    double mainBandwidthHz = measure_settings::acpMainBandwidthHz.initial;
    double adjacentBandwidthHz = measure_settings::acpAdjacentBandwidthHz.initial;
    double spacingHz = measure_settings::acpSpacingHz.initial;
    int pairs = measure_settings::acpPairs.initial;
};

// The main channel's power and each adjacent channel's relative to it (dBc), pair i at
// centre -/+ (i + 1) x spacing. A channel not wholly inside the trace reads NaN.
struct AdjacentChannels {
    double mainDb = 0.0;
    int pairs = 0;
    std::array<double, kMaxAdjacentPairs> lowerDbc{};
    std::array<double, kMaxAdjacentPairs> upperDbc{};
};

AdjacentChannels adjacentChannelPower(const PowerTrace& trace, double centreHz, const AdjacentChannelSettings& s);
