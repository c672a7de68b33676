#pragma once

#include "audio/AsioDriverInterface.h"
#include "audio/AsioRegistryEntry.h"

#include <memory>

// Marks the one function a driver library exports; everything else stays hidden.
#define ASIO_DRIVER_EXPORT extern "C" __attribute__((visibility("default")))

// The body of a driver library's factory: creates a Driver from its registry entry when the
// class asked for is the library's own.
template <class Driver>
ASIOError createAsioDriver(const AsioClassId& ownClass, const AsioClassId* classId, const char* entryPath,
                           IASIO** object)
{
    if (object == nullptr)
        return ASE_InvalidParameter;
    *object = nullptr;
    if (classId == nullptr || !(*classId == ownClass) || entryPath == nullptr)
        return ASE_NotPresent;
    const auto entry = AsioRegistryEntry::read(entryPath);
    if (!entry)
        return ASE_NotPresent;
    *object = std::make_unique<Driver>(*entry).release();
    return ASE_OK;
}
