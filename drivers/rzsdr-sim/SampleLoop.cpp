#include "SampleLoop.h"

void SampleLoop::restart(std::size_t samples)
{
    if (samples > m_capacity) {
        // Uninitialised: pages are only touched as the first pass writes them.
        m_samples.reset();
        m_samples = std::make_unique_for_overwrite<uint32_t[]>(samples);
        m_capacity = samples;
    }
    m_length = samples;
    m_position = 0;
    m_held = false;
}

void SampleLoop::advance(std::size_t samples)
{
    m_position += samples;
    if (m_position == m_length) {
        m_position = 0;
        m_held = true;
    }
}
