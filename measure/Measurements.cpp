#include "measure/Measurements.h"

#include <algorithm>
#include <cmath>

TraceView viewedPart(const TraceView& trace, double lowHz, double highHz)
{
    if (!(highHz > lowHz) || trace.bins == 0 || !(trace.binHz > 0.0))
        return trace;
    const double last = static_cast<double>(trace.bins - 1);
    const double first = std::clamp(std::ceil((lowHz - trace.startHz) / trace.binHz), 0.0, last);
    const double end = std::clamp(std::floor((highHz - trace.startHz) / trace.binHz), 0.0, last);
    if (end < first)
        return trace;
    TraceView part = trace;
    const auto offset = static_cast<std::size_t>(first);
    part.levelsDb += offset;
    part.bins = static_cast<std::size_t>(end) - offset + 1;
    part.startHz += first * trace.binHz;
    return part;
}

MeasurementResults Measurements::run(const TraceView& trace, const MeasurementSettings& s)
{
    MeasurementResults r;
    m_power.assign(viewedPart(trace, s.viewLowHz, s.viewHighHz));
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
