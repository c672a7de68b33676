#pragma once

#include <atomic>
#include <cmath>

// The store-and-notify steps every controller setter shares: clamp, compare with the stored
// value (within a tolerance for doubles), store, then emit the change signal once.
namespace setting {

// True when value differs from current by the tolerance or more. NaN never counts as a change:
// a setting that is not a number would poison every later comparison.
inline bool changed(double current, double value, double tolerance)
{
    return !std::isnan(value) && std::abs(value - current) >= tolerance;
}

// Stores value unless it is within tolerance of the current one; true when it stored.
template <typename T>
bool storeIfChanged(std::atomic<T>& member, T value, double tolerance)
{
    if (!changed(static_cast<double>(member.load()), static_cast<double>(value), tolerance))
        return false;
    member.store(value);
    return true;
}

template <typename T>
bool storeIfDifferent(std::atomic<T>& member, T value)
{
    if (member.load() == value)
        return false;
    member.store(value);
    return true;
}

// Stores when changed beyond the tolerance (exactly, for a tolerance of 0), then emits changed.
template <typename T, typename Object>
void update(Object* object, std::atomic<T>& member, T value, double tolerance, void (Object::*changed)())
{
    if (tolerance > 0.0 ? storeIfChanged(member, value, tolerance) : storeIfDifferent(member, value))
        emit(object->*changed)();
}

} // namespace setting
