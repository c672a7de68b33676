#include "acquisition/DeviceSwitch.h"

bool DeviceSwitch::open()
{
    // The controller opens only after closing, so this only makes sure two are never open.
    if (m_active != m_selected)
        m_active->close();
    m_active = m_selected;
    return m_active->open();
}
