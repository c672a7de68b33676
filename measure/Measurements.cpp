#include "measure/Measurements.h"

MeasurementResults Measurements::run(const TraceView& trace, const MeasurementSettings& s)
{
    MeasurementResults r;
    m_power.assign(trace);
    if (m_power.bins() == 0 || !(m_power.binHz() > 0.0))
        return r;
    r.valid = true;
    r.channel = channelPower(m_power, s.channelCentreHz, s.channelBandwidthHz);
    r.occupied = occupiedBandwidth(m_power, s.obwPercent);
    r.xDb = xDbBandwidth(m_power, s.xDb);
    r.adjacent = adjacentChannelPower(m_power, s.channelCentreHz, s.adjacent);
    r.noise = noiseMarker(m_power, s.noiseMarkerHz, s.noiseBinsEachSide,
                          detectorNoiseCorrectionDb(s.detectorMode, s.detectorWindow));
    r.peaks = findPeaks(m_power, s.peaks);
    return r;
}
