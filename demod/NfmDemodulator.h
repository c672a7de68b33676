#pragma once

#include "demod/Demodulator.h"
#include "demod/DemodDiagnostics.h"
#include "demod/FmDiscriminator.h"
#include "demod/OnePoleFilters.h"
#include "demod/StereoDecoder.h"

#include <array>
#include <cstdint>

struct NfmConfig {
    double deviationHz = 150000.0;
    double deemphasisUs = 75.0;
    bool stereo = false;
};

// FM demodulator: the discriminator, then de-emphasis and a 20 Hz DC blocker (mono); or the
// discriminator, the stereo decoder, and de-emphasis and DC blocker per side (stereo). All
// coefficients follow from the sample rate and the configuration.
class NfmDemodulator : public Demodulator {
public:
    explicit NfmDemodulator(const NfmConfig& config,
                            DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());

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
    const StereoDecoder& stereoDecoder() const { return m_stereo; }

private:
    void reportFirstInput(const std::complex<float>* in, size_t count);

    static constexpr size_t kChunk = 256;

    NfmConfig m_config;
    DemodDiagnostics& m_diag;
    double m_sampleRate = 0.0;
    double m_deemphAlpha = 0.0;
    double m_dcBlockAlpha = 0.0;
    float m_discrScale = 1.0f;
    FmDiscriminator m_discriminator;
    // The mono path shares the left side's de-emphasis.
    OnePoleLowPass m_deemphLeft;
    OnePoleLowPass m_deemphRight;
    OnePoleHighPass m_dcMono;
    OnePoleHighPass m_dcLeft;
    OnePoleHighPass m_dcRight;
    StereoDecoder m_stereo;
    std::array<float, kChunk> m_mpx{};
};
