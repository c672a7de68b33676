#include "engine/SpectrumLoop.h"

#include <chrono>
#include <thread>

SpectrumLoop::SpectrumLoop(SpectrumProcessor& processor, FftRing* ring, const std::atomic<bool>& running)
    : m_processor(processor), m_ring(ring), m_running(running)
{
}

void SpectrumLoop::run()
{
    while (m_running.load())
        iterate();
}

bool SpectrumLoop::iterate()
{
    const std::size_t b = m_processor.blockBytes();
    uint8_t* block = m_processor.blockBuffer();
    if (m_ring != nullptr && b != 0 && m_ring->available() >= b) {
        if (m_ring->available() > 8 * b) {
            uint64_t discarded = 0;
            while (m_ring->available() > 4 * b)
                discarded += m_ring->read(block, b) == b ? 1 : 0;
            m_processor.countDiscarded(discarded);
        }
        if (m_ring->read(block, b) == b) {
            m_processor.processBlock();
            return true;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return false;
}
