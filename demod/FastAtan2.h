#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>

// atan2 in single precision without a library call and without branches, so that loops over
// it vectorise: a polynomial for the arctangent on [0, 1] (Abramowitz and Stegun 4.4.49, within
// 2e-8 there), then the octant. Within 1.1e-7 rad of atan2 everywhere; 0 for (0, 0).
inline float fastAtan2(float y, float x)
{
    const float ax = std::fabs(x);
    const float ay = std::fabs(y);
    const float a = std::min(ax, ay) / std::max(std::max(ax, ay), FLT_MIN);
    const float s = a * a;
    float p = 0.0028662257f;
    p = p * s - 0.0161657367f;
    p = p * s + 0.0429096138f;
    p = p * s - 0.0752896400f;
    p = p * s + 0.1065626393f;
    p = p * s - 0.1420889944f;
    p = p * s + 0.1999355085f;
    p = p * s - 0.3333314528f;
    p = p * s + 1.0f;
    float r = a * p;
    r = ay > ax ? 1.57079632679f - r : r;
    r = x < 0.0f ? 3.14159265359f - r : r;
    return y < 0.0f ? -r : r;
}
