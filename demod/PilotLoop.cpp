#include "demod/PilotLoop.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kPilotHz = 19000.0;
constexpr double kArmCornerHz = 2000.0;
// Two resonators of this quality at 19 kHz keep programme audio (up to 15 kHz) and the lower
// difference sideband (from 23 kHz) some 30 dB below the pilot at the arms.
constexpr double kPilotBandQ = 20.0;

} // namespace

void PilotLoop::configure(double sampleRateHz)
{
    m_nominal = 2.0 * std::numbers::pi * kPilotHz / sampleRateHz;
    m_armCoef = std::exp(-2.0 * std::numbers::pi * kArmCornerHz / sampleRateHz);
    m_loopKp = 0.05;
    m_loopKi = 0.001;
    const double w0 = std::min(m_nominal, std::numbers::pi * 0.99);
    const double alpha = std::sin(w0) / (2.0 * kPilotBandQ);
    m_bpB0 = alpha / (1.0 + alpha);
    m_bpA1 = -2.0 * std::cos(w0) / (1.0 + alpha);
    m_bpA2 = (1.0 - alpha) / (1.0 + alpha);
    m_phase = 0.0;
    m_frequency = m_nominal;
    m_cos = 1.0f;
    m_sin = 0.0f;
}

void PilotLoop::reset()
{
    // Restarting at the nominal step lets the loop lock again after a retune; from a step of 0
    // the pilot would fall far outside the arms' pass band.
    m_phase = 0.0;
    m_frequency = m_nominal;
    m_cos = 1.0f;
    m_sin = 0.0f;
    m_armI = m_armQ = 0.0f;
    m_error = 0.0f;
    m_resonators = {};
}
