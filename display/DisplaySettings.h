#pragma once

#include "display/DisplaySettingTable.h"
#include "display/SpectrumLayout.h"

#include <cstdint>

// What the user chose for the look of the spectrum display: the item holds it, the renderer
// takes a copy at each synchronisation.
struct DisplaySettings {
    float minDb = display_settings::minDb.initial;
    float maxDb = display_settings::maxDb.initial;
    float waterfallMinDb = display_settings::waterfallMinDb.initial;
    float waterfallMaxDb = display_settings::waterfallMaxDb.initial;
    bool densityEnabled = false;
    int densityPalette = display_settings::densityPalette.initial;
    bool peakLineEnabled = false;
    bool minHoldEnabled = false;
    bool waterfallEnabled = false;
    double waterfallHeightRatio = display_settings::waterfallHeightRatio.initial;
    ViewWindow view;
    // Counts the user's clears of the waterfall; the renderer clears when it moves.
    uint64_t waterfallClears = 0;
};
