#pragma once

// The WAV File Writer's recording as the window probes listen to it. Run with
// RZSIM_TEST_TONES=1, every broadcast station of the simulated receiver sends a 1 kHz tone on
// the left and a 3 kHz tone on the right.
#include <QString>

namespace probe_recording {

inline constexpr int kAudioRate = 48000;
// The recording is listened to in its first 1.5 s: the first second holds the prefill and the
// stereo decoder settling; half a second after it is enough to tell the tones apart and short
// enough for the rate control to hold a tone's pitch still.
inline constexpr int kRecordingHeard = kAudioRate * 3 / 2;

// The file the WAV driver writes, from its registry entry beside the executable; relative
// names are taken from the working folder, as the driver takes them.
QString wavDriverFile();
// What the WAV driver has written so far: 16-bit stereo frames after a 44-byte header. A busy
// machine's driver thread may write them slower than the clock.
qint64 recordedFrames();
// Why the finished recording does not hold a station's test tones, its left tone on the left
// and its right tone on the right; empty when it does.
QString stationTonesMissing();

} // namespace probe_recording
