#include "measure/NoiseMarker.h"

#include "engine/SpectrumSettingTable.h"

#include <algorithm>
#include <cmath>

NoiseMarkerReading noiseMarker(const PowerTrace& trace, double freqHz, int binsEachSide, double detectorCorrectionDb)
{
    NoiseMarkerReading reading;
    if (trace.bins() == 0 || !(trace.binHz() > 0.0))
        return reading;
    const std::size_t centre = trace.nearestBin(freqHz);
    const auto side = static_cast<std::size_t>(std::max(0, binsEachSide));
    const std::size_t first = centre > side ? centre - side : 0;
    const std::size_t last = std::min(trace.bins() - 1, centre + side);
    const auto power = trace.power();
    double sum = 0.0;
    for (std::size_t k = first; k <= last; ++k)
        sum += power[k];
    const double mean = sum / static_cast<double>(last - first + 1);
    const double rbwHz = trace.binHz() * trace.enbwBins();
    reading.valid = true;
    reading.freqHz = trace.frequencyOfBin(static_cast<double>(centre));
    reading.densityDbHz = powerDb(mean / rbwHz) + detectorCorrectionDb;
    return reading;
}

double detectorNoiseCorrectionDb(int detectorMode, int detectorWindow)
{
    const int n = spectrum_settings::detectorWindow.clamp(detectorWindow);
    switch (static_cast<DetectorMode>(detectorMode)) {
    case DetectorMode::Max: {
        double harmonic = 0.0;
        for (int k = 1; k <= n; ++k)
            harmonic += 1.0 / k;
        return -10.0 * std::log10(harmonic);
    }
    case DetectorMode::Min:
        return 10.0 * std::log10(static_cast<double>(n));
    default:
        return 0.0;
    }
}
