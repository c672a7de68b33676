#include "markers/MarkerFrameUpdate.h"

#include "markers/MarkerTracking.h"

MarkerFrameUpdate markerFrameUpdate(std::vector<Marker> markers, const std::vector<float>& trace,
                                    const PeakReadout::Values& peak, double centerHz)
{
    for (Marker& m : markers) {
        const marker_tracking::Reading r = marker_tracking::track({m.freqHz, m.ampDb, m.autoPeakEnabled}, trace, peak);
        m.freqHz = r.freqHz;
        m.ampDb = r.ampDb;
    }
    return {std::move(markers), peak.peakFreqHz, peak.peakValueDb, centerHz};
}
