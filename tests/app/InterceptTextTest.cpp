// The intercept time as the status bar states it: three significant figures, in µs below 10 ms.
#include "app/InterceptText.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

std::string stated(double seconds)
{
    return formatInterceptTime(seconds).toStdString();
}

} // namespace

TEST(InterceptText, RoundsToThreeFiguresInTheUnitThatReadsBest)
{
    // Hann at 30 MS/s: 3001, 1977 and 12009 samples.
    EXPECT_EQ(stated(3001 / 30e6), "POI 100 % ≥ 100 µs");
    EXPECT_EQ(stated(1977 / 30e6), "POI 100 % ≥ 65.9 µs");
    EXPECT_EQ(stated(12009 / 30e6), "POI 100 % ≥ 400 µs");
    EXPECT_EQ(stated(5865 / 30e6), "POI 100 % ≥ 196 µs");
    // 251 samples at 2 MS/s are 125.5 µs, which binary holds a hair below.
    EXPECT_EQ(stated(251 / 2e6), "POI 100 % ≥ 126 µs");
    EXPECT_EQ(stated(37 / 30e6), "POI 100 % ≥ 1.23 µs");
    EXPECT_EQ(stated(99.96e-6), "POI 100 % ≥ 100 µs");
    EXPECT_EQ(stated(4.0e-3), "POI 100 % ≥ 4000 µs");
    // The unit follows the rounded figure.
    EXPECT_EQ(stated(9.9949e-3), "POI 100 % ≥ 9990 µs");
    EXPECT_EQ(stated(9.9951e-3), "POI 100 % ≥ 10.0 ms");
    EXPECT_EQ(stated(46927 / 2e6), "POI 100 % ≥ 23.5 ms");
    EXPECT_EQ(stated(1.5), "POI 100 % ≥ 1500 ms");
}

TEST(InterceptText, NoDurationStatesNothing)
{
    EXPECT_EQ(stated(0.0), "");
    EXPECT_EQ(stated(-1e-3), "");
    EXPECT_EQ(stated(std::numeric_limits<double>::quiet_NaN()), "");
    EXPECT_EQ(stated(std::numeric_limits<double>::infinity()), "");
}
