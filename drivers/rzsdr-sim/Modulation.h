#pragma once

#include <cstdint>
#include <vector>

// Rate of the modulation tables: every emitter changes its frequency and amplitude at most this
// often. All five receiver rates are whole multiples of it.
inline constexpr double kMessageRate = 250000.0;
// Length of the broadcast music programme: whole pilot cycles at the message rate.
inline constexpr double kBroadcastProgrammeSeconds = 6.0;

// A looping modulation programme: frequency deviation and amplitude envelope, each entry held
// for `hold` message samples. An empty vector means "always 0 Hz" or "always full level".
struct Modulation {
    std::vector<float> deviationHz;
    std::vector<float> amplitude;
    uint32_t hold = 1;

    std::size_t entries() const { return deviationHz.empty() ? amplitude.size() : deviationHz.size(); }
};

// Broadcast FM with a stereo multiplex (pilot at 19 kHz, 38 kHz difference channel, 75 us
// pre-emphasis). The two programmes differ in their left and right content.
Modulation makeStereoBroadcast(int programme);
// Broadcast FM stereo carrying measurement tones: left 1 kHz, right 3 kHz, each pre-emphasised to
// the full level of its channel, so that the programme peaks at 90 % of the deviation and the
// pilot adds the last 10 %. Loops every millisecond. Without tones: the pilot alone, entry for
// entry in step with the tones, so that a station can switch between the two at any entry.
Modulation makeStereoTestTones(bool tones = true);
// Narrowband FM voice with a sub-audible tone, keyed on and off in overs with pauses.
Modulation makeVoiceOvers(uint32_t seed);
// Keyed carrier sending a Morse identification, then a long tone, then silence.
Modulation makeMorseBeacon(const char* text);
// Short FSK bursts hopping over sixteen channels, idle most of the time.
Modulation makeHopper(uint32_t seed, double channelSpacingHz);
