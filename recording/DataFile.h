#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The file the recorder's writer thread appends samples to. Tests put one in that fails.
class DataFile {
public:
    virtual ~DataFile() = default;

    // Writes all of it, or as much as it could before failing; error() then says why.
    virtual std::size_t write(const uint8_t* data, std::size_t bytes) = 0;
    // Everything written so far onto the disk.
    virtual bool sync() = 0;
    // Cuts the file to its first `bytes` (the whole samples a failed write left).
    virtual bool truncate(uint64_t bytes) = 0;
    virtual std::string error() const = 0;
};

// A new file at path, never an existing one; null and why when it cannot be created.
std::unique_ptr<DataFile> createDataFile(const std::string& path, std::string& error);
