#pragma once

#include <cstdint>

// Front-end settings as the SDK receives them.
struct FrontEndSettings {
    uint8_t port = 1; // SDK numbering: input 1 is the antenna the scene arrives on
    uint8_t attenuationDb = 0;
    uint8_t preampDb = 20;
    uint8_t ifGainDb = 30;
};

// Level changes, in dB, that the front end applies relative to the reference setting
// (preamp 20 dB, IF gain 30 dB, no attenuation, antenna input).
struct FrontEndGains {
    double signalDb;
    // The noise floor before the converter: attenuation raises the noise figure as much as it
    // lowers the signal, so only the amplifiers move it; the preamp less than its gain.
    double noiseDb;
};

FrontEndGains frontEndGains(const FrontEndSettings& settings);

// Receiver response over the band as a function of frequency / sample rate in [-0.5, 0.5]:
// flat in the middle, with the anti-alias filter's roll-off near both edges. Amplitude.
double bandEdgeResponse(double normalizedFrequency);
