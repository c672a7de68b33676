#include "audio/AsioDriverList.h"

#include "audio/AsioCurrentDriver.h"
#include "audio/AsioRegistryEntry.h"
#include "platform/ExecutablePath.h"
#include "platform/SharedLibrary.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace {

// At most maxBytes of UTF-8 text, never ending inside a character.
std::string cutText(const std::string& text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::vector<std::filesystem::path> entryFiles(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

AsioDriverList::Record::Record() = default;
AsioDriverList::Record::~Record() = default;
AsioDriverList::Record::Record(Record&&) noexcept = default;

std::vector<std::filesystem::path> AsioDriverList::defaultFolders()
{
    std::vector<std::filesystem::path> folders;
    const std::filesystem::path exe = executablePath();
    if (!exe.empty())
        folders.push_back(exe.parent_path() / "asio");
    folders.emplace_back("/etc/asio");
    return folders;
}

AsioDriverList::AsioDriverList(const std::vector<std::filesystem::path>& registryFolders)
{
    for (const auto& folder : registryFolders)
        scan(folder);
}

AsioDriverList::~AsioDriverList()
{
    for (auto& record : m_records)
        closeDriver(record.index);
}

void AsioDriverList::scan(const std::filesystem::path& folder)
{
    for (const auto& file : entryFiles(folder)) {
        const auto entry = AsioRegistryEntry::read(file);
        if (!entry)
            continue;
        const std::string key = entry->value("key");
        const std::filesystem::path server = entry->pathValue("server");
        std::error_code error;
        if (key.empty() || !entry->has("clsid") || server.empty() || !std::filesystem::is_regular_file(server, error))
            continue;
        // One registry: a key installed in two folders is listed once, from the first.
        if (std::any_of(m_records.begin(), m_records.end(), [&](const Record& r) { return r.key == key; }))
            continue;
        Record record;
        record.index = driverCount();
        record.key = key;
        record.classId = parseAsioClassId(entry->value("clsid")).value_or(AsioClassId{});
        const std::string description = entry->value("description");
        record.name = cutText(description.empty() ? key : description, kMaxNameLength);
        record.server = server;
        record.entry = file;
        m_records.push_back(std::move(record));
    }
}

AsioDriverList::Record* AsioDriverList::find(int index)
{
    return index >= 0 && index < driverCount() ? &m_records[static_cast<std::size_t>(index)] : nullptr;
}

const AsioDriverList::Record* AsioDriverList::find(int index) const
{
    return index >= 0 && index < driverCount() ? &m_records[static_cast<std::size_t>(index)] : nullptr;
}

ASIOError AsioDriverList::driverName(int index, char* buffer, int size) const
{
    if (buffer == nullptr || size < 4)
        return kAsioListInvalidParameter;
    const Record* record = find(index);
    if (record == nullptr)
        return kAsioListNoSuchDriver;
    const auto room = static_cast<std::size_t>(size);
    if (record->name.size() < room) {
        std::memcpy(buffer, record->name.c_str(), record->name.size() + 1);
    } else {
        std::memcpy(buffer, record->name.data(), room - 4);
        std::memcpy(buffer + room - 4, "...", 4);
    }
    return ASE_OK;
}

ASIOError AsioDriverList::openDriver(int index, IASIO** out)
{
    if (out == nullptr)
        return kAsioListInvalidParameter;
    Record* record = find(index);
    if (record == nullptr)
        return kAsioListNoSuchDriver;
    if (record->driver)
        return kAsioListDriverAlreadyOpen;
    auto library = SharedLibrary::open(record->server.string());
    const auto factory =
        library ? reinterpret_cast<AsioDriverFactory>(library->symbol(kAsioDriverFactorySymbol)) : nullptr;
    if (factory == nullptr)
        return kAsioServerUnavailable;
    IASIO* object = nullptr;
    const ASIOError result = factory(&record->classId, record->entry.c_str(), &object);
    if (result != ASE_OK || object == nullptr) {
        std::unique_ptr<IASIO> refused(object);
        return result != ASE_OK ? result : ASE_NotPresent;
    }
    record->library = std::move(library);
    record->driver.reset(object);
    *out = object;
    return ASE_OK;
}

ASIOError AsioDriverList::closeDriver(int index)
{
    Record* record = find(index);
    if (record != nullptr && record->driver) {
        asioForgetDriver(record->driver.get());
        record->driver.reset();
        record->library.reset();
    }
    return ASE_OK;
}

std::string AsioDriverList::currentName() const
{
    const Record* record = find(m_currentIndex);
    return record ? record->name : std::string();
}

bool AsioDriverList::loadAsioDriver(const std::string& requested)
{
    const std::string name = requested.substr(0, kMaxLoadNameLength);
    const auto it = std::find_if(m_records.begin(), m_records.end(), [&](const Record& r) { return r.name == name; });
    if (it == m_records.end())
        return false;
    const std::string previous = currentName();
    if (m_currentIndex >= 0) {
        closeDriver(m_currentIndex);
        m_currentIndex = -1;
    }
    IASIO* driver = nullptr;
    if (openDriver(it->index, &driver) == ASE_OK) {
        m_currentIndex = it->index;
        asioSetCurrentDriver(driver, this);
        return true;
    }
    asioClearCurrentDriver();
    if (!previous.empty() && previous != name)
        loadAsioDriver(previous);
    return false;
}

void AsioDriverList::removeCurrentDriver()
{
    if (m_currentIndex >= 0)
        closeDriver(m_currentIndex);
    m_currentIndex = -1;
}
