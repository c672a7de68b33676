#include "markers/MarkerTracking.h"

#include <algorithm>
#include <cmath>

namespace marker_tracking {

std::optional<std::size_t> nearestBin(double freqHz, double startHz, double binHz, std::size_t bins)
{
    if (!(binHz > 0.0) || bins == 0 || std::isnan(freqHz))
        return std::nullopt;
    const double lastHz = startHz + static_cast<double>(bins - 1) * binHz;
    const double f = std::min(lastHz, std::max(freqHz, startHz));
    // std::round takes halves away from zero; f is never below the start, so never negative.
    const double index = std::round((f - startHz) / binHz);
    return std::min(static_cast<std::size_t>(index), bins - 1);
}

Reading track(Reading marker, const std::vector<float>& trace, const PeakReadout::Values& peak)
{
    if (marker.autoPeakEnabled)
        marker.freqHz = peak.peakFreqHz;
    if (const auto bin = nearestBin(marker.freqHz, peak.startHz, peak.binHz, trace.size()))
        marker.ampDb = static_cast<double>(trace[*bin]);
    return marker;
}

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

bool merge(Reading& stored, const Reading& update)
{
    if (stored.autoPeakEnabled != update.autoPeakEnabled)
        return false;
    // A manual marker's reading carries the frequency it was read at.
    if (!stored.autoPeakEnabled && stored.freqHz != update.freqHz)
        return false;
    if (fuzzyEqual(stored.freqHz, update.freqHz) && fuzzyEqual(stored.ampDb, update.ampDb))
        return false;
    stored.freqHz = update.freqHz;
    stored.ampDb = update.ampDb;
    return true;
}

} // namespace marker_tracking
