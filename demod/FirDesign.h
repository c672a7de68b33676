#pragma once

#include <vector>

// Kaiser window shape parameter for a stop-band attenuation in dB (Kaiser's empirical formula).
double kaiserBeta(double attenuationDb);

// Symmetric low-pass prototype: sinc with cut-off `cutoff` (fraction of the sample rate)
// centred on (taps - 1) / 2, Kaiser-windowed with `beta`, scaled to unity gain at DC.
std::vector<double> kaiserLowpass(int taps, double cutoff, double beta);

// The channel decimation prototypes. PreFIR (160 taps, decimates by 5) passes about +-0.04 of
// its input rate; the half-band stage (32 taps, decimates by 2) is flat to +-0.11 and 100 dB
// down from +-0.39, all that can fold into PolyFIR's pass band after it; PolyFIR (128 taps,
// decimates by 2) passes about +-0.21.
std::vector<double> preFirPrototype();
std::vector<double> halfBandPrototype();
std::vector<double> polyFirPrototype();
