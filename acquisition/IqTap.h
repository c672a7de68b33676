#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How one acquisition run is tuned, as a tap sees it.
struct IqTapRun {
    uint32_t sampleRateHz = 0;
    uint64_t centerHz = 0;
    std::string deviceName;
    std::string serialNumber;
};

// A consumer of the receiver's IQ exactly as delivered, before any processing (a recorder).
// runStarted and runStopped come from the thread that starts and stops runs, while no RX thread
// is running; delivered and lost come from the RX thread, which they must never hold up: no
// blocking, no allocation, no system call.
class IqTap {
public:
    virtual ~IqTap() = default;

    virtual void runStarted(const IqTapRun& run) = 0;
    virtual void runStopped() = 0;
    // One block of interleaved 16-bit I/Q as the receiver delivered it.
    virtual void delivered(const uint8_t* iq, std::size_t bytes) = 0;
    // Samples the receiver reported lost (IDevice::takeLoss) since the last call.
    virtual void lost(uint64_t samples) = 0;
};
