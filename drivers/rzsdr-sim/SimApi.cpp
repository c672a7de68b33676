// Entry point and function table of the simulated receiver SDK.

#include "SimReceiver.h"
#include "acquisition/RzSdrAbi.h"

#include <array>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

std::mutex g_mutex;
std::array<std::unique_ptr<SimReceiver>, 2> g_receivers;

RzSdrDevice* find(int32_t kind)
{
    if (kind != kRzKindRz640Usb && kind != kRzKindRz640Network)
        return nullptr;
    const SimConfig config = SimConfig::fromEnvironment();
    if (!(kind == kRzKindRz640Usb ? config.kind0Present : config.kind1Present))
        return nullptr;
    std::lock_guard lock(g_mutex);
    std::unique_ptr<SimReceiver>& slot = g_receivers[static_cast<std::size_t>(kind)];
    if (slot)
        return slot->record();
    std::optional<Recording> recording;
    if (!config.replayPath.empty()) {
        std::string error;
        recording = Recording::load(config.replayPath, error);
        if (!recording) {
            std::fprintf(stderr, "[rzsdr-sim] no receiver: %s\n", error.c_str());
            return nullptr;
        }
    }
    slot = std::make_unique<SimReceiver>(kind, config, std::move(recording));
    return slot->record();
}

void release(RzSdrDevice* device)
{
    std::lock_guard lock(g_mutex);
    for (auto& slot : g_receivers)
        if (slot && slot->record() == device)
            slot.reset();
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
