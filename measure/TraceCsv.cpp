#include "measure/TraceCsv.h"

#include <cstdio>

void writeTraceCsv(std::ostream& out, const TraceView& trace, double offsetDb, const char* levelUnit)
{
    out << "frequency_hz,level_" << levelUnit << '\n';
    char line[64];
    for (std::size_t k = 0; k < trace.bins; ++k) {
        const double hz = trace.startHz + static_cast<double>(k) * trace.binHz;
        std::snprintf(line, sizeof line, "%.3f,%.3f\n", hz, static_cast<double>(trace.levelsDb[k]) + offsetDb);
        out << line;
    }
}
