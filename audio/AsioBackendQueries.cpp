#include "audio/AsioBackend.h"

#include "audio/AsioHost.h"

#include <exception>
#include <mutex>

template <class Use>
AsioBackend::TemporaryLoad AsioBackend::withTemporaryDriver(const std::string& name, Use&& use)
{
    AsioDriverList list(m_registryFolders);
    if (!list.loadAsioDriver(name))
        return TemporaryLoad::LoadFailed;
    ASIODriverInfo info = driverInfoFor(name);
    if (ASIOInit(&info) != ASE_OK) {
        list.removeCurrentDriver();
        return TemporaryLoad::InitFailed;
    }
    use();
    asioGuarded([&list] { list.removeCurrentDriver(); });
    return TemporaryLoad::Loaded;
}

std::vector<std::string> AsioBackend::deviceNames()
{
    std::lock_guard lock(asioHostMutex());
    if (!m_driverList)
        m_driverList = std::make_unique<AsioDriverList>(m_registryFolders);
    std::vector<std::string> names;
    char name[256];
    for (int index = 0; index < m_driverList->driverCount(); ++index) {
        if (m_driverList->driverName(index, name, sizeof name) == ASE_OK)
            names.emplace_back(name);
    }
    return names;
}

BufferSizeInfo AsioBackend::bufferSizeInfo(const std::string& deviceName, int sampleRate)
{
    std::lock_guard lock(asioHostMutex());
    BufferSizeInfo result;
    if (m_isOpenFlag) {
        log(AsioLogLevel::Info, "ASIO: cannot query buffer size while device is open");
        return result;
    }
    withTemporaryDriver(deviceName, [&] {
        ASIOSetSampleRate(sampleRate);
        BufferSizeInfo sizes;
        if (ASIOGetBufferSize(&sizes.minSize, &sizes.maxSize, &sizes.preferredSize, &sizes.granularity) == ASE_OK)
            result = sizes;
    });
    return result;
}

std::vector<OutputChannelInfo> AsioBackend::outputChannels(const std::string& deviceName)
{
    std::lock_guard lock(asioHostMutex());
    std::vector<OutputChannelInfo> channels;
    if (m_isOpenFlag) {
        log(AsioLogLevel::Info, "ASIO: cannot query channels while device is open");
        return channels;
    }
    withTemporaryDriver(deviceName, [&] {
        int32_t inputCount = 0;
        int32_t outputCount = 0;
        if (ASIOGetChannels(&inputCount, &outputCount) != ASE_OK)
            return;
        for (int32_t channel = 0; channel < outputCount; ++channel) {
            ASIOChannelInfo info{};
            info.channel = channel;
            info.isInput = ASIOFalse;
            if (ASIOGetChannelInfo(&info) != ASE_OK)
                continue;
            info.name[sizeof info.name - 1] = '\0';
            std::string channelName = info.name;
            if (channelName.empty())
                channelName = "Output " + std::to_string(channel + 1);
            channels.push_back({channel, std::move(channelName)});
        }
    });
    return channels;
}

bool AsioBackend::showControlPanel(const std::string& deviceName)
{
    std::lock_guard lock(asioHostMutex());
    if (m_isOpenFlag) {
        log(AsioLogLevel::Info, "ASIO: cannot show control panel while device is playing");
        return false;
    }
    bool shown = false;
    const auto show = [&] {
        log(AsioLogLevel::Info, "ASIO: showing control panel for", deviceName);
        try {
            const ASIOError result = asioGuarded(ASIOControlPanel);
            shown = result == ASE_OK || result == ASE_SUCCESS;
            if (!shown)
                log(AsioLogLevel::Info, "ASIO: control panel returned error:", result);
        } catch (const std::exception& e) {
            log(AsioLogLevel::Warning, "ASIO: control panel threw C++ exception:", e.what());
        } catch (...) {
            log(AsioLogLevel::Warning, "ASIO: control panel threw unknown C++ exception");
        }
    };
    if (m_driverLoaded && m_loadedDriverName == deviceName) {
        show();
        return shown;
    }
    switch (withTemporaryDriver(deviceName, show)) {
    case TemporaryLoad::LoadFailed:
        log(AsioLogLevel::Info, "ASIO: failed to load driver for control panel:", deviceName);
        break;
    case TemporaryLoad::InitFailed:
        log(AsioLogLevel::Info, "ASIO: ASIOInit failed for control panel");
        break;
    case TemporaryLoad::Loaded:
        break;
    }
    return shown;
}
