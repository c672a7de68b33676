#pragma once

#include "audio/AsioDriverInterface.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class SharedLibrary;

// Result codes of the list operations.
constexpr ASIOError kAsioListInvalidParameter = -5001; // null output
constexpr ASIOError kAsioListDriverAlreadyOpen = -5002;
constexpr ASIOError kAsioListNoSuchDriver = -5003;
// The driver's server library cannot be loaded or exports no factory.
constexpr ASIOError kAsioServerUnavailable = -5004;

// The drivers installed in one or more driver registry folders, scanned at construction, and
// the driver made current through this list. A driver is listed only when its server library
// exists; it is named by its entry's "description", or its key name when there is none.
// Indices run from 0 without gaps, in folder order and by file name within a folder.
//
// Loading a driver replaces the process-wide current driver, so callers hold asioHostMutex()
// (AsioHost.h) around every use of a list that loads or releases drivers.
class AsioDriverList {
public:
    // The folders the analyser looks in: "asio" beside the executable, then /etc/asio.
    static std::vector<std::filesystem::path> defaultFolders();

    explicit AsioDriverList(const std::vector<std::filesystem::path>& registryFolders);
    // Releases every driver object still held; clears the current driver if it came from here.
    ~AsioDriverList();
    AsioDriverList(const AsioDriverList&) = delete;
    AsioDriverList& operator=(const AsioDriverList&) = delete;

    int driverCount() const { return static_cast<int>(m_records.size()); }
    // Copies the name into buffer; a name that does not fit ends in "..." within size bytes
    // (at least 4).
    ASIOError driverName(int index, char* buffer, int size) const;
    ASIOError openDriver(int index, IASIO** out);
    ASIOError closeDriver(int index);
    // Loads the driver of that name and makes it current. On failure the driver that was
    // current through this list before is loaded again.
    bool loadAsioDriver(const std::string& name);
    void removeCurrentDriver();

    static constexpr std::size_t kMaxNameLength = 127;
    static constexpr std::size_t kMaxLoadNameLength = 255;

private:
    struct Record {
        Record();
        ~Record();
        Record(Record&&) noexcept;

        int index = 0;
        std::string key;
        AsioClassId classId{};
        std::string name;
        std::filesystem::path server;
        std::filesystem::path entry;
        // The object is released before its library is unloaded.
        std::unique_ptr<SharedLibrary> library;
        std::unique_ptr<IASIO> driver;
    };

    void scan(const std::filesystem::path& folder);
    Record* find(int index);
    const Record* find(int index) const;
    std::string currentName() const;

    std::vector<Record> m_records;
    int m_currentIndex = -1;
};
