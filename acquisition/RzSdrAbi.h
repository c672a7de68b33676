#pragma once

// Binary interface of the receiver SDK (librzsdr): the function table returned by rzsdr_init
// and the receiver record handed out by find. Only the entries and fields the driver uses are
// named; the layout is pinned by static_asserts so that a shift anywhere fails to build.

#include <cstddef>
#include <cstdint>

struct RzSdrApi;
struct RzSdrDevice;

extern "C" {
using RzInitFn = RzSdrApi* (*)();
using RzFindFn = RzSdrDevice* (*)(int32_t kind);
using RzDeviceFn = void (*)(RzSdrDevice* device);
using RzSetFrequencyFn = void (*)(RzSdrDevice* device, uint64_t hz);
using RzSetPortFn = void (*)(RzSdrDevice* device, uint8_t mappedPort, uint8_t requestedPort);
using RzSetSampleRateFn = void (*)(RzSdrDevice* device, uint32_t hz);
using RzSetLevelFn = void (*)(RzSdrDevice* device, uint8_t db);
using RzReadFn = bool (*)(RzSdrDevice* device, void* buffer, uint32_t lengthBytes);
using RzSerialQueryFn = bool (*)(void* context, char* buffer);
using RzInfoRefreshFn = void (*)(void* context, void* infoArea);
}

inline constexpr const char* kRzSdrInitSymbol = "rzsdr_init";

// Kinds passed to find.
inline constexpr int32_t kRzKindRz640Usb = 0;     // RZ_640_1
inline constexpr int32_t kRzKindRz640Network = 1; // RZ_640_N

// Size of the buffer handed to the serial number query.
inline constexpr std::size_t kRzSerialBufferBytes = 50;

struct RzSdrApi {
    RzFindFn find;
    RzDeviceFn release;
    RzSetFrequencyFn setFrequency;
    RzSetPortFn setPort;
    RzSetSampleRateFn setSampleRate;
    RzSetLevelFn setAttenuation;
    RzSetLevelFn setIfGain;
    RzSetLevelFn setPreamp;
    void* unused40;
    RzDeviceFn startStreaming;
    RzDeviceFn stopStreaming;
    void* unused58[11];
    RzReadFn read;
};

static_assert(offsetof(RzSdrApi, find) == 0x00);
static_assert(offsetof(RzSdrApi, release) == 0x08);
static_assert(offsetof(RzSdrApi, setFrequency) == 0x10);
static_assert(offsetof(RzSdrApi, setPort) == 0x18);
static_assert(offsetof(RzSdrApi, setSampleRate) == 0x20);
static_assert(offsetof(RzSdrApi, setAttenuation) == 0x28);
static_assert(offsetof(RzSdrApi, setIfGain) == 0x30);
static_assert(offsetof(RzSdrApi, setPreamp) == 0x38);
static_assert(offsetof(RzSdrApi, startStreaming) == 0x48);
static_assert(offsetof(RzSdrApi, stopStreaming) == 0x50);
static_assert(offsetof(RzSdrApi, read) == 0xB0);

struct RzSdrDevice {
    char name[50];
    char serial[50];
    uint8_t info[4];
    uint16_t samplesPerTransfer;
    uint8_t unused106[0x340 - 106];
    void* callbackContext;
    uint8_t unused348[0x3B8 - 0x348];
    RzSerialQueryFn querySerial;
    RzInfoRefreshFn refreshInfo;
};

static_assert(offsetof(RzSdrDevice, name) == 0);
static_assert(offsetof(RzSdrDevice, serial) == 50);
static_assert(offsetof(RzSdrDevice, info) == 100);
static_assert(offsetof(RzSdrDevice, samplesPerTransfer) == 104);
static_assert(offsetof(RzSdrDevice, callbackContext) == 0x340);
static_assert(offsetof(RzSdrDevice, querySerial) == 0x3B8);
static_assert(offsetof(RzSdrDevice, refreshInfo) == 0x3C0);
