#include "EnvReader.h"

#include <cstdio>
#include <cstdlib>

const char* EnvReader::text(const char* name) const
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

void EnvReader::ignored(const char* name, const char* value) const
{
    std::fprintf(stderr, "[%s] ignoring %s=%s\n", m_tag, name, value);
}

void EnvReader::flag(const char* name, bool& out) const
{
    const char* value = text(name);
    if (value == nullptr)
        return;
    const std::string_view text = value;
    if (text == "0" || text == "1")
        out = text == "1";
    else
        ignored(name, value);
}
