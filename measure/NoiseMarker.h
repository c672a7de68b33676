#pragma once

#include "measure/PowerTrace.h"

// The noise level at a frequency referred to 1 Hz: the mean power of the nearest bin and
// binsEachSide bins either side, over the resolution bandwidth (bin width x the window's noise
// bandwidth), corrected for a detector that does not average power.
struct NoiseMarkerReading {
    bool valid = false;
    double freqHz = 0.0;
    double densityDbHz = 0.0;
};

NoiseMarkerReading noiseMarker(const PowerTrace& trace, double freqHz, int binsEachSide, double detectorCorrectionDb);

// What to add to a noise level read through a detector to get its mean power. The max and min
// of N exponentially distributed powers (noise in one bin) have means H_N and 1/N times the
// mean; the sample and averaging detectors read the mean itself.
double detectorNoiseCorrectionDb(int detectorMode, int detectorWindow);
