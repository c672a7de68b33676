#pragma once

#include "measure/MinHold.h"

#include <array>
#include <cstdint>
#include <vector>

// The traces kept beside the live one for comparison: the minimum hold and two stored traces
// (M1, M2). Each is drawn only while it belongs to the tuning on screen, so that a stored trace
// never shows stations where they no longer are.
class TraceMemories {
public:
    static constexpr int kStoredSlots = 2;

    struct Stored {
        std::vector<float> levels;
        double startHz = 0.0;
        double binHz = 0.0;
    };

    // Each new trace: the minimum hold follows it (and starts again on a retune).
    void follow(const TraceView& trace) { m_minHold.update(trace); }
    void resetMinHold() { m_minHold.reset(); }
    // Keeps a copy of the trace in a slot (0 or 1); other slots are ignored.
    void store(int slot, const TraceView& trace);
    void clear(int slot);
    bool holds(int slot) const;

    const std::vector<float>& minHold() const { return m_minHold.levels(); }
    // The slot's trace when it was taken at this tuning, else nothing.
    const std::vector<float>* storedAt(int slot, double startHz, double binHz) const;

private:
    MinHold m_minHold;
    std::array<Stored, kStoredSlots> m_stored;
};
