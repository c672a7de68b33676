#pragma once

#include "app/RtsaController.h"

#include <QString>

#include <cstdint>

// What tests and benchmarks reach inside the controller: the demodulation channel they feed or
// listen to, the rings of the running acquisition, the spectrum engine, the audio counters, and
// the overload handler the RX thread calls.
class RtsaControllerTestAccess {
public:
    static SingleDemodChannel& demod(RtsaController& c) { return c.m_demod; }
    static DemodRing* demodRing(RtsaController& c) { return c.m_run.demodRing.get(); }
    static FftRing* fftRing(RtsaController& c) { return c.m_run.fftRing.get(); }
    static bool hasRings(const RtsaController& c) { return c.m_run.fftRing || c.m_run.demodRing; }
    static SpectrumEngine& engine(RtsaController& c) { return c.m_spectrum; }
    static uint64_t underruns(RtsaController& c) { return c.m_audio.underrunCount.load(); }
    static void dspOverload(RtsaController& c, const QString& trigger) { c.handleDspOverload(trigger); }
};
