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
    static const DemodRing* demodRing(RtsaController& c) { return c.m_session->demodRing(); }
    static const FftRing* fftRing(RtsaController& c) { return c.m_session->fftRing(); }
    static bool hasRings(const RtsaController& c) { return c.m_session->fftRing() || c.m_session->demodRing(); }
    static SpectrumEngine& engine(RtsaController& c) { return c.m_spectrum; }
    static uint64_t underruns(RtsaController& c) { return c.m_audio.underrunCount.load(); }
    static void dspOverload(RtsaController& c, const QString& trigger) { c.handleDspOverload(trigger); }
};
