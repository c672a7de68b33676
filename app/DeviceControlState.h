#pragma once

#include "acquisition/IDevice.h"

#include <QString>

#include <atomic>
#include <cstdint>

// The controller's receiver: what identifies the one it has open, written under the device lock
// by connect and disconnect; and the settings last sent to it, atomic because the spectrum thread
// and the GUI thread read them without that lock.
struct DeviceControlState {
    QString name;
    QString serial;
    QString selection;
    int channel = 0;
    bool usb3Known = false;
    bool usb3Ok = false;
    // The open receiver's front end as it was last read (the RZ640's while none is open).
    FrontEndInfo frontEnd;

    std::atomic<uint64_t> centerHz{1'000'000'000};
    std::atomic<uint32_t> sampleRateHz{20'000'000};
    std::atomic<uint8_t> port{0};
    std::atomic<uint8_t> att{0};
    std::atomic<uint8_t> preamp{0};
    std::atomic<uint8_t> ifgain{0};
};
