#pragma once

#include "demod/FastAtan2.h"

#include <array>
#include <cmath>

// Phase-locked loop on the 19 kHz pilot of a broadcast stereo multiplex. Two resonators pick
// the pilot out of the programme (so that programme audio cannot pull the loop), the arms mix
// it with the loop's cosine and sine and smooth the products, and a proportional-integral
// correction moves the loop's phase and frequency against the arms' phase error.
class PilotLoop {
public:
    // Derives every coefficient from the sample rate and restarts at phase 0 on the nominal
    // 19 kHz step.
    void configure(double sampleRateHz);
    // Phase 0 on the nominal step, arms and resonators cleared; the coefficients stay.
    void reset();

    // Takes one multiplex sample; returns the in-phase reference of the 38 kHz subcarrier at
    // that sample (amplitude 1) and advances the loop to the next sample.
    float step(float mpx)
    {
        double pilot = mpx;
        for (auto& w : m_resonators) {
            const double v = pilot - m_bpA1 * w[0] - m_bpA2 * w[1];
            pilot = m_bpB0 * (v - w[1]);
            w[1] = w[0];
            w[0] = v;
        }
        // The loop's cosine locks onto the pilot of this very sample. A broadcast subcarrier
        // crosses zero rising together with the pilot's sine, so its in-phase reference is
        // -sin(2 theta) at this sample's phase; the phase already advanced for the next sample
        // would lead it by two pilot steps.
        const float reference = -2.0f * m_sin * m_cos;
        m_armI = static_cast<float>(m_cos * pilot * (1.0 - m_armCoef) + m_armI * m_armCoef);
        m_armQ = static_cast<float>(m_sin * pilot * (1.0 - m_armCoef) + m_armQ * m_armCoef);
        m_error = fastAtan2(m_armQ, m_armI);
        m_frequency -= m_loopKi * m_error;
        double theta = m_phase + m_frequency - m_loopKp * m_error;
        if (theta >= kTwoPi)
            theta -= kTwoPi;
        else if (theta < 0.0)
            theta += kTwoPi;
        m_phase = theta;
        m_cos = std::cos(static_cast<float>(theta));
        m_sin = std::sin(static_cast<float>(theta));
        return reference;
    }

    // Radians per sample.
    double frequency() const { return m_frequency; }
    // Radians in [0, 2 pi).
    double phase() const { return m_phase; }
    // The last phase error against the pilot, radians; near 0 while locked.
    float error() const { return m_error; }

private:
    static constexpr double kTwoPi = 6.283185307179586;

    double m_nominal = 0.0;
    double m_armCoef = 0.0;
    double m_loopKp = 0.0;
    double m_loopKi = 0.0;
    double m_bpB0 = 0.0, m_bpA1 = 0.0, m_bpA2 = 0.0;
    std::array<std::array<double, 2>, 2> m_resonators{};
    double m_phase = 0.0;
    double m_frequency = 0.0;
    float m_cos = 1.0f;
    float m_sin = 0.0f;
    float m_armI = 0.0f;
    float m_armQ = 0.0f;
    float m_error = 0.0f;
};
