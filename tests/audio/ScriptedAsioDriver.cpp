// A driver whose behaviour its registry entry scripts, for the host and backend tests:
//   outputs = 2                   number of output channels
//   min, max, preferred, granularity = buffer size limits (64, 2048, 256, 64); createBuffers
//                                 refuses sizes outside them or off the steps from min
//   sampletype = 18               every output's sample type, or
//   types = 18,18,16              per output
//   reportedtype = 42             the type channel info reports, whatever the buffers hold
//   names = Left,,Right           output names (missing ones are empty)
//   fail = init,getChannels,...   operations that fail (create refuses to make the object)
//   failinfo = 1                  the output whose channel info fails
//   controlpanel = 0 | <code> | throw | throw-unknown
//   thread = free                 a thread of its own runs buffer switches between start and stop
//   stallafter = 50               that thread stops calling back after so many switches, as a
//                                 driver whose device went away, and only ends at stop
#include "tests/audio/ScriptedAsioProbe.h"

#include "audio/AsioRegistryEntry.h"
#include "drivers/asio-common/AsioDriverBase.h"
#include "drivers/asio-common/AsioDriverFactory.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

constexpr AsioClassId kScriptedClassId{0xd2f4a6b8, 0x1c3e, 0x4a5b, {0x8d, 0x7f, 0x60, 0x51, 0x42, 0x33, 0x24, 0x15}};

std::vector<std::string> commaList(const std::string& text)
{
    std::vector<std::string> items;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        items.push_back(item);
    return items;
}

std::set<std::string> commaSet(const std::string& text)
{
    const auto items = commaList(text);
    return {items.begin(), items.end()};
}

struct Counters {
    std::atomic<int> created{0};
    std::atomic<int> destroyed{0};
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> disposes{0};
    std::atomic<int> controlPanels{0};
    std::atomic<long> switches{0};
    std::atomic<int> lastBufferFrames{0};
    std::atomic<double> lastSampleRate{0.0};
};
Counters g_counts;

class ScriptedDriver;
std::atomic<ScriptedDriver*> g_live{nullptr};

class ScriptedDriver final : public AsioDriverBase {
public:
    explicit ScriptedDriver(const AsioRegistryEntry& entry)
        : AsioDriverBase(entry.value("key"), 7)
        , m_outputs(static_cast<int32_t>(entry.intValue("outputs", 2)))
        , m_limits{static_cast<int32_t>(entry.intValue("min", 64)), static_cast<int32_t>(entry.intValue("max", 2048)),
                   static_cast<int32_t>(entry.intValue("preferred", 256)),
                   static_cast<int32_t>(entry.intValue("granularity", 64))}
        , m_sampleType(static_cast<ASIOSampleType>(entry.intValue("sampletype", ASIOSTInt32LSB)))
        , m_types(commaList(entry.value("types")))
        , m_reportedType(static_cast<ASIOSampleType>(entry.intValue("reportedtype", 0)))
        , m_names(commaList(entry.value("names")))
        , m_failing(commaSet(entry.value("fail")))
        , m_failingInfo(static_cast<int32_t>(entry.intValue("failinfo", -1)))
        , m_controlPanel(entry.value("controlpanel"))
        , m_freeThread(entry.value("thread") == "free")
        , m_stallAfter(entry.intValue("stallafter", 0))
    {
        ++g_counts.created;
        g_live = this;
    }

    ~ScriptedDriver() override
    {
        shutdown();
        ScriptedDriver* self = this;
        g_live.compare_exchange_strong(self, nullptr);
        ++g_counts.destroyed;
    }

    ASIOBool init(void* sysRef) override
    {
        if (fails("init")) {
            setErrorText("scripted init failure");
            return ASIOFalse;
        }
        return AsioDriverBase::init(sysRef);
    }
    ASIOError getChannels(int32_t* inputs, int32_t* outputs) override
    {
        return fails("getChannels") ? ASE_HWMalfunction : AsioDriverBase::getChannels(inputs, outputs);
    }
    ASIOError setSampleRate(ASIOSampleRate rate) override
    {
        g_counts.lastSampleRate = rate;
        return fails("setSampleRate") ? ASE_NoClock : AsioDriverBase::setSampleRate(rate);
    }
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferred, int32_t* granularity) override
    {
        return fails("getBufferSize") ? ASE_HWMalfunction
                                      : AsioDriverBase::getBufferSize(minSize, maxSize, preferred, granularity);
    }
    ASIOError getChannelInfo(ASIOChannelInfo* info) override
    {
        if (fails("getChannelInfo") || (info != nullptr && info->channel == m_failingInfo))
            return ASE_InvalidParameter;
        const ASIOError result = AsioDriverBase::getChannelInfo(info);
        if (result == ASE_OK && m_reportedType != 0)
            info->type = m_reportedType;
        return result;
    }
    ASIOError createBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames, ASIOCallbacks* callbacks) override
    {
        g_counts.lastBufferFrames = frames;
        if (fails("createBuffers"))
            return ASE_NoMemory;
        m_callbacks = callbacks;
        return AsioDriverBase::createBuffers(infos, count, frames, callbacks);
    }
    ASIOError disposeBuffers() override
    {
        ++g_counts.disposes;
        return AsioDriverBase::disposeBuffers();
    }
    ASIOError start() override
    {
        ++g_counts.starts;
        return fails("start") ? ASE_HWMalfunction : AsioDriverBase::start();
    }
    ASIOError stop() override
    {
        ++g_counts.stops;
        return AsioDriverBase::stop();
    }
    ASIOError controlPanel() override
    {
        ++g_counts.controlPanels;
        if (m_controlPanel == "throw")
            throw std::runtime_error("scripted panel failure");
        if (m_controlPanel == "throw-unknown")
            throw 42;
        return m_controlPanel.empty() ? ASE_OK : static_cast<ASIOError>(std::stol(m_controlPanel));
    }

    void runSwitch(int32_t half)
    {
        switchBuffers(half);
        ++g_counts.switches;
    }
    ASIOTime* runSwitchTimeInfo(ASIOTime* params, int32_t half)
    {
        ++g_counts.switches;
        return m_callbacks->bufferSwitchTimeInfo(params, half, ASIOTrue);
    }
    const void* buffer(int32_t channel, int32_t half) const
    {
        for (const Output& output : outputs()) {
            if (output.channel == channel)
                return output.halves[half].data();
        }
        return nullptr;
    }

