#pragma once

// How long a test waits for something that is bound to happen: long enough for a machine busy
// with other work, or a sanitizer build, to get there; spent in full only when it never does.
inline constexpr int kEventWaitMs = 30000;
