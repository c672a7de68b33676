#pragma once

#include "measure/TraceView.h"

#include <ostream>

// A trace as CSV: a header line, then one "frequency_hz,level" line per bin, the level with the
// reference offset added (so it is in dBm when one is set).
void writeTraceCsv(std::ostream& out, const TraceView& trace, double offsetDb, const char* levelUnit);
