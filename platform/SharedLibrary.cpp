#include "platform/SharedLibrary.h"

#include <dlfcn.h>

std::string SharedLibrary::fileName(const std::string& baseName)
{
    return "lib" + baseName + ".so";
}

const char SharedLibrary::kPathSeparator = '/';
const char* const SharedLibrary::kLookupName = "dlsym";

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path)
{
    // Local binding keeps the library's symbols from resolving another library's references.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return nullptr;
    return std::make_unique<SharedLibrary>(Key(), handle);
}

SharedLibrary::~SharedLibrary()
{
    dlclose(m_handle);
}

void* SharedLibrary::symbol(const char* name) const
{
    return dlsym(m_handle, name);
}
