#include "playback/PlaybackSwitch.h"

PlaybackSwitch::PlaybackSwitch(std::unique_ptr<IDevice> live, PlaybackDevice& playback)
    : m_live(std::move(live)), m_playback(playback), m_selected(m_live.get()), m_active(m_live.get())
{
}

void PlaybackSwitch::selectDevice(const std::string& id)
{
    if (id == PlaybackDevice::kId) {
        m_selected = &m_playback;
        return;
    }
    m_selected = m_live.get();
    m_live->selectDevice(id);
}

bool PlaybackSwitch::open()
{
    // The controller opens only after closing, so this only makes sure two are never open.
    if (m_active != m_selected)
        m_active->close();
    m_active = m_selected;
    return m_active->open();
}

std::vector<DeviceListing> PlaybackSwitch::enumerate()
{
    std::vector<DeviceListing> listings = m_live->enumerate();
    listings.push_back({PlaybackDevice::kId, PlaybackDevice::kId});
    return listings;
}
