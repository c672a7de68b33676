#include "engine/FftWindow.h"

#include "engine/SpectrumSettingTable.h"

#include <cmath>

float fftWindowValue(int type, std::size_t i, std::size_t n)
{
    const float d = n >= 2 ? static_cast<float>(n - 1) : 1.0f;
    const float ratio = static_cast<float>(i) / d;
    const float a = ratio * 6.2831855f;
    switch (static_cast<WindowType>(type)) {
    case WindowType::Hann:
        return 0.5f - 0.5f * std::cos(a);
    case WindowType::Hamming:
        return 0.54f - 0.46f * std::cos(a);
    case WindowType::Blackman:
        return 0.42f - 0.5f * std::cos(a) + 0.08f * std::cos(ratio * 12.566371f);
    default:
        return 1.0f;
    }
}
