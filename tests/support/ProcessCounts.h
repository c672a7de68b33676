#pragma once

// What the running process holds, read from /proc/self: its threads (by name), its open file
// descriptors and its resident memory. Tests compare them before and after a run to find a
// thread or a descriptor left behind.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace process {

inline int entriesIn(const char* folder)
{
    std::error_code error;
    int count = 0;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        ++count;
    return count;
}

inline int threadCount()
{
    return entriesIn("/proc/self/task");
}

// Includes the descriptor the count itself holds open while it reads the folder.
inline int openDescriptorCount()
{
    return entriesIn("/proc/self/fd");
}

// Every thread's name, sorted: what a failed comparison shows.
inline std::vector<std::string> threadNames()
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/self/task", error), end; !error && it != end;
         it.increment(error)) {
        std::ifstream comm(it->path() / "comm");
        std::string name;
        if (std::getline(comm, name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ",") + name;
    return text;
}

inline long residentKb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace process
