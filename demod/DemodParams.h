#pragma once

#include <cstdint>

// The demodulation channel's settings, copied whole from the controller to the channel.
struct DemodParams {
    bool enabled = false;
    double demodFreqHz = 146520000.0;
    double audioGain = 2.0;
    bool filterEnabled = true;
    double fmDeviationHz = 150000.0;
    double deemphasisUs = 75.0;
    bool fmStereoEnabled = false;
    double decimatorTargetHz = 2000000.0;
    double audioHpfHz = 20.0;
    double audioLpfHz = 20000.0;
    int32_t filterOrder = 4;
    bool squelchEnabled = true;
    double squelchOpenDb = 3.0;
    double squelchCloseDb = 1.0;
    double squelchAttackMs = 4.0;
    double squelchReleaseMs = 50.0;
    double squelchHangMs = 10.0;
    double squelchNoiseAlpha = 0.001;
    double squelchMinFloorDb = -87.0;
    double squelchLevelDbfs = -45.0;
};

// Broadcast stereo is decoded only at the two deviations a stereo multiplex is sent with.
inline bool isStereoDeviation(double hz)
{
    auto near = [](double a, double b) { return a > b - 1.0 && a < b + 1.0; };
    return near(hz, 150000.0) || near(hz, 300000.0);
}

inline bool isStereoActive(const DemodParams& p)
{
    return p.fmStereoEnabled && isStereoDeviation(p.fmDeviationHz);
}
