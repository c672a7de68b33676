#pragma once

#include <span>
#include <vector>

// Where a trace's noise floor and its strongest signal lie, for scales that set themselves.
struct TraceLevels {
    float noiseFloorDb = 0.0f;
    float strongestDb = 0.0f;
};

// The floor is the trace's median (signals fill less than half of a span in practice), the
// strongest signal its maximum. `scratch` is reused between calls. Nothing for an empty trace.
bool measureTraceLevels(std::span<const float> trace, std::vector<float>& scratch, TraceLevels& levels);
