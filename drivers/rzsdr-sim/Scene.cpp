#include "Scene.h"

const Scene& Scene::instance(Programme programme)
{
    // Each built on first use only: the music takes a while to compose.
    if (programme == Programme::TestTones) {
        static const Scene tones(Programme::TestTones);
        return tones;
    }
    static const Scene music(Programme::Music);
    return music;
}

Scene::Scene(Programme programme)
{
    auto keep = [this](Modulation mod) {
        m_programmes.push_back(std::make_unique<Modulation>(std::move(mod)));
        return m_programmes.back().get();
    };
    const bool tones = programme == Programme::TestTones;
    const Modulation* stereoA = keep(tones ? makeStereoTestTones() : makeStereoBroadcast(0));
    const Modulation* stereoB = tones ? stereoA : keep(makeStereoBroadcast(1));
    if (tones) {
        m_tones = stereoA;
        m_pilotOnly = keep(makeStereoTestTones(false));
    }
    const Modulation* voice = keep(makeVoiceOvers(7));
    const Modulation* voice2 = keep(makeVoiceOvers(31));
    const Modulation* beacon = keep(makeMorseBeacon("VVV DE NR0SIM NR0SIM"));
    constexpr double kHopSpacingHz = 250000.0;
    const Modulation* hopper = keep(makeHopper(5, kHopSpacingHz));
    constexpr double kBroadcastReachHz = 100000.0;
    constexpr double kVoiceReachHz = 6000.0;
    constexpr double kHopperReachHz = 8 * kHopSpacingHz + 20000.0;

    const struct {
        double mhz;
        float dbfs;
    } broadcast[] = {{88.3, -58.0f}, {90.1, -44.0f}, {91.9, -38.0f}, {94.5, -50.0f}, {96.7, -36.0f},
                     {99.4, -42.0f}, {101.1, -47.0f}, {104.3, -32.0f}, {106.8, -53.0f}};
    std::size_t start = 0;
    bool a = true;
    for (const auto& station : broadcast) {
        m_emitters.push_back({station.mhz * 1e6, station.dbfs, a ? stereoA : stereoB, start, kBroadcastReachHz});
        a = !a;
        start += 310000;
    }

    m_emitters.push_back({146.52e6, -48.0f, voice, 0, kVoiceReachHz});
    m_emitters.push_back({145.6e6, -66.0f, voice2, 9000, kVoiceReachHz});
    m_emitters.push_back({144.43e6, -72.0f, beacon, 0, 100.0});

    // The start-up view, 990..1010 MHz.
    m_emitters.push_back({995.6e6, -46.0f, stereoB, 120000, kBroadcastReachHz});
    m_emitters.push_back({1003.125e6, -58.0f, voice, 70000, kVoiceReachHz});
    m_emitters.push_back({1001.5e6, -74.0f, beacon, 30000, 100.0});
    m_emitters.push_back({1006.0e6, -52.0f, hopper, 0, kHopperReachHz});
}
