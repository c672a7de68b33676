#pragma once

#include <QString>

#include <cstdint>

// One of the user's frequency markers, as the marker model holds it.
struct Marker {
    int32_t id = 0;
    // Absolute RF frequency.
    double freqHz = 0.0;
    // Trace level at the marker; the trace floor until a published trace is read.
    double ampDb = -120.0;
    // The colour text as the caller gave it, for example "#4FC3F7".
    QString color;
    bool autoPeakEnabled = false;
};
