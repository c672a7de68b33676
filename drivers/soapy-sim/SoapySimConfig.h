#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the simulated SoapySDR module behaves, from its SOAPYSIM_* environment variables (see
// README.md). Read at every find and make, so a host may change them between two opens.
struct SoapySimConfig {
    // One simulated unit: the one stream format it offers (CS16, CF32 or CS8).
    struct Unit {
        std::string serial;
        std::string format;
    };

    std::vector<Unit> units{{"5A000001", "CS16"}};
    std::string replayPath;
    bool realTime = true;
    double maxRateHz = 30e6;
    std::size_t mtu = 16384;
    uint32_t overflowEveryNthRead = 0; // 0: never
    uint64_t vanishAfterReads = 0;     // 0: never
    uint64_t seed = 1;
    bool testTones = false;

    static SoapySimConfig fromEnvironment();
    // The unit with this serial; nullptr when there is none.
    const Unit* unit(const std::string& serial) const;
};
