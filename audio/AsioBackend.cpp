#include "audio/AsioBackend.h"

#include "audio/AsioHost.h"
#include "audio/SampleConversion.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A driver that is unloaded and loaded again right away, or replaced by another, gets a moment
// to release its device first.
constexpr auto kReloadPause = 150ms;
constexpr auto kSwitchPause = 100ms;
// Time for a buffer switch already under way to finish before the tables and buffers go.
constexpr auto kStopSettle = 100ms;
constexpr auto kDisposeSettle = 50ms;

} // namespace

std::atomic<AsioBackend*> AsioBackend::s_currentBackend{nullptr};

ASIODriverInfo AsioBackend::driverInfoFor(const std::string& name)
{
    ASIODriverInfo info{};
    info.asioVersion = 2;
    std::strncpy(info.name, name.c_str(), sizeof info.name - 1);
    return info;
}

AsioBackend::AsioBackend(std::vector<std::filesystem::path> registryFolders, AsioLogSink log)
    : m_registryFolders(std::move(registryFolders))
    , m_log(log ? std::move(log) : AsioLogSink(asioLogToStderr))
{
}

AsioBackend::~AsioBackend()
{
    close();
}

bool AsioBackend::open(const std::string& deviceName, int sampleRate, int bufferFrames, AudioBus* bus,
                       const std::vector<int>& channelMap, std::atomic<uint64_t>* underrunCounter)
{
    std::lock_guard lock(asioHostMutex());
    return openLocked(deviceName, sampleRate, bufferFrames, bus, channelMap, underrunCounter);
}

void AsioBackend::close()
{
    std::lock_guard lock(asioHostMutex());
    closeLocked();
}

void AsioBackend::unloadBeforeOpen(const std::string& name)
{
    if (!m_driverLoaded)
        return;
    if (m_loadedDriverName == name) {
        log(AsioLogLevel::Info, "ASIO: forcing clean reload for", name);
        ASIOExit();
        if (m_driverList)
            asioGuarded([this] { m_driverList->removeCurrentDriver(); });
        m_driverLoaded = false;
        m_loadedDriverName.clear();
        std::this_thread::sleep_for(kReloadPause);
    } else {
        log(AsioLogLevel::Info, "ASIO: unloading previous driver", m_loadedDriverName);
        if (m_driverList)
            m_driverList->removeCurrentDriver();
        m_driverLoaded = false;
        m_loadedDriverName.clear();
        std::this_thread::sleep_for(kSwitchPause);
    }
}

bool AsioBackend::mapChannels(const std::vector<int>& channelMap, int32_t outputCount)
{
    m_channelMap.assign(static_cast<std::size_t>(outputCount), -1);
    if (channelMap.empty()) {
        const int32_t fallback = m_defaultOutputChannel;
        if (fallback >= 0 && fallback < outputCount)
            m_channelMap[static_cast<std::size_t>(fallback)] = 0;
    } else {
        const std::size_t used = std::min(channelMap.size(), m_channelMap.size());
        std::copy_n(channelMap.begin(), used, m_channelMap.begin());
    }
    m_activeOutputs.clear();
    for (int32_t channel = 0; channel < outputCount; ++channel) {
        if (m_channelMap[static_cast<std::size_t>(channel)] >= 0)
            m_activeOutputs.push_back(channel);
    }
    return !m_activeOutputs.empty();
}

int32_t AsioBackend::negotiateBufferSize(int32_t requested, int32_t minSize, int32_t maxSize, int32_t granularity)
{
    int32_t n = requested;
    if (n < minSize) {
        log(AsioLogLevel::Info, "ASIO: requested buffer", requested, "< min", minSize, ", using min");
        n = minSize;
    } else if (n > maxSize) {
        log(AsioLogLevel::Info, "ASIO: requested buffer", requested, "> max", maxSize, ", using max");
        n = maxSize;
    }
    // The sizes a driver takes are its minimum plus whole steps: rounding down to one of them
    // keeps n within [min, max]. -1 (powers of two) and 0 keep n.
    if (granularity > 0) {
        const int32_t fitted = minSize + granularity * ((n - minSize) / granularity);
        if (fitted != n)
            log(AsioLogLevel::Info, "ASIO: adjusting buffer from", n, "to", fitted, "(granularity=", granularity, ")");
        n = fitted;
    }
    log(AsioLogLevel::Info, "ASIO: requested buffer=", requested, "actual buffer=", n);
    return n;
}

bool AsioBackend::readSampleType()
{
    m_channelInfos.clear();
    for (const int32_t channel : m_activeOutputs) {
        ASIOChannelInfo info{};
        info.channel = channel;
        info.isInput = ASIOFalse;
        if (ASIOGetChannelInfo(&info) != ASE_OK)
            return false;
        m_channelInfos.push_back(info);
    }
    m_sampleType = m_channelInfos.front().type;
    for (const auto& info : m_channelInfos) {
        if (info.type != m_sampleType) {
            log(AsioLogLevel::Info, "ASIO: mixed sample types not supported");
            return false;
        }
    }
    m_bytesPerSample = asioBytesPerSample(m_sampleType);
    if (m_bytesPerSample == 0) {
        log(AsioLogLevel::Info, "ASIO: unsupported sample type", m_sampleType);
        return false;
    }
    log(AsioLogLevel::Info, "ASIO: sample type", m_sampleType, "bytes/frame", m_bytesPerSample);
    return true;
}

void AsioBackend::zeroOutputBuffers()
{
    const auto bytes = static_cast<std::size_t>(m_frames) * static_cast<std::size_t>(m_bytesPerSample);
    for (const auto& info : m_bufferInfos) {
        for (void* half : info.buffers) {
            if (half != nullptr)
                std::memset(half, 0, bytes);
        }
    }
}

