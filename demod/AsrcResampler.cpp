#include "demod/AsrcResampler.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRatioPushStep = 0.0001;
constexpr double kRatioMessageStep = 0.001;

} // namespace

AsrcResampler::AsrcResampler(double outputRateHz, DemodDiagnostics& diagnostics, int channels)
    : m_outputRateHz(outputRateHz)
    , m_diag(diagnostics)
    , m_channels(channels)
{
    int error = 0;
    m_state = src_new(SRC_SINC_FASTEST, channels, &error);
    if (m_state)
        m_diag.print("[AsrcResampler] Created with libsamplerate SRC_SINC_FASTEST\n");
    else
        m_diag.print("[AsrcResampler] ERROR: Failed to create libsamplerate state: %s\n", src_strerror(error));
}

AsrcResampler::~AsrcResampler()
{
    if (m_state)
        src_delete(m_state);
}

void AsrcResampler::reset()
{
    if (m_state)
        src_reset(m_state);
    m_lastRatio = 0.0;
}

size_t AsrcResampler::process(const float* in, size_t inCount, float* out, size_t outCapacity, double ratio,
                              size_t* consumed)
{
    if (consumed)
        *consumed = 0;
    if (!in || !out || inCount == 0 || outCapacity == 0 || ratio <= 0.0 || !m_state)
        return 0;
    if (!src_is_valid_ratio(ratio))
        ratio = std::clamp(ratio, 1.0 / 256.0, 256.0);

    const double moved = std::abs(m_lastRatio - ratio);
    if (moved > kRatioPushStep) {
        src_set_ratio(m_state, ratio);
        if (moved > kRatioMessageStep && m_diag.claimRatioMessage())
            m_diag.print("[AsrcResampler] Ratio changed: %.6f -> %.6f (inputRate=%.0fHz -> 48kHz)\n", m_lastRatio, ratio,
                         m_outputRateHz / ratio);
        m_lastRatio = ratio;
    }

    SRC_DATA data{};
    data.data_in = in;
    data.data_out = out;
    data.input_frames = static_cast<long>(inCount);
    data.output_frames = static_cast<long>(outCapacity);
    data.end_of_input = 0;
    data.src_ratio = ratio;
    const int error = src_process(m_state, &data);
    if (error != 0) {
        m_diag.print("[AsrcResampler] ERROR: src_process failed: %s\n", src_strerror(error));
        return 0;
    }
    const auto used = static_cast<size_t>(data.input_frames_used);
    const auto generated = static_cast<size_t>(data.output_frames_gen);
    if (consumed)
        *consumed = used;
    m_diag.countResamplerCall(inCount, used, generated, outCapacity, ratio);
    return generated;
}
