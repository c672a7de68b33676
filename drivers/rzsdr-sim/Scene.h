#pragma once

#include "Modulation.h"

#include <memory>
#include <vector>

// One transmitter of the simulated RF scene.
struct Emitter {
    double frequencyHz;
    // Level in dBFS at the reference front-end gain (preamp 20 dB, IF gain 30 dB, no attenuation).
    float levelDbfs;
    const Modulation* modulation;
    // Entries into the modulation loop where this emitter starts, so shared programmes differ.
    std::size_t startEntry;
    // Half the band the emitter can reach around its frequency (its hops and deviation).
    double reachHz;
};

// The default RF scene: broadcast FM stations, amateur band voice and beacon, and a group of
// signals around 1 GHz (the analyser's start-up view). Built once per programme; immutable
// afterwards.
class Scene {
public:
    // What the broadcast stations carry: music, or measurement tones on every station.
    enum class Programme { Music, TestTones };

    static const Scene& instance(Programme programme = Programme::Music);

    const std::vector<Emitter>& emitters() const { return m_emitters; }
    // What an emitter sends while the measurement tones are keyed off: the pilot alone for the
    // tone programme, any other programme unchanged.
    const Modulation& tonesKeyedOff(const Modulation& programme) const
    {
        return &programme == m_tones ? *m_pilotOnly : programme;
    }

private:
    explicit Scene(Programme programme);

    std::vector<std::unique_ptr<Modulation>> m_programmes;
    const Modulation* m_tones = nullptr;
    const Modulation* m_pilotOnly = nullptr;
    std::vector<Emitter> m_emitters;
};
