#pragma once

// Driver registry folders of a test's own, the scripted test driver and test samples for an audio
// bus, for any test framework.
#include "platform/SharedLibrary.h"
#include "tests/audio/ScriptedAsioProbe.h"

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

constexpr const char* kScriptedClassId = "{d2f4a6b8-1c3e-4a5b-8d7f-605142332415}";
constexpr const char* kWavClassId = "{9c7e2b14-3d5a-4f8e-b1c6-2a9d8e4f7b03}";
constexpr const char* kPortAudioClassId = "{5a1d3c2e-8f4b-4c1a-9e2d-7b6a0f3c9d41}";

// A folder of the test's own, removed with everything in it at the end.
class TestFolder {
public:
    explicit TestFolder(const std::string& name)
    {
        static std::atomic<int> serial{0};
        m_path = std::filesystem::temp_directory_path() /
                 (name + "-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TestFolder() { std::filesystem::remove_all(m_path); }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }

    // Writes one driver registry entry: the given values as "name = value" lines.
    void writeEntry(const std::string& fileName, const std::map<std::string, std::string>& values) const
    {
        std::ofstream out(m_path / fileName);
        for (const auto& [name, value] : values)
            out << name << " = " << value << "\n";
    }

private:
    std::filesystem::path m_path;
};

// An entry for the scripted driver under key (and description, when given), with its script.
inline std::map<std::string, std::string> scriptedEntry(const std::string& key,
                                                        std::map<std::string, std::string> script = {})
{
    script.emplace("key", key);
    script.emplace("clsid", kScriptedClassId);
    script.emplace("server", RTSA_SCRIPTED_ASIO_DRIVER);
    return script;
}

// The scripted driver's library as the test sees it: the same loaded copy the host uses, so
// the test can run the driver's buffer switches and count what the host asked of it.
class ScriptedDriverProbe {
public:
    ScriptedDriverProbe()
        : m_library(SharedLibrary::open(RTSA_SCRIPTED_ASIO_DRIVER))
    {
        if (!m_library)
            throw std::runtime_error("cannot load the scripted driver");
        m_counts = lookup<decltype(&scriptedAsioCounts)>("scriptedAsioCounts");
        m_switch = lookup<decltype(&scriptedAsioSwitch)>("scriptedAsioSwitch");
        m_switchTimeInfo = lookup<decltype(&scriptedAsioSwitchTimeInfo)>("scriptedAsioSwitchTimeInfo");
        m_buffer = lookup<decltype(&scriptedAsioBuffer)>("scriptedAsioBuffer");
    }

    ScriptedAsioCounts counts() const { return m_counts(); }
    bool runSwitch(int32_t half) const { return m_switch(half); }
    ASIOTime* runSwitchTimeInfo(ASIOTime* params, int32_t half) const { return m_switchTimeInfo(params, half); }
    template <class Sample>
    const Sample* buffer(int32_t channel, int32_t half) const
    {
        return static_cast<const Sample*>(m_buffer(channel, half));
    }

private:
    template <class Fn>
    Fn lookup(const char* name) const
    {
        auto fn = reinterpret_cast<Fn>(m_library->symbol(name));
        if (fn == nullptr)
            throw std::runtime_error(std::string("scripted driver lacks ") + name);
        return fn;
    }

    std::unique_ptr<SharedLibrary> m_library;
    decltype(&scriptedAsioCounts) m_counts;
    decltype(&scriptedAsioSwitch) m_switch;
    decltype(&scriptedAsioSwitchTimeInfo) m_switchTimeInfo;
    decltype(&scriptedAsioBuffer) m_buffer;
};

// Samples start, start + step, ... to write into an audio bus, each one telling where it came from.
inline std::vector<float> ramp(std::size_t n, float start, float step)
{
    std::vector<float> x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = start + step * static_cast<float>(k);
    return x;
}
