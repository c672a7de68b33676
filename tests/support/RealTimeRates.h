#pragma once

#include <vector>

// Receiver rates for the tests that judge audio demodulated in real time. AddressSanitizer makes
// the analyser's own code three to four times slower: its demodulator then takes most of a core
// at 20 MS/s and more than one at 30 MS/s, beside a spectrum thread that takes the other, and
// what it cannot keep up with is lost before it is heard. The instrumented build runs those
// tests at rates it keeps up with on two cores (10 MS/s at most); the plain build runs the full
// ones. The demodulation stages' own tests run every rate in every build, without a clock.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kInstrumentedBuild = true;
#else
inline constexpr bool kInstrumentedBuild = false;
#endif

inline std::vector<double> realTimeRatesMHz(std::vector<double> plainMHz, std::vector<double> instrumentedMHz)
{
    return kInstrumentedBuild ? instrumentedMHz : plainMHz;
}