bool AsioBackend::openLocked(const std::string& name, int sampleRate, int bufferFrames, AudioBus* bus,
                             const std::vector<int>& channelMap, std::atomic<uint64_t>* underrunCounter)
{
    if (m_isOpenFlag)
        closeLocked();
    if (bus == nullptr || sampleRate <= 0 || bufferFrames <= 0)
        return false;
    unloadBeforeOpen(name);

    if (!m_driverList)
        m_driverList = std::make_unique<AsioDriverList>(m_registryFolders);
    if (!m_driverList->loadAsioDriver(name)) {
        log(AsioLogLevel::Info, "ASIO: loadAsioDriver failed for", name);
        m_driverList.reset();
        return false;
    }
    m_driverInfo = driverInfoFor(name);
    if (ASIOInit(&m_driverInfo) != ASE_OK) {
        log(AsioLogLevel::Warning, "ASIO: ASIOInit failed (" + std::string(m_driverInfo.errorMessage) + "), removing driver");
        m_driverList->removeCurrentDriver();
        return false;
    }
    m_driverLoaded = true;
    m_loadedDriverName = name;
    log(AsioLogLevel::Info, "ASIO: driver initialized for", name);

    // From here a failure leaves the driver loaded; the next open or close unloads it.
    int32_t inputCount = 0;
    int32_t outputCount = 0;
    if (ASIOGetChannels(&inputCount, &outputCount) != ASE_OK || outputCount < 1) {
        log(AsioLogLevel::Info, "ASIO: ASIOGetChannels failed");
        return false;
    }
    if (!mapChannels(channelMap, outputCount)) {
        log(AsioLogLevel::Info, "ASIO: no output channels mapped");
        return false;
    }

    // From here a failure releases the driver itself; only the loaded flag and name remain.
    // Buffers the driver disposed of are forgotten, so close never writes into them.
    const auto abandon = [this](bool disposeBuffers) {
        if (disposeBuffers)
            ASIODisposeBuffers();
        ASIOExit();
        m_bufferInfos.clear();
        m_channelInfos.clear();
        return false;
    };
    m_rate = sampleRate;
    if (ASIOSetSampleRate(sampleRate) != ASE_OK) {
        log(AsioLogLevel::Info, "ASIO: set sample rate failed");
        return abandon(false);
    }
    int32_t minSize = 0;
    int32_t maxSize = 0;
    int32_t preferredSize = 0;
    int32_t granularity = 0;
    if (ASIOGetBufferSize(&minSize, &maxSize, &preferredSize, &granularity) != ASE_OK) {
        log(AsioLogLevel::Info, "ASIO: ASIOGetBufferSize failed");
        return abandon(false);
    }
    log(AsioLogLevel::Info, "ASIO buffer size: min=", minSize, "max=", maxSize, "preferred=", preferredSize,
        "granularity=", granularity);
    const int32_t frames = negotiateBufferSize(bufferFrames, minSize, maxSize, granularity);

    m_callbacks = {&bufferSwitchCallback, &sampleRateDidChangeCallback, &asioMessageCallback,
                   &bufferSwitchTimeInfoCallback};
    m_bufferInfos.clear();
    for (const int32_t channel : m_activeOutputs)
        m_bufferInfos.push_back(ASIOBufferInfo{ASIOFalse, channel, {nullptr, nullptr}});
    m_activeCount = static_cast<int32_t>(m_bufferInfos.size());
    log(AsioLogLevel::Info, "ASIO: using output channels count=", m_activeCount);
    if (ASIOCreateBuffers(m_bufferInfos.data(), m_activeCount, frames, &m_callbacks) != ASE_OK) {
        log(AsioLogLevel::Info, "ASIO: ASIOCreateBuffers failed");
        return abandon(false);
    }
    m_frames = frames;
    m_scratch.assign(static_cast<std::size_t>(frames), 0.0f);
    if (!readSampleType())
        return abandon(true);
    zeroOutputBuffers();

    m_bus = bus;
    m_underrunCounter = underrunCounter;
    m_stopping = false;
    s_currentBackend = this;
    if (ASIOStart() != ASE_OK) {
        const std::string reason = asioDriverErrorText();
        log(AsioLogLevel::Warning, reason.empty() ? "ASIO: start failed" : "ASIO: start failed: " + reason);
        s_currentBackend = nullptr;
        return abandon(true);
    }
    m_isOpenFlag = true;
    return true;
}

void AsioBackend::closeLocked()
{
    if (!m_isOpenFlag && !m_driverLoaded)
        return;
    m_stopping = true;
    m_isOpenFlag = false;
    if (m_driverLoaded)
        asioGuarded(ASIOStop);
    // Silenced once the driver has stopped: until then its thread may still be filling or
    // playing these buffers.
    zeroOutputBuffers();
    std::this_thread::sleep_for(kStopSettle);

    AsioBackend* self = this;
    s_currentBackend.compare_exchange_strong(self, nullptr);
    m_bus = nullptr;
    m_underrunCounter = nullptr;
    m_bufferInfos.clear();
    m_channelInfos.clear();
    m_activeOutputs.clear();
    m_channelMap.clear();
    std::this_thread::sleep_for(kDisposeSettle);

    if (m_driverLoaded) {
        asioGuarded(ASIODisposeBuffers);
        asioGuarded(ASIOExit);
        if (m_driverList)
            asioGuarded([this] { m_driverList->removeCurrentDriver(); });
    }
    m_activeCount = 0;
    m_driverLoaded = false;
    m_loadedDriverName.clear();
    m_stopping = false;
    m_driverList.reset();
}
