#include "audio/AsioLog.h"

#include <cstdio>

void asioLogToStderr(AsioLogLevel level, const std::string& text)
{
    std::fprintf(stderr, "%s%s\n", level == AsioLogLevel::Warning ? "Warning: " : "", text.c_str());
}
