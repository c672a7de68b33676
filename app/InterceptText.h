#pragma once

#include <QString>

// How the window states the probability of intercept: "POI 100 % ≥ 48.9 µs", in µs below 10 ms
// and in ms from there, to three significant figures; empty for no duration.
QString formatInterceptTime(double seconds);
