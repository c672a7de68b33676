#include "audio/AsioBackend.h"

#include "audio/SampleConversion.h"
#include "demod/AudioBus.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr float kToneRadiansPerSecond = 6283.1855f; // 2π × 1 kHz
constexpr float kTwoPi = 6.2831855f;
constexpr float kToneAmplitude = 0.3f;

} // namespace

void AsioBackend::bufferSwitchCallback(int32_t doubleBufferIndex, ASIOBool)
{
    if (AsioBackend* backend = s_currentBackend.load())
        backend->onBufferSwitch(doubleBufferIndex);
}

ASIOTime* AsioBackend::bufferSwitchTimeInfoCallback(ASIOTime* params, int32_t doubleBufferIndex, ASIOBool)
{
    if (AsioBackend* backend = s_currentBackend.load())
        backend->onBufferSwitch(doubleBufferIndex);
    return params;
}

void AsioBackend::sampleRateDidChangeCallback(ASIOSampleRate) {}

int32_t AsioBackend::asioMessageCallback(int32_t, int32_t, void*, double*)
{
    return 0;
}

void AsioBackend::onBufferSwitch(int32_t half)
{
    if (!m_isOpenFlag || m_stopping || s_currentBackend.load() != this || (half != 0 && half != 1))
        return;
    const bool tone = m_testToneOn;
    if (tone)
        fillTone();
    for (std::size_t k = 0; k < m_bufferInfos.size(); ++k) {
        void* buffer = m_bufferInfos[k].buffers[half];
        if (buffer != nullptr)
            fillOutput(buffer, m_activeOutputs[k], tone);
    }
}

// Each output reads its own slot through the one scratch buffer in turn, so outputs mapped to
// different slots play independent signals.
void AsioBackend::fillOutput(void* buffer, int32_t channel, bool tone)
{
    const int32_t frames = m_frames;
    if (frames < 1)
        return;
    const auto n = static_cast<std::size_t>(frames);
    if (m_scratch.size() != n) {
        std::memset(buffer, 0, n * static_cast<std::size_t>(m_bytesPerSample));
        return;
    }
    if (!tone) {
        if (m_bus == nullptr) {
            std::memset(buffer, 0, n * static_cast<std::size_t>(m_bytesPerSample));
            return;
        }
        const int32_t slot = channel >= 0 && static_cast<std::size_t>(channel) < m_channelMap.size()
                                 ? m_channelMap[static_cast<std::size_t>(channel)]
                                 : -1;
        if (slot >= 0) {
            // The read pads a shortfall with silence and keeps the slot on its own timeline.
            const std::size_t delivered = m_bus->read(static_cast<std::size_t>(slot), m_scratch.data(), n);
            if (delivered < n && m_underrunCounter != nullptr)
                m_underrunCounter->fetch_add(1, std::memory_order_relaxed);
        } else {
            std::fill(m_scratch.begin(), m_scratch.end(), 0.0f);
        }
    }
    convertToAsio(m_scratch.data(), n, m_sampleType, buffer);
}

void AsioBackend::fillTone()
{
    const float step = kToneRadiansPerSecond / static_cast<float>(m_rate.load());
    for (float& sample : m_scratch) {
        sample = std::sin(m_tonePhase) * kToneAmplitude;
        m_tonePhase += step;
        if (m_tonePhase >= kTwoPi)
            m_tonePhase -= kTwoPi;
    }
}
