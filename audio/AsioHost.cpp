#include "audio/AsioHost.h"

#include "audio/AsioCurrentDriver.h"
#include "audio/AsioDriverList.h"

#include <cstring>

namespace {

struct CurrentDriver {
    IASIO* driver = nullptr;
    AsioDriverList* list = nullptr; // the list that loaded it
};

CurrentDriver& current()
{
    static CurrentDriver instance;
    return instance;
}

template <std::size_t N>
void copyText(char (&field)[N], const char* text)
{
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

} // namespace

std::mutex& asioHostMutex()
{
    static std::mutex mutex;
    return mutex;
}

void asioSetCurrentDriver(IASIO* driver, AsioDriverList* list)
{
    current() = {driver, list};
}

void asioClearCurrentDriver()
{
    current() = {};
}

void asioForgetDriver(const IASIO* driver)
{
    if (current().driver == driver)
        asioClearCurrentDriver();
}

ASIOError ASIOInit(ASIODriverInfo* info)
{
    info->driverVersion = 0;
    copyText(info->name, "No ASIO Driver");
    IASIO* driver = current().driver;
    if (driver == nullptr)
        return ASE_NotPresent;
    if (!driver->init(info->sysRef)) {
        driver->getErrorMessage(info->errorMessage);
        info->errorMessage[sizeof info->errorMessage - 1] = '\0';
        // The list still holds the object until its removeCurrentDriver.
        asioClearCurrentDriver();
        return ASE_NotPresent;
    }
    copyText(info->errorMessage, "No ASIO Driver Error");
    driver->getDriverName(info->name);
    info->name[sizeof info->name - 1] = '\0';
    info->driverVersion = driver->getDriverVersion();
    return ASE_OK;
}

ASIOError ASIOExit()
{
    if (AsioDriverList* list = current().list)
        list->removeCurrentDriver();
    asioClearCurrentDriver();
    return ASE_OK;
}

ASIOError ASIOStart()
{
    IASIO* driver = current().driver;
    return driver ? driver->start() : ASE_NotPresent;
}

std::string asioDriverErrorText()
{
    IASIO* driver = current().driver;
    if (driver == nullptr)
        return {};
    ASIODriverInfo info{};
    driver->getErrorMessage(info.errorMessage);
    info.errorMessage[sizeof info.errorMessage - 1] = '\0';
    return info.errorMessage;
}

ASIOError ASIOStop()
{
    IASIO* driver = current().driver;
    return driver ? driver->stop() : ASE_NotPresent;
}

ASIOError ASIOGetChannels(int32_t* numInputChannels, int32_t* numOutputChannels)
{
    IASIO* driver = current().driver;
    if (driver == nullptr) {
        *numInputChannels = *numOutputChannels = 0;
        return ASE_NotPresent;
    }
    return driver->getChannels(numInputChannels, numOutputChannels);
}

ASIOError ASIOGetBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize, int32_t* granularity)
{
    IASIO* driver = current().driver;
    if (driver == nullptr) {
        *minSize = *maxSize = *preferredSize = *granularity = 0;
        return ASE_NotPresent;
    }
    return driver->getBufferSize(minSize, maxSize, preferredSize, granularity);
}

ASIOError ASIOSetSampleRate(ASIOSampleRate rate)
{
    IASIO* driver = current().driver;
    return driver ? driver->setSampleRate(rate) : ASE_NotPresent;
}

ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info)
{
    IASIO* driver = current().driver;
    if (driver == nullptr) {
        info->channelGroup = -1;
        info->type = 0;
        copyText(info->name, "None");
        return ASE_NotPresent;
    }
    return driver->getChannelInfo(info);
}

ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks)
{
    IASIO* driver = current().driver;
    if (driver == nullptr) {
        for (int32_t k = 0; k < numChannels; ++k)
            bufferInfos[k].buffers[0] = bufferInfos[k].buffers[1] = nullptr;
        return ASE_NotPresent;
    }
    return driver->createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
}

ASIOError ASIODisposeBuffers()
{
    IASIO* driver = current().driver;
    return driver ? driver->disposeBuffers() : ASE_NotPresent;
}

ASIOError ASIOControlPanel()
{
    IASIO* driver = current().driver;
    return driver ? driver->controlPanel() : ASE_NotPresent;
}

ASIOError ASIOGetSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp)
{
    IASIO* driver = current().driver;
    if (driver == nullptr) {
        *position = *timeStamp = 0;
        return ASE_NotPresent;
    }
    return driver->getSamplePosition(position, timeStamp);
}
