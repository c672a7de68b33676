#include "SineTable.h"

#include <cmath>
#include <numbers>

const SineTable& SineTable::instance()
{
    static const SineTable table;
    return table;
}

SineTable::SineTable()
{
    for (uint32_t i = 0; i <= kSize; ++i)
        m_cos[i] = static_cast<float>(std::cos(2.0 * std::numbers::pi * i / kSize));
}
