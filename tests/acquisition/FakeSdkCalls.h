#pragma once

#include <cstdint>

// What a fake SDK library saw of the driver, exported as fake_sdk_calls().
extern "C" {
struct FakeSdkCalls {
    int finds;
    int32_t findKinds[8];
    int infoRefreshes;
    int starts;
    int stops;
    int releases;
    int reads;
    uint64_t frequencyHz;
    uint32_t sampleRateHz;
    uint8_t mappedPort;
    uint8_t requestedPort;
    uint8_t attenuationDb;
    uint8_t ifGainDb;
    uint8_t preampDb;
    uint8_t infoSeen[4];
};
using FakeSdkCallsFn = FakeSdkCalls* (*)();
}
