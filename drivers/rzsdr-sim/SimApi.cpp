// Entry point and function table of the simulated receiver SDK.

#include "SimReceiver.h"
#include "acquisition/RzSdrAbi.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Every find hands out a receiver of its own, so two hosts (or two drivers in one host) never
// share a record that one of them may release.
std::mutex g_mutex;
std::vector<std::unique_ptr<SimReceiver>> g_receivers;

RzSdrDevice* find(int32_t kind)
{
    if (kind != kRzKindRz640Usb && kind != kRzKindRz640Network)
        return nullptr;
    const SimConfig config = SimConfig::fromEnvironment();
    if (!(kind == kRzKindRz640Usb ? config.kind0Present : config.kind1Present))
        return nullptr;
    std::optional<Recording> recording;
    if (!config.replayPath.empty()) {
        std::string error;
        recording = Recording::load(config.replayPath, error);
        if (!recording) {
            std::fprintf(stderr, "[rzsdr-sim] no receiver: %s\n", error.c_str());
            return nullptr;
        }
    }
    auto receiver = std::make_unique<SimReceiver>(kind, config, std::move(recording));
    RzSdrDevice* record = receiver->record();
    std::lock_guard lock(g_mutex);
    g_receivers.push_back(std::move(receiver));
    return record;
}

void release(RzSdrDevice* device)
{
    std::unique_ptr<SimReceiver> released;
    {
        std::lock_guard lock(g_mutex);
        const auto it = std::find_if(g_receivers.begin(), g_receivers.end(),
                                     [device](const auto& receiver) { return receiver->record() == device; });
        if (it == g_receivers.end())
            return;
        released = std::move(*it);
        g_receivers.erase(it);
    }
}

void setFrequency(RzSdrDevice* device, uint64_t hz)
{
    SimReceiver::from(device)->setFrequency(hz);
}

void setPort(RzSdrDevice* device, uint8_t mappedPort, uint8_t)
{
    SimReceiver::from(device)->setPort(mappedPort);
}

void setSampleRate(RzSdrDevice* device, uint32_t hz)
{
    SimReceiver::from(device)->setSampleRate(hz);
}

void setAttenuation(RzSdrDevice* device, uint8_t db)
{
    SimReceiver::from(device)->setAttenuation(db);
}

void setIfGain(RzSdrDevice* device, uint8_t db)
{
    SimReceiver::from(device)->setIfGain(db);
}

void setPreamp(RzSdrDevice* device, uint8_t db)
{
    SimReceiver::from(device)->setPreamp(db);
}

void startStreaming(RzSdrDevice* device)
{
    SimReceiver::from(device)->startStreaming();
}

void stopStreaming(RzSdrDevice* device)
{
    SimReceiver::from(device)->stopStreaming();
}

bool read(RzSdrDevice* device, void* buffer, uint32_t lengthBytes)
{
    return SimReceiver::from(device)->read(buffer, lengthBytes);
}

RzSdrApi makeApi()
{
    RzSdrApi api{};
    api.find = find;
    api.release = release;
    api.setFrequency = setFrequency;
    api.setPort = setPort;
    api.setSampleRate = setSampleRate;
    api.setAttenuation = setAttenuation;
    api.setIfGain = setIfGain;
    api.setPreamp = setPreamp;
    api.startStreaming = startStreaming;
    api.stopStreaming = stopStreaming;
    api.read = read;
    return api;
}

RzSdrApi g_api = makeApi();

} // namespace

extern "C" __attribute__((visibility("default"))) RzSdrApi* rzsdr_init()
{
    return &g_api;
}
