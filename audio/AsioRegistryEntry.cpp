#include "audio/AsioRegistryEntry.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>

namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Reads exactly `digits` hexadecimal digits at text[at].
template <class T>
bool hexField(const std::string& text, std::size_t at, std::size_t digits, T& out)
{
    if (at + digits > text.size())
        return false;
    const char* begin = text.data() + at;
    const char* end = begin + digits;
    if (!std::all_of(begin, end, [](unsigned char c) { return std::isxdigit(c) != 0; }))
        return false;
    return std::from_chars(begin, end, out, 16).ptr == end;
}

} // namespace

std::optional<AsioRegistryEntry> AsioRegistryEntry::read(const std::filesystem::path& file)
{
    std::ifstream in(file);
    if (!in)
        return std::nullopt;
    AsioRegistryEntry entry;
    entry.m_file = file;
    std::string line;
    while (std::getline(in, line)) {
        const std::string text = trimmed(line);
        const auto equals = text.find('=');
        if (text.empty() || text.front() == '#' || equals == std::string::npos)
            continue;
        entry.m_values[lowered(trimmed(text.substr(0, equals)))] = trimmed(text.substr(equals + 1));
    }
    return entry;
}

bool AsioRegistryEntry::has(const std::string& name) const
{
    return m_values.count(lowered(name)) != 0;
}

std::string AsioRegistryEntry::value(const std::string& name) const
{
    const auto it = m_values.find(lowered(name));
    return it == m_values.end() ? std::string() : it->second;
}

std::filesystem::path AsioRegistryEntry::pathValue(const std::string& name) const
{
    const std::filesystem::path path = value(name);
    if (path.empty() || path.is_absolute())
        return path;
    return m_file.parent_path() / path;
}

long AsioRegistryEntry::intValue(const std::string& name, long fallback) const
{
    const std::string text = value(name);
    long result = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), result);
    return error == std::errc() && end == text.data() + text.size() && !text.empty() ? result : fallback;
}

std::optional<AsioClassId> parseAsioClassId(const std::string& text)
{
    // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-')
        return std::nullopt;
    AsioClassId id{};
    bool ok = hexField(text, 1, 8, id.data1) && hexField(text, 10, 4, id.data2) && hexField(text, 15, 4, id.data3);
    static constexpr std::size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t k = 0; k < 8 && ok; ++k)
        ok = hexField(text, kByteAt[k], 2, id.data4[k]);
    if (!ok)
        return std::nullopt;
    return id;
}
