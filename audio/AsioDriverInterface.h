#pragma once

// The ASIO driver interface as the analyser and the drivers we ship both see it: the records
// exchanged with a driver, its result and sample-type codes, the driver object's operations,
// and the one function a driver's shared library exports to create its object.
//
// Integer fields are fixed at 32 bits so that host and driver agree on every platform.

#include <cstdint>

using ASIOBool = int32_t;
constexpr ASIOBool ASIOFalse = 0;
constexpr ASIOBool ASIOTrue = 1;

using ASIOError = int32_t;
constexpr ASIOError ASE_OK = 0;
constexpr ASIOError ASE_SUCCESS = 0x3F4847A0;
constexpr ASIOError ASE_NotPresent = -1000;
constexpr ASIOError ASE_HWMalfunction = -999;
constexpr ASIOError ASE_InvalidParameter = -998;
constexpr ASIOError ASE_InvalidMode = -997;
constexpr ASIOError ASE_NoClock = -995;
constexpr ASIOError ASE_NoMemory = -994;

using ASIOSampleRate = double;

using ASIOSampleType = int32_t;
constexpr ASIOSampleType ASIOSTInt16LSB = 16;
constexpr ASIOSampleType ASIOSTInt24LSB = 17; // packed, three bytes per sample
constexpr ASIOSampleType ASIOSTInt32LSB = 18;
constexpr ASIOSampleType ASIOSTFloat32LSB = 19;
constexpr ASIOSampleType ASIOSTFloat64LSB = 20;

// Sample counts and system times (nanoseconds) for the sample-position query.
using ASIOSamples = int64_t;
using ASIOTimeStamp = int64_t;

struct ASIODriverInfo {
    int32_t asioVersion;   // set by the host
    int32_t driverVersion; // set by the driver
    char name[32];
    char errorMessage[124];
    void* sysRef; // host window or context; null here
};

struct ASIOClockSource {
    int32_t index;
    int32_t associatedChannel;
    int32_t associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOChannelInfo {
    int32_t channel;  // set by the host
    ASIOBool isInput; // set by the host
    ASIOBool isActive;
    int32_t channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;  // set by the host
    int32_t channelNum; // set by the host
    void* buffers[2];  // the two halves, set by the driver
};

// Timing details a driver may hand to the time-info buffer switch.
struct ASIOTime {
    double speed;
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    uint32_t flags;
};

// The host's entry points, called by the driver. The buffer switches come from the driver's
// own thread, once per buffer half, naming the half (0 or 1) the host is to fill now.
struct ASIOCallbacks {
    void (*bufferSwitch)(int32_t doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate rate);
    int32_t (*asioMessage)(int32_t selector, int32_t value, void* message, double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, int32_t doubleBufferIndex, ASIOBool directProcess);
};

// One driver object. Text outputs are written into fields of the sizes in the records above
// (32 for names, 124 for error messages), always terminated. Destroying the object releases
// the driver; it must be destroyed before its library is unloaded.
class IASIO {
public:
    virtual ~IASIO() = default;

    virtual ASIOBool init(void* sysRef) = 0;
    virtual void getDriverName(char* name) = 0;
    virtual int32_t getDriverVersion() = 0;
    virtual void getErrorMessage(char* text) = 0;
    virtual ASIOError start() = 0;
    virtual ASIOError stop() = 0;
    virtual ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) = 0;
    virtual ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) = 0;
    virtual ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                    int32_t* granularity) = 0;
    virtual ASIOError canSampleRate(ASIOSampleRate rate) = 0;
    virtual ASIOError getSampleRate(ASIOSampleRate* rate) = 0;
    virtual ASIOError setSampleRate(ASIOSampleRate rate) = 0;
    virtual ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) = 0;
    virtual ASIOError setClockSource(int32_t reference) = 0;
    virtual ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) = 0;
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                                    ASIOCallbacks* callbacks) = 0;
    virtual ASIOError disposeBuffers() = 0;
    virtual ASIOError controlPanel() = 0;
    virtual ASIOError future(int32_t selector, void* opt) = 0;
    virtual ASIOError outputReady() = 0;
};

// A driver's class identifier: the 16 bytes of the text form {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}.
struct AsioClassId {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];

    friend bool operator==(const AsioClassId&, const AsioClassId&) = default;
};

// The factory a driver library exports under kAsioDriverFactorySymbol. It creates the driver
// object of the given class, whose settings live in the registry entry at entryPath, stores it
// in *object and returns ASE_OK, or returns an error code and leaves *object null.
using AsioDriverFactory = ASIOError (*)(const AsioClassId* classId, const char* entryPath, IASIO** object);
constexpr const char* kAsioDriverFactorySymbol = "asioCreateDriver";
