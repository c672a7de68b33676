#pragma once

#include "measure/ChannelPower.h"
#include "measure/NoiseMarker.h"
#include "measure/OccupiedBandwidth.h"
#include "measure/PeakTable.h"
#include "measure/PowerTrace.h"

// What the measurements are taken with. The channel power, the adjacent channels and the noise
// marker sit at frequencies the owner chooses (a marker, the demodulator's frequency). Every
// measurement sees only the bins between viewLowHz and viewHighHz, the span on screen; with
// no such span (high not above low) it sees the whole trace.
struct MeasurementSettings {
    double viewLowHz = 0.0;
    double viewHighHz = 0.0;
    double channelCentreHz = 0.0;
    double channelBandwidthHz = measure_settings::channelBandwidthHz.initial;
    double obwPercent = measure_settings::obwPercent.initial;
    double xDb = measure_settings::xDb.initial;
    AdjacentChannelSettings adjacent;
    double noiseMarkerHz = 0.0;
    int noiseBinsEachSide = measure_settings::noiseBinsEachSide.initial;
    // The trace's detector, for the noise marker's correction.
    int detectorMode = 0;
    int detectorWindow = 1;
    PeakTableSettings peaks;
};

// Every measurement of one trace, in the trace's units (dBFS): a plain record, copied whole to
// the thread that shows it.
struct MeasurementResults {
    bool valid = false;
    ChannelPower channel;
    Bandwidth occupied;
    Bandwidth xDb;
    AdjacentChannels adjacent;
    NoiseMarkerReading noise;
    PeakList peaks;
};

// The part of a trace whose bins lie between two frequencies, at least its nearest bin; the whole
// trace when the range is empty.
TraceView viewedPart(const TraceView& trace, double lowHz, double highHz);

// Takes every measurement of a trace. Holds the trace's linear power between calls so that,
// once a trace of the length has been seen, a call allocates nothing.
class Measurements {
public:
    MeasurementResults run(const TraceView& trace, const MeasurementSettings& s);

private:
    PowerTrace m_power;
};
