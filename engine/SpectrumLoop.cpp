#include "engine/SpectrumLoop.h"

#include "acquisition/IqSample.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
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
    if (ring != nullptr && ring->capacity() % kIqSampleBytes != 0)
        throw std::invalid_argument("the FFT ring must hold whole IQ samples");
}

void SpectrumLoop::run()
{
    while (m_running.load())
        iterate();
}

bool SpectrumLoop::iterate()
{
    const std::size_t b = m_processor.blockBytes();
    if (m_ring != nullptr && b != 0 && m_ring->available() >= b) {
        if (const std::size_t backlog = m_ring->available(); backlog > m_catchUpAboveBytes) {
            const std::size_t hop = m_processor.hopBytes();
            const std::size_t excess = backlog - kBlocksKeptAfterCatchUp * b;
            m_processor.countDiscarded(m_ring->consume(excess - excess % hop) / hop);
        }
        const bool processed = m_ring->peek(b, [this](const uint8_t* first, std::size_t firstBytes,
                                                      const uint8_t* second, std::size_t secondBytes) {
            m_processor.processBlock({reinterpret_cast<const IqSample*>(first), firstBytes / kIqSampleBytes,
                                      reinterpret_cast<const IqSample*>(second), secondBytes / kIqSampleBytes});
        });
        if (processed) {
            m_ring->consume(m_processor.hopBytes());
            return true;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return false;
}
