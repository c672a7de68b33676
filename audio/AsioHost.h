#pragma once

#include "audio/AsioDriverInterface.h"

#include <mutex>
#include <string>
#include <utility>

// The host calls. Each goes to the process-wide current driver, made current by
// AsioDriverList::loadAsioDriver; without one each returns ASE_NotPresent (ASIOExit: ASE_OK)
// after setting the documented defaults in its outputs.
//
// The current driver is one per process: whoever loads, uses or releases drivers holds
// asioHostMutex() for the whole sequence, so two such sequences never interleave.
std::mutex& asioHostMutex();

ASIOError ASIOInit(ASIODriverInfo* info);
ASIOError ASIOExit();
ASIOError ASIOStart();
ASIOError ASIOStop();
ASIOError ASIOGetChannels(int32_t* numInputChannels, int32_t* numOutputChannels);
ASIOError ASIOGetBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize, int32_t* granularity);
ASIOError ASIOSetSampleRate(ASIOSampleRate rate);
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);
ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks);
ASIOError ASIODisposeBuffers();
ASIOError ASIOControlPanel();
// The current driver's own words for its last failure ("" without a driver): what a user can
// act on when a start fails.
std::string asioDriverErrorText();
// While the driver runs: the frames it has asked for so far and the system time of its last
// buffer switch (monotonic nanoseconds with the drivers we ship). Only measurements use it.
ASIOError ASIOGetSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp);

// Runs one call into a driver under the platform's guard against structured exceptions.
// Linux raises none, so the guard is the call itself and hands back the call's own result.
template <class Call>
decltype(auto) asioGuarded(Call&& call)
{
    return std::forward<Call>(call)();
}