protected:
    bool openDevice(std::string&) override { return true; }
    int32_t outputCount() const override { return m_outputs; }
    std::string outputName(int32_t channel) const override
    {
        return static_cast<std::size_t>(channel) < m_names.size() ? m_names[static_cast<std::size_t>(channel)] : "";
    }
    ASIOSampleType outputType(int32_t channel) const override
    {
        if (static_cast<std::size_t>(channel) < m_types.size())
            return static_cast<ASIOSampleType>(std::stol(m_types[static_cast<std::size_t>(channel)]));
        return m_sampleType;
    }
    AsioBufferLimits bufferLimits() const override { return m_limits; }
    // Strict about the limits and the steps of a positive granularity, as a device that refuses
    // other sizes; with -1 or 0 any size within the limits, so that the host's own choice there
    // is what a test sees.
    bool acceptsBufferSize(int32_t frames) const override
    {
        if (m_limits.granularity > 0)
            return AsioDriverBase::acceptsBufferSize(frames);
        return frames >= m_limits.minSize && frames <= m_limits.maxSize;
    }
    bool supportsRate(ASIOSampleRate rate) const override { return rate > 0.0; }
    bool startStream() override
    {
        if (m_freeThread) {
            m_running = true;
            m_thread = std::thread([this] { runFree(); });
        }
        return true;
    }
    void stopStream() override
    {
        m_running = false;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    bool fails(const std::string& operation) const { return m_failing.count(operation) != 0; }

    // Plays like a device: switch, then read the half the host filled, as a device copies it out.
    void runFree()
    {
        int32_t half = 0;
        for (long calls = 0; m_running; ++calls) {
            if (m_stallAfter > 0 && calls >= m_stallAfter) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            runSwitch(half);
            for (const Output& output : outputs())
                m_silentBytesPlayed += std::count(output.halves[half].begin(), output.halves[half].end(), 0);
            half ^= 1;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    const int32_t m_outputs;
    const AsioBufferLimits m_limits;
    const ASIOSampleType m_sampleType;
    const std::vector<std::string> m_types;
    const ASIOSampleType m_reportedType;
    const std::vector<std::string> m_names;
    const std::set<std::string> m_failing;
    const int32_t m_failingInfo;
    const std::string m_controlPanel;
    const bool m_freeThread;
    const long m_stallAfter;
    ASIOCallbacks* m_callbacks = nullptr;
    std::atomic<bool> m_running{false};
    std::thread m_thread;
    long m_silentBytesPlayed = 0;
};

} // namespace

ASIO_DRIVER_EXPORT ASIOError asioCreateDriver(const AsioClassId* classId, const char* entryPath, IASIO** object)
{
    const auto entry = entryPath ? AsioRegistryEntry::read(entryPath) : std::nullopt;
    // Refuses to make the object when the entry says so, like a server that cannot.
    if (entry && commaSet(entry->value("fail")).count("create") != 0) {
        *object = nullptr;
        return ASE_HWMalfunction;
    }
    return createAsioDriver<ScriptedDriver>(kScriptedClassId, classId, entryPath, object);
}

ASIO_DRIVER_EXPORT ScriptedAsioCounts scriptedAsioCounts()
{
    return {g_counts.created,       g_counts.destroyed, g_counts.starts,           g_counts.stops,
            g_counts.disposes,      g_counts.controlPanels, g_counts.switches, g_counts.lastBufferFrames,
            g_counts.lastSampleRate};
}

ASIO_DRIVER_EXPORT bool scriptedAsioSwitch(int32_t half)
{
    ScriptedDriver* driver = g_live;
    if (driver == nullptr)
        return false;
    driver->runSwitch(half);
    return true;
}

ASIO_DRIVER_EXPORT ASIOTime* scriptedAsioSwitchTimeInfo(ASIOTime* params, int32_t half)
{
    ScriptedDriver* driver = g_live;
    return driver ? driver->runSwitchTimeInfo(params, half) : nullptr;
}

ASIO_DRIVER_EXPORT const void* scriptedAsioBuffer(int32_t channel, int32_t half)
{
    ScriptedDriver* driver = g_live;
    return driver ? driver->buffer(channel, half) : nullptr;
}
