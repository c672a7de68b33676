#pragma once

// One user setting: the value the analyser starts with, the range its setter keeps it in and
// the step its control moves by (0 where the control offers fixed choices). The panels read the
// same record, so a default or a limit is written once.
template <typename T>
struct SettingRange {
    T initial;
    T min;
    T max;
    T step;

    // Like std::clamp, except that a NaN passes through for the caller to reject.
    constexpr T clamp(T value) const { return value < min ? min : (max < value ? max : value); }
};
