#include "engine/SpectrumLoop.h"

#include "acquisition/IqSample.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr std::size_t kMinimumCatchUpBlocks = 8;
constexpr std::size_t kBlocksKeptAfterCatchUp = 4;
constexpr double kLongestBacklogSeconds = 0.25;

} // namespace

std::size_t SpectrumLoop::catchUpThresholdBytes(std::size_t blockBytes, std::size_t ringCapacity, double sampleRateHz)
{
    const double signalBytes = kLongestBacklogSeconds * sampleRateHz * static_cast<double>(kIqSampleBytes);
    const std::size_t bound =
        std::min(ringCapacity / 4 * 3, signalBytes > 0.0 ? static_cast<std::size_t>(signalBytes) : std::size_t{0});
    return std::max(kMinimumCatchUpBlocks * blockBytes, bound);
}

SpectrumLoop::SpectrumLoop(SpectrumProcessor& processor, FftRing* ring, const std::atomic<bool>& running,
                           std::size_t catchUpAboveBytes)
    : m_processor(processor),
      m_ring(ring),
      m_running(running),
      m_catchUpAboveBytes(catchUpAboveBytes != 0 ? catchUpAboveBytes
                                                 : kMinimumCatchUpBlocks * processor.blockBytes())
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
        if (m_ring->available() > m_catchUpAboveBytes) {
            uint64_t discarded = 0;
            while (m_ring->available() > kBlocksKeptAfterCatchUp * b)
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
