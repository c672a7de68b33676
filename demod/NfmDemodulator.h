#pragma once

#include "demod/Demodulator.h"

#include <array>
#include <cstdint>

struct NfmConfig {
    double deviationHz = 150000.0;
    double deemphasisUs = 75.0;
    bool stereo = false;
};

// FM discriminator with de-emphasis and DC blocker (mono), and a broadcast stereo
// decoder sharing the discriminator: sum from the baseband, difference from the
// 38 kHz subcarrier, demodulated against a loop locked to the 19 kHz pilot.
class NfmDemodulator : public Demodulator {
public:
    explicit NfmDemodulator(const NfmConfig& config);

    size_t process(const std::complex<float>* in, size_t count, float* out, size_t outCapacity) override;
    void reset() override;
    void setSampleRate(double rateHz) override;

    // Derives every coefficient from the sample rate and the configuration.
    void updateCoefficients();

    // Decodes count samples into left and right; returns count, or 0 when it cannot run.
    size_t processStereo(const std::complex<float>* in, size_t count, float* left, float* right, size_t capacity);

    void setDeviation(double hz) { m_config.deviationHz = hz; }
    void setDeemphasis(double us) { m_config.deemphasisUs = us; }
    void setStereo(bool stereo) { m_config.stereo = stereo; }

    const NfmConfig& config() const { return m_config; }
    double sampleRate() const { return m_sampleRate; }
    float discrScale() const { return m_discrScale; }
    double deemphAlpha() const { return m_deemphAlpha; }
    double dcBlockAlpha() const { return m_dcBlockAlpha; }
    double pilotFreq() const { return m_pilotFreq; }
    // The loop's last phase error against the pilot, radians; near 0 while locked.
    float pilotError() const { return m_pilotError; }
    // Gain that restores the difference signal lost in the difference-band filters.
    double diffGain() const { return m_diffGain; }

    static constexpr int kStereoFirTaps = 64;

private:
    float discriminate(std::complex<float> x)
    {
        const float re = m_prevI * x.real() + m_prevQ * x.imag();
        const float im = m_prevI * x.imag() - m_prevQ * x.real();
        m_prevI = x.real();
        m_prevQ = x.imag();
        if (re == 0.0f && im == 0.0f)
            return 0.0f;
        return std::atan2(im, re) * m_discrScale;
    }

    // The 64-tap FIR over a chunk at a time: the chunk's inputs are stored behind the
    // last 63 samples before any output is computed.
    static constexpr size_t kStereoChunk = 256;
    struct StereoFir {
        std::array<float, kStereoFirTaps - 1 + kStereoChunk> line{};
        void run(const float* in, size_t n, float* out);
        void clear();
    };

    void reportFirstInput(const std::complex<float>* in, size_t count);

    NfmConfig m_config;
    double m_sampleRate = 0.0;
    float m_prevI = 0.0f;
    float m_prevQ = 0.0f;
    float m_deemphMono = 0.0f; // also the left side in stereo
    float m_deemphRight = 0.0f;
    double m_deemphAlpha = 0.0;
    float m_dcMonoOut = 0.0f, m_dcMonoIn = 0.0f;
    float m_dcLeftOut = 0.0f, m_dcLeftIn = 0.0f;
    float m_dcRightOut = 0.0f, m_dcRightIn = 0.0f;
    double m_dcBlockAlpha = 0.0;
    float m_discrScale = 1.0f;

    double m_diffLpCoef = 0.0;
    double m_diffHpCoef = 0.0;
    float m_diffLp = 0.0f, m_diffHpOut = 0.0f, m_diffHpIn = 0.0f;
    double m_diffGain = 1.0;
    StereoFir m_sumFir;
    StereoFir m_diffFir;
    // Per chunk: multiplex, difference before its FIR, and the two FIR outputs.
    std::array<float, kStereoChunk> m_mpx{};
    std::array<float, kStereoChunk> m_diffIn{};
    std::array<float, kStereoChunk> m_sum{};
    std::array<float, kStereoChunk> m_diff{};
    double m_pilotPhase = 0.0;
    double m_pilotFreq = 0.0;
    double m_pilotNominal = 0.0;
    float m_armI = 0.0f, m_armQ = 0.0f;
    double m_armCoef = 0.0;
    double m_loopKp = 0.0;
    double m_loopKi = 0.0;
    float m_pilotError = 0.0f;
    // Band-pass around the pilot in front of the loop's arms, so that programme audio
    // cannot pull the loop: two identical resonator sections and their states.
    double m_bpB0 = 0.0, m_bpA1 = 0.0, m_bpA2 = 0.0;
    std::array<std::array<double, 2>, 2> m_bpState{};
};
