#include "app/InterceptText.h"

#include <algorithm>
#include <cmath>

namespace {

// value to three significant figures with the decimals that shows, e.g. "65.9", "196", "4000".
QString threeFigures(double value)
{
    int magnitude = static_cast<int>(std::floor(std::log10(value)));
    const double scale = std::pow(10.0, 2 - magnitude);
    // The figure is whole samples over a rate, so a half is often exact but held just below it
    // in binary (251 samples at 2 MS/s, 125.5 µs); nudged, it rounds up as written by hand.
    const double rounded = std::round(value * scale * (1.0 + 1e-9)) / scale;
    magnitude = static_cast<int>(std::floor(std::log10(rounded) + 1e-9));
    return QString::number(rounded, 'f', std::max(0, 2 - magnitude));
}

} // namespace

QString formatInterceptTime(double seconds)
{
    if (!(seconds > 0.0) || !std::isfinite(seconds))
        return {};
    const QString micro = threeFigures(seconds * 1e6);
    // Decided on the rounded figure: 9,999.7 µs reads "10.0 ms", not "10000 µs".
    const bool inMs = micro.toDouble() >= 1e4;
    return QStringLiteral("POI 100 % \u2265 %1 %2")
        .arg(inMs ? threeFigures(seconds * 1e3) : micro, inMs ? QStringLiteral("ms") : QStringLiteral("\u00B5s"));
}
