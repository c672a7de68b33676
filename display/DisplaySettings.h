#pragma once

// What the user chose for the look of the spectrum display: the item holds it, the renderer
// takes a copy at each synchronisation.
struct DisplaySettings {
    float minDb = -120.0f;
    float maxDb = 0.0f;
    float waterfallMinDb = -120.0f;
    float waterfallMaxDb = 0.0f;
    bool densityEnabled = false;
    int densityPalette = 0;
    bool peakLineEnabled = false;
    bool waterfallEnabled = false;
    double waterfallHeightRatio = 0.3;
};
