#pragma once

#include "audio/AsioDriverInterface.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>

// One installed driver in a driver registry folder: a small text file of "name = value" lines
// holding what a registry key holds. The host reads "key", "clsid", "description" and
// "server"; every other value belongs to the driver, which reads its own entry for its settings.
// Value names are case-insensitive; blank lines and lines starting with '#' are ignored.
class AsioRegistryEntry {
public:
    // Null when the file cannot be read.
    static std::optional<AsioRegistryEntry> read(const std::filesystem::path& file);

    const std::filesystem::path& file() const { return m_file; }
    bool has(const std::string& name) const;
    // Empty when absent.
    std::string value(const std::string& name) const;
    // The value as a path; a relative one counts from the folder that holds the entry.
    // Empty when absent.
    std::filesystem::path pathValue(const std::string& name) const;
    // The value as a decimal integer; fallback when absent or not a whole number.
    long intValue(const std::string& name, long fallback) const;

private:
    std::filesystem::path m_file;
    std::map<std::string, std::string> m_values;
};

// Parses the text form of a class identifier, braces included. Null when it does not parse.
std::optional<AsioClassId> parseAsioClassId(const std::string& text);
