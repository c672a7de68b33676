#pragma once

#include "demod/DemodSettingTable.h"

#include <cstdint>

// The demodulation channel's settings, copied whole from the controller to the channel.
struct DemodParams {
    bool enabled = false;
    double demodFreqHz = demod_settings::demodFreqHz.initial;
    double audioGain = demod_settings::audioGain.initial;
    bool filterEnabled = true;
    double fmDeviationHz = demod_settings::fmDeviationHz.initial;
    double deemphasisUs = 75.0;
    bool fmStereoEnabled = false;
    double decimatorTargetHz = 2000000.0;
    double audioHpfHz = demod_settings::audioHpfHz.initial;
    double audioLpfHz = demod_settings::audioLpfHz.initial;
    int32_t filterOrder = 4;
    bool squelchEnabled = true;
    double squelchOpenDb = demod_settings::squelchOpenDb.initial;
    double squelchCloseDb = demod_settings::squelchCloseDb.initial;
    double squelchAttackMs = demod_settings::squelchAttackMs.initial;
    double squelchReleaseMs = demod_settings::squelchReleaseMs.initial;
    double squelchHangMs = demod_settings::squelchHangMs.initial;
    double squelchNoiseAlpha = demod_settings::squelchNoiseAlpha.initial;
    double squelchMinFloorDb = demod_settings::squelchMinFloorDb.initial;
    double squelchLevelDbfs = -45.0;
};

// Broadcast stereo is decoded only at the two deviations a stereo multiplex is sent with.
inline bool isStereoDeviation(double hz)
{
    for (const double stereoHz : demod_settings::kStereoDeviationsHz) {
        if (hz > stereoHz - demod_settings::kDeviationToleranceHz && hz < stereoHz + demod_settings::kDeviationToleranceHz)
            return true;
    }
    return false;
}

inline bool isStereoActive(const DemodParams& p)
{
    return p.fmStereoEnabled && isStereoDeviation(p.fmDeviationHz);
}
