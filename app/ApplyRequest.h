#pragma once

#include <cstdint>

// One retune of the receiver as the user asked for it (MHz, as typed).
struct ApplyRequest {
    double freqMHz = 0.0;
    double bwMHz = 0.0;
    int32_t port = 0;
    int32_t att = 0;
    int32_t preamp = 0;
    int32_t ifgain = 0;
};
