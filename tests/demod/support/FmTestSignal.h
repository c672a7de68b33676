#pragma once

#include "demod/DemodParams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A frequency-modulated carrier in an int16 IQ stream, built from analytic tones so that
// any input rate can be generated exactly. Stereo follows the broadcast multiplex:
// 0.9 * ((L+R)/2 + (L-R)/2 * sin(2 wp t)) + pilot * sin(wp t), with 75 us pre-emphasis.
struct FmTestSignal {
    double sampleRateHz = 20e6;
    double carrierOffsetHz = 1.25e6;
    double peakDeviationHz = 75000.0; // the multiplex at 1.0
    double leftHz = 1000.0;
    double rightHz = 3000.0;
    double leftLevel = 0.5;  // of full deviation, before pre-emphasis
    double rightLevel = 0.5;
    bool stereo = true;
    double pilotLevel = 0.1;
    double preEmphasisUs = 75.0; // 0 for none
    double carrierLevel = 0.3;   // of int16 full scale
    double noiseSigma = 0.0017;  // Gaussian noise per component, of full scale
    double dcOffset = 0.0;       // the receiver's own DC, added to I and Q, of full scale
    uint32_t seed = 1;

    // The station's frequency; the receiver is tuned so that it lies carrierOffsetHz above the centre.
    static constexpr double kStationHz = 100e6;

    // The reference station of the fidelity measurements at a receiver rate: left 1 kHz and
    // right 3 kHz at one level (the 3 kHz tone pre-emphasised to full deviation), the carrier at
    // -12 dBFS, 1/16 of the rate above the centre, in Gaussian noise of 0.002 of full scale per
    // component at 20 MS/s and of the same density at other rates. Every tone, the carrier's
    // offset and so the FM phase complete whole periods in any whole number of 2 ms, so a
    // recording of such a length repeats without a seam.
    static FmTestSignal referenceStation(double sampleRateHz);

    // Interleaved I, Q for `pairs` samples.
    std::vector<int16_t> generate(size_t pairs) const;
    double centerHz() const { return kStationHz - carrierOffsetHz; }
    // Channel settings that demodulate this station.
    static DemodParams receiverParams(bool stereo, bool squelch);
};
