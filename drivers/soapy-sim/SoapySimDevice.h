#pragma once

#include "Recording.h"
#include "SceneRenderer.h"
#include "SoapySimConfig.h"

#include <SoapySDR/Device.hpp>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// One simulated unit as a SoapySDR device: one receive channel serving the same scene (or
// recording) as the simulated RZ640, in the unit's one stream format, paced in real time and
// time-stamped, with injected overflows and a unit that vanishes mid-stream.
class SoapySimDevice : public SoapySDR::Device {
public:
    static constexpr const char* kDriver = "rtsasim";

    SoapySimDevice(const SoapySimConfig& config, const SoapySimConfig::Unit& unit, std::optional<Recording> recording);

    std::string getDriverKey() const override { return kDriver; }
    std::string getHardwareKey() const override { return "RTSA-SIM"; }
    SoapySDR::Kwargs getHardwareInfo() const override;
    size_t getNumChannels(const int direction) const override;

    std::vector<std::string> getStreamFormats(const int direction, const size_t channel) const override;
    std::string getNativeStreamFormat(const int direction, const size_t channel, double& fullScale) const override;
    SoapySDR::Stream* setupStream(const int direction, const std::string& format, const std::vector<size_t>& channels,
                                  const SoapySDR::Kwargs& args) override;
    void closeStream(SoapySDR::Stream* stream) override;
    size_t getStreamMTU(SoapySDR::Stream* stream) const override;
    int activateStream(SoapySDR::Stream* stream, const int flags, const long long timeNs,
                       const size_t numElems) override;
    int deactivateStream(SoapySDR::Stream* stream, const int flags, const long long timeNs) override;
    int readStream(SoapySDR::Stream* stream, void* const* buffs, const size_t numElems, int& flags, long long& timeNs,
                   const long timeoutUs) override;

    std::vector<std::string> listAntennas(const int direction, const size_t channel) const override;
    void setAntenna(const int direction, const size_t channel, const std::string& name) override;
    std::string getAntenna(const int direction, const size_t channel) const override;

    std::vector<std::string> listGains(const int direction, const size_t channel) const override;
    bool hasGainMode(const int direction, const size_t channel) const override;
    void setGainMode(const int direction, const size_t channel, const bool automatic) override;
    bool getGainMode(const int direction, const size_t channel) const override;
    void setGain(const int direction, const size_t channel, const std::string& name, const double value) override;
    double getGain(const int direction, const size_t channel, const std::string& name) const override;
    SoapySDR::Range getGainRange(const int direction, const size_t channel, const std::string& name) const override;

    bool hasFrequencyCorrection(const int direction, const size_t channel) const override;
    void setFrequencyCorrection(const int direction, const size_t channel, const double value) override;
    double getFrequencyCorrection(const int direction, const size_t channel) const override;
    void setFrequency(const int direction, const size_t channel, const std::string& name, const double frequency,
                      const SoapySDR::Kwargs& args) override;
    double getFrequency(const int direction, const size_t channel, const std::string& name) const override;
    std::vector<std::string> listFrequencies(const int direction, const size_t channel) const override;
    SoapySDR::RangeList getFrequencyRange(const int direction, const size_t channel,
                                          const std::string& name) const override;

    void setSampleRate(const int direction, const size_t channel, const double rate) override;
    double getSampleRate(const int direction, const size_t channel) const override;
    SoapySDR::RangeList getSampleRateRange(const int direction, const size_t channel) const override;

private:
    using Clock = std::chrono::steady_clock;

    // Sends the tuning to the renderer before the next read; called with the lock held.
    void retune();
    Clock::duration duration(uint64_t samples) const;
    long long streamTimeNs() const;
    // Fills `count` pairs of the unit's format from the scene or the recording.
    void produce(void* out, std::size_t count);
    // The read of a unit that has been unplugged: waits a while and fails.
    int vanishedRead(std::unique_lock<std::mutex>& lock, long timeoutUs);

    const SoapySimConfig m_config;
    const SoapySimConfig::Unit m_unit;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    Tuning m_tuning;
    double m_requestedCenterHz = 1e9;
    double m_ppm = 0.0;
    bool m_automaticGain = false;
    bool m_retuned = true;
    std::optional<Recording> m_recording;
    std::unique_ptr<SceneRenderer> m_renderer;
    std::vector<int16_t> m_scratch;

    bool m_streamOpen = false;
    bool m_streaming = false;
    uint64_t m_reads = 0;
    // Pacing: when sample 0 of the stream arrived, and the stream position in samples (which
    // runs on over samples lost to an overflow).
    Clock::time_point m_streamStart;
    uint64_t m_position = 0;
};
