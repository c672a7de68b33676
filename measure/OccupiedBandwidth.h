#pragma once

#include "measure/PowerTrace.h"

// A band on the trace: its edges and width. valid is false when nothing could be found.
struct Bandwidth {
    bool valid = false;
    double lowHz = 0.0;
    double highHz = 0.0;
    double widthHz = 0.0;
};

// The band holding `percent` of the power in the whole trace, with equal shares left outside
// each edge.
Bandwidth occupiedBandwidth(const PowerTrace& trace, double percent);

// Between the outermost points xDb below the trace's highest bin, each edge placed between
// the two bins it lies between, in dB.
Bandwidth xDbBandwidth(const PowerTrace& trace, double xDb);
