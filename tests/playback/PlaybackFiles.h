#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

// A folder of its own for each test's recordings, removed afterwards.
class TempFolder {
public:
    TempFolder()
        : m_path(std::filesystem::temp_directory_path() /
                 ("rtsa-playback-" + std::to_string(::getpid()) + "-" + std::to_string(s_next++)))
    {
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() { std::filesystem::remove_all(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    static inline int s_next = 0;
    std::filesystem::path m_path;
};

template <typename T>
void writeFile(const std::string& path, const std::vector<T>& values)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!values.empty())
        std::fwrite(values.data(), sizeof(T), values.size(), f);
    std::fclose(f);
}

// Interleaved pairs whose I counts the sample and whose Q tells it apart from its neighbours:
// any sample out of place shows.
inline std::vector<int16_t> countingPairs(std::size_t pairs)
{
    std::vector<int16_t> iq(2 * pairs);
    for (std::size_t n = 0; n < pairs; ++n) {
        iq[2 * n] = static_cast<int16_t>(n & 0x7fff);
        iq[2 * n + 1] = static_cast<int16_t>(-static_cast<int16_t>((n >> 15) & 0x7fff) - 1);
    }
    return iq;
}
