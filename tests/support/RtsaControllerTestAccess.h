#pragma once

#include "app/RtsaController.h"

#include <QString>

#include <cstdint>

// What tests and benchmarks reach inside the controller: the demodulation channel they feed or
// listen to, the rings of the running acquisition, the spectrum engine, the settings record it
// last handed the spectrum thread, the audio counters, and the handlers of the RX thread's
// overload and the spectrum thread's status.
class RtsaControllerTestAccess {
public:
    static SingleDemodChannel& demod(RtsaController& c) { return c.m_demod; }
    static const DemodRing* demodRing(RtsaController& c) { return c.m_session->demodRing(); }
    static const FftRing* fftRing(RtsaController& c) { return c.m_session->fftRing(); }
    static bool hasRings(const RtsaController& c) { return c.m_session->fftRing() || c.m_session->demodRing(); }
    static SpectrumEngine& engine(RtsaController& c) { return c.m_spectrum; }
    static SpectrumSettings publishedSpectrumSettings(const RtsaController& c) { return c.m_session->spectrumSettings(); }
    static uint64_t underruns(RtsaController& c) { return c.m_audio.underrunCount.load(); }
    static void dspOverload(RtsaController& c, const QString& trigger) { c.handleDspOverload(trigger); }
    static void spectrumStatus(RtsaController& c, const SpectrumStatus& status) { c.showSpectrumStatus(status); }
};
