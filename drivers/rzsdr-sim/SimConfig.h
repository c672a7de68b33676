#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the simulated receiver behaves, from its RZSIM_* environment variables (see README.md).
struct SimConfig {
    enum class Serial { Ok, Absent, Fail, Empty };
    // A stretch in which the receiver delivers nothing, in milliseconds from the stream's start.
    struct Stall {
        uint32_t afterMs = 0;
        uint32_t durationMs = 0;
    };

    bool kind0Present = true;
    bool kind1Present = true;
    std::string replayPath;
    bool failAllReads = false;
    uint32_t failEveryNthRead = 0; // 0: none
    uint64_t stallAfterReads = 0;  // 0: never
    std::vector<Stall> stalls;
    Serial serial = Serial::Ok;
    bool realTime = true;
    uint16_t samplesPerTransfer = 16384;
    uint64_t seed = 1;
    bool testTones = false;
    uint32_t toneGateMs = 0; // 0: the tones sound all the time

    // Reads the environment now, so a host can change it between two finds. Values that do not
    // parse are reported on standard error and leave the default.
    static SimConfig fromEnvironment();
};
