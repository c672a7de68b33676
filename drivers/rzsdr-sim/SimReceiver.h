#pragma once

#include "Recording.h"
#include "SceneRenderer.h"
#include "SimConfig.h"
#include "acquisition/RzSdrAbi.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

// One simulated receiver behind a record handed out by find. The record's callback context
// points back to it.
class SimReceiver {
public:
    SimReceiver(int32_t kind, const SimConfig& config, std::optional<Recording> recording);

    SimReceiver(const SimReceiver&) = delete;
    SimReceiver& operator=(const SimReceiver&) = delete;

    RzSdrDevice* record() { return &m_record; }
    static SimReceiver* from(RzSdrDevice* record) { return static_cast<SimReceiver*>(record->callbackContext); }

    void setFrequency(uint64_t hz);
    void setPort(uint8_t port);
    void setSampleRate(uint32_t hz);
    void setAttenuation(uint8_t db);
    void setIfGain(uint8_t db);
    void setPreamp(uint8_t db);
    void startStreaming();
    void stopStreaming();
    // Fills the buffer and returns when its last sample would have arrived from the antenna.
    bool read(void* buffer, uint32_t lengthBytes);

private:
    using Clock = std::chrono::steady_clock;

    static bool querySerial(void* context, char* buffer);
    static void refreshInfo(void* context, void* infoArea);
    void changeTuning(void (*change)(Tuning&, uint64_t), uint64_t value);
    Clock::duration duration(uint64_t samples) const;
    // Renders the scene, keying the measurement tones on and off on the gate's clock, if set.
    void renderGated(uint8_t* out, uint32_t samples);
    // The end of the configured stall the stream is in at `now`, if it is in one.
    std::optional<Clock::time_point> stallEnd(Clock::time_point now) const;

    const int32_t m_kind;
    const SimConfig m_config;
    RzSdrDevice m_record{};

    std::mutex m_mutex;
    std::condition_variable m_wake;
    Tuning m_tuning;
    bool m_retuned = true;
    std::optional<Recording> m_recording;
    std::unique_ptr<SceneRenderer> m_renderer;
    bool m_streaming = false;
    uint64_t m_reads = 0;
    // Pacing: when the first of the delivered samples arrived, as if the stream had run without
    // a break.
    Clock::time_point m_streamStart;
    uint64_t m_delivered = 0;
    // The stalls count from here, whatever the pacing does.
    Clock::time_point m_streamStarted;
    bool m_stalled = false;
};
