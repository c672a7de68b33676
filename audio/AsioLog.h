#pragma once

#include <functional>
#include <sstream>
#include <string>

// Where the audio backend's diagnostic lines go: the controller routes them to the Qt message
// log, tests keep them. A sink must not call back into the backend.
enum class AsioLogLevel { Info, Warning };
using AsioLogSink = std::function<void(AsioLogLevel level, const std::string& text)>;

// The default sink: one line per message on standard error.
void asioLogToStderr(AsioLogLevel level, const std::string& text);

// A message made of several parts: the parts in order, separated by single spaces.
template <class... Parts>
std::string asioLogLine(const Parts&... parts)
{
    std::ostringstream line;
    const char* separator = "";
    ((line << separator << parts, separator = " "), ...);
    return line.str();
}
