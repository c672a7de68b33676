#pragma once

#include "audio/AsioDriverInterface.h"

// What the scripted test driver library exports besides its factory, so that a test can play
// the driver's part: run buffer switches, read what the host wrote, and count the calls made.
struct ScriptedAsioCounts {
    int created;
    int destroyed;
    int starts;
    int stops;
    int disposes;
    int controlPanels;
    long switches;
    int lastBufferFrames;
    double lastSampleRate;
};

extern "C" {
// Counts since the library was loaded.
ScriptedAsioCounts scriptedAsioCounts();
// One buffer switch of the live driver object, as its thread would run it. False without one.
bool scriptedAsioSwitch(int32_t half);
// The time-info buffer switch; returns what the host handed back.
ASIOTime* scriptedAsioSwitchTimeInfo(ASIOTime* params, int32_t half);
// The live driver's buffer half of an output channel, or null when that output has none.
const void* scriptedAsioBuffer(int32_t channel, int32_t half);
}
