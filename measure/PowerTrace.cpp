#include "measure/PowerTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

void PowerTrace::assign(const TraceView& view)
{
    const std::size_t n = view.levelsDb != nullptr ? view.bins : 0;
    m_db.assign(view.levelsDb, view.levelsDb + n);
    m_power.resize(n);
    m_cumulative.resize(n + 1);
    m_startHz = view.startHz;
    m_binHz = view.binHz;
    m_enbwBins = view.enbwBins > 0.0 ? view.enbwBins : 1.0;

    constexpr float kLog2Of10Over10 = 0.33219280949f;
    for (std::size_t k = 0; k < n; ++k)
        m_power[k] = std::exp2(m_db[k] * kLog2Of10Over10);
    double sum = 0.0;
    m_cumulative[0] = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        sum += m_power[k];
        m_cumulative[k + 1] = sum;
    }
}

std::size_t PowerTrace::nearestBin(double hz) const
{
    if (bins() == 0 || !(m_binHz > 0.0))
        return 0;
    const double x = std::round((hz - m_startHz) / m_binHz);
    return static_cast<std::size_t>(std::clamp(x, 0.0, static_cast<double>(bins() - 1)));
}

double PowerTrace::binPowerBelow(double hz) const
{
    if (bins() == 0 || !(m_binHz > 0.0))
        return 0.0;
    // x counts bins from the trace's lower edge.
    const double x = std::clamp((hz - m_startHz) / m_binHz + 0.5, 0.0, static_cast<double>(bins()));
    const auto whole = static_cast<std::size_t>(x);
    if (whole >= bins())
        return totalBinPower();
    return m_cumulative[whole] + (x - static_cast<double>(whole)) * m_power[whole];
}

double PowerTrace::frequencyBelow(double binPower) const
{
    if (bins() == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (binPower <= 0.0)
        return lowEdgeHz();
    if (binPower >= totalBinPower())
        return highEdgeHz();
    // The first bin whose upper edge holds more than binPower below it.
    const auto above = std::upper_bound(m_cumulative.begin() + 1, m_cumulative.end(), binPower);
    const auto bin = static_cast<std::size_t>(above - m_cumulative.begin()) - 1;
    const double within = m_power[bin] > 0.0f ? (binPower - m_cumulative[bin]) / m_power[bin] : 0.0;
    return frequencyOfBin(static_cast<double>(bin) - 0.5 + within);
}

double PowerTrace::bandPower(double lowHz, double highHz) const
{
    return (binPowerBelow(highHz) - binPowerBelow(lowHz)) / m_enbwBins;
}

double powerDb(double power)
{
    return power > 0.0 ? 10.0 * std::log10(power) : std::numeric_limits<double>::quiet_NaN();
}
