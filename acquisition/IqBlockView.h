#pragma once

#include "acquisition/IqSample.h"

#include <cstddef>

// A block of IQ samples where it lies, in at most two pieces (a ring's end splits it): read in
// place, never copied to be analysed.
struct IqBlockView {
    const IqSample* first = nullptr;
    std::size_t firstCount = 0;
    const IqSample* second = nullptr;
    std::size_t secondCount = 0;

    std::size_t size() const { return firstCount + secondCount; }
};
