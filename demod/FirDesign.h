#pragma once

#include <vector>

// Kaiser window shape parameter for a stop-band attenuation in dB (Kaiser's empirical formula).
double kaiserBeta(double attenuationDb);

// Symmetric low-pass prototype: sinc with cut-off `cutoff` (fraction of the sample rate)
// centred on (taps - 1) / 2, Kaiser-windowed with `beta`, scaled to unity gain at DC.
std::vector<double> kaiserLowpass(int taps, double cutoff, double beta);

// The two channel decimation prototypes. PreFIR (160 taps, decimates by 5) passes
// about +-0.04 of its input rate; PolyFIR (128 taps, decimates by 2) about +-0.21.
std::vector<double> preFirPrototype();
std::vector<double> polyFirPrototype();
