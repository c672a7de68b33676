#pragma once

#include "acquisition/IDevice.h"

#include <stdexcept>
#include <string>

// The text an open failed with, "no error" when it did not throw.
inline std::string openError(IDevice& device)
{
    try {
        device.open();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "no error";
}
