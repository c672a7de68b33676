#include "receivers/ReceiverSet.h"

#include <algorithm>

ReceiverSet::ReceiverSet(std::unique_ptr<IDevice> rz640, std::unique_ptr<IDevice> soapy)
    : DeviceSwitch(*rz640), m_rz640(std::move(rz640)), m_soapy(std::move(soapy))
{
}

bool ReceiverSet::isRz640(const std::string& id)
{
    const std::vector<std::string> ids = m_rz640->listDevices();
    return id.empty() || std::find(ids.begin(), ids.end(), id) != ids.end();
}

void ReceiverSet::selectDevice(const std::string& id)
{
    IDevice& chosen = isRz640(id) ? *m_rz640 : *m_soapy;
    select(chosen);
    chosen.selectDevice(id);
}

void ReceiverSet::setChannel(int32_t channel)
{
    m_rz640->setChannel(channel);
    m_soapy->setChannel(channel);
}

std::vector<std::string> ReceiverSet::listDevices()
{
    std::vector<std::string> ids = m_rz640->listDevices();
    for (const std::string& id : m_soapy->listDevices())
        ids.push_back(id);
    return ids;
}

std::vector<DeviceListing> ReceiverSet::enumerate()
{
    std::vector<DeviceListing> listings = m_rz640->enumerate();
    for (DeviceListing& listing : m_soapy->enumerate())
        listings.push_back(std::move(listing));
    return listings;
}
