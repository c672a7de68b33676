#pragma once

#include "playback/RecordingFile.h"

#include <string>

// What a SigMF recording says of its data (NAME.sigmf-data beside NAME.sigmf-meta): datatype
// ci16_le, cf32_le or cu8, its rate, and its captures with their frequencies and times; the
// samples the recorder stated lost between captures are added up. `path` names the meta, the
// data or the recording without suffix. Throws std::runtime_error with a text for the user.
RecordingInfo sigmfRecording(const std::string& path);
