// A stand-in for the receiver SDK whose behaviour is fixed at compile time (see Receiver.cmake),
// recording what the driver asked of it.

#include "acquisition/RzSdrAbi.h"
#include "tests/acquisition/FakeSdkCalls.h"

#include <cstdio>
#include <cstring>

namespace {

FakeSdkCalls g_calls;
RzSdrDevice g_device;

#ifndef FAKE_SDK_NO_CALLBACKS
bool querySerial(void* context, char* buffer)
{
    if (context != &g_calls)
        return false;
#ifdef FAKE_SDK_SERIAL_EMPTY
    (void)buffer;
#else
    std::snprintf(buffer, kRzSerialBufferBytes, "FAKE-QUERIED");
#endif
    return true;
}

void refreshInfo(void* context, void* infoArea)
{
    if (context != &g_calls)
        return;
    ++g_calls.infoRefreshes;
    std::memcpy(g_calls.infoSeen, infoArea, 4);
    // The refresh reports the transfer size the device settled on.
    g_device.samplesPerTransfer = 8192;
}
#endif

RzSdrDevice* find(int32_t kind)
{
    if (g_calls.finds < 8)
        g_calls.findKinds[g_calls.finds] = kind;
    ++g_calls.finds;
#ifdef FAKE_SDK_KINDS
    if ((FAKE_SDK_KINDS & (1 << kind)) == 0) {
#ifdef FAKE_SDK_SAYS_WHY
        std::fprintf(stderr, "[fake-sdk] kind %d: cable unplugged\n", kind);
#endif
        return nullptr;
    }
#endif
    std::memset(&g_device, 0, sizeof g_device);
    std::snprintf(g_device.name, sizeof g_device.name, "Fake RZ640 kind %d", kind);
    std::snprintf(g_device.serial, sizeof g_device.serial, "FAKE-STORED");
    std::memcpy(g_device.info, "INFO", 4);
    g_device.samplesPerTransfer = 2048;
    g_device.callbackContext = &g_calls;
#ifndef FAKE_SDK_NO_CALLBACKS
    g_device.querySerial = querySerial;
    g_device.refreshInfo = refreshInfo;
#endif
    return &g_device;
}

void release(RzSdrDevice*)
{
    ++g_calls.releases;
}
void setFrequency(RzSdrDevice*, uint64_t hz)
{
    g_calls.frequencyHz = hz;
}
void setPort(RzSdrDevice*, uint8_t mapped, uint8_t requested)
{
    g_calls.mappedPort = mapped;
    g_calls.requestedPort = requested;
}
void setSampleRate(RzSdrDevice*, uint32_t hz)
{
    g_calls.sampleRateHz = hz;
}
void setAttenuation(RzSdrDevice*, uint8_t db)
{
    g_calls.attenuationDb = db;
}
void setIfGain(RzSdrDevice*, uint8_t db)
{
    g_calls.ifGainDb = db;
}
void setPreamp(RzSdrDevice*, uint8_t db)
{
    g_calls.preampDb = db;
}
void start(RzSdrDevice*)
{
    ++g_calls.starts;
}
void stop(RzSdrDevice*)
{
    ++g_calls.stops;
}
bool read(RzSdrDevice*, void* buffer, uint32_t length)
{
    ++g_calls.reads;
    std::memset(buffer, 0x5A, length);
    return true;
}

[[maybe_unused]] RzSdrApi g_api{find, release, setFrequency, setPort, setSampleRate, setAttenuation, setIfGain, setPreamp, nullptr,
               start, stop, {}, read};

} // namespace

extern "C" __attribute__((visibility("default"))) FakeSdkCalls* fake_sdk_calls()
{
    return &g_calls;
}

#ifndef FAKE_SDK_NO_ENTRY
extern "C" __attribute__((visibility("default"))) RzSdrApi* rzsdr_init()
{
#ifdef FAKE_SDK_INIT_NULL
    return nullptr;
#else
    return &g_api;
#endif
}
#endif
