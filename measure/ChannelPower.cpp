#include "measure/ChannelPower.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The band's power when it lies wholly inside the trace, else NaN.
double wholeBandPower(const PowerTrace& trace, double centreHz, double bandwidthHz)
{
    const double low = centreHz - bandwidthHz * 0.5;
    const double high = centreHz + bandwidthHz * 0.5;
    if (trace.bins() == 0 || low < trace.lowEdgeHz() || high > trace.highEdgeHz())
        return kNaN;
    return trace.bandPower(low, high);
}

} // namespace

ChannelPower channelPower(const PowerTrace& trace, double centreHz, double bandwidthHz)
{
    ChannelPower result;
    if (trace.bins() == 0 || !(bandwidthHz > 0.0))
        return result;
    result.lowHz = std::max(centreHz - bandwidthHz * 0.5, trace.lowEdgeHz());
    result.highHz = std::min(centreHz + bandwidthHz * 0.5, trace.highEdgeHz());
    if (!(result.highHz > result.lowHz))
        return result;
    const double power = trace.bandPower(result.lowHz, result.highHz);
    result.valid = true;
    result.powerDb = powerDb(power);
    result.densityDbHz = powerDb(power / (result.highHz - result.lowHz));
    return result;
}

AdjacentChannels adjacentChannelPower(const PowerTrace& trace, double centreHz, const AdjacentChannelSettings& s)
{
    AdjacentChannels result;
    result.pairs = measure_settings::acpPairs.clamp(s.pairs);
    result.lowerDbc.fill(kNaN);
    result.upperDbc.fill(kNaN);
    const double main = wholeBandPower(trace, centreHz, s.mainBandwidthHz);
    result.mainDb = powerDb(main);
    for (int i = 0; i < result.pairs; ++i) {
        const double offset = (i + 1) * s.spacingHz;
        result.lowerDbc[i] = powerDb(wholeBandPower(trace, centreHz - offset, s.adjacentBandwidthHz) / main);
        result.upperDbc[i] = powerDb(wholeBandPower(trace, centreHz + offset, s.adjacentBandwidthHz) / main);
    }
    return result;
}
