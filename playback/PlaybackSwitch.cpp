#include "playback/PlaybackSwitch.h"

PlaybackSwitch::PlaybackSwitch(std::unique_ptr<IDevice> live, PlaybackDevice& playback)
    : DeviceSwitch(*live), m_live(std::move(live)), m_playback(playback)
{
}

void PlaybackSwitch::selectDevice(const std::string& id)
{
    if (id == PlaybackDevice::kId) {
        select(m_playback);
        return;
    }
    select(*m_live);
    m_live->selectDevice(id);
}

std::vector<DeviceListing> PlaybackSwitch::enumerate()
{
    std::vector<DeviceListing> listings = m_live->enumerate();
    listings.push_back({PlaybackDevice::kId, PlaybackDevice::kId});
    return listings;
}
