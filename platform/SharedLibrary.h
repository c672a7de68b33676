#pragma once

#include <memory>
#include <string>

// A shared library loaded into the process for as long as the object lives.
class SharedLibrary {
public:
    // Platform conventions: a library's file name for a base name ("librzsdr.so" or
    // "rzsdr.dll" for "rzsdr"), the path separator, and the name of the symbol lookup for
    // messages.
    static std::string fileName(const std::string& baseName);
    static const char kPathSeparator;
    static const char* const kLookupName;

    // Loads the library at path (a bare file name uses the platform's own search).
    // Returns null when it cannot be loaded.
    static std::unique_ptr<SharedLibrary> open(const std::string& path);

    // Only open() can make the key, so every instance owns a handle that loaded.
    class Key {
        friend class SharedLibrary;
        Key() = default;
    };
    SharedLibrary(Key, void* handle) : m_handle(handle) {}
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Address of an exported symbol, or null when the library does not export it.
    void* symbol(const char* name) const;

private:
    void* m_handle;
};
