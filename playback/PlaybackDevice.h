#pragma once

#include "acquisition/IDevice.h"
#include "playback/PlaybackClock.h"
#include "playback/RecordingFile.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// Where playback stands, for the transport.
struct PlaybackStatus {
    bool loaded = false;
    bool playing = false;
    // A run is reading the recording.
    bool streaming = false;
    // Stopped at the end of a recording played without loop.
    bool atEnd = false;
    uint64_t positionSamples = 0;
    uint64_t lengthSamples = 0;
    uint32_t sampleRateHz = 0;
    // The capture at the position.
    uint64_t centerHz = 0;
    std::optional<int64_t> captureUtcMicroseconds;
    uint64_t captureStartSample = 0;
    // The position lies in a capture at another frequency than the run's: the run has to be
    // retuned to centerHz before playback goes on.
    bool retuneNeeded = false;
    // Every sample handed to the analyser so far.
    uint64_t deliveredSamples = 0;
    // Why playback stopped when the file could not be read.
    std::string error;
};

// A recording read as a receiver: the RX thread reads it like any other, at the recording's
// own rate and centre, with a transport. Paused (or at the end) a read waits briefly and
// delivers nothing, as a receiver's timeout does. Paced, blocks come when the clock says the
// recording has reached them; at the fastest speed they come as soon as the analysis has room
// for them, so none is ever dropped. A run plays one capture's frequency: reaching a capture
// at another, playback holds until the run is restarted (retuned) there; the samples of the
// last, incomplete block before it are counted as lost.
class PlaybackDevice : public IDevice {
public:
    // Its identifier in the device list is also what the list shows.
    static constexpr const char* kId = "Recording\u2026";
    static constexpr const char* kBackend = "Recording";
    static constexpr uint32_t kSamplesPerTransfer = 16384;
    // How long a read waits while there is nothing to play.
    static constexpr int64_t kIdleWaitNs = 50'000'000;
    // Steps of the wait for room in the analysis.
    static constexpr int64_t kRoomWaitNs = 1'000'000;
    // The fastest speed: as fast as the analysis keeps up.
    static constexpr double kSpeedMax = 0.0;

    // True when the analysis can take `bytes` more without dropping any.
    using RoomProbe = std::function<bool(std::size_t bytes)>;

    explicit PlaybackDevice(std::unique_ptr<PlaybackClock> clock = std::make_unique<SteadyPlaybackClock>());

    // Replaces the recording; playback starts paused at its first sample.
    void load(std::unique_ptr<RecordingFile> file);
    // Set before the first run.
    void setRoomProbe(RoomProbe probe) { m_room = std::move(probe); }

    void play();
    void pause();
    void seek(uint64_t sample);
    void setLoop(bool on) { m_loop = on; }
    bool loop() const { return m_loop.load(); }
    // A multiple of real time, or kSpeedMax.
    void setSpeed(double multiple);
    double speed() const { return m_speed.load(); }
    PlaybackStatus status();

    bool open() override;
    void close() override;
    bool startStreaming() override;
    void stopStreaming() override;
    bool readSamples(uint8_t* buffer, uint32_t lengthBytes) override;
    // The recording sets rate and centre: what the controller asks is read back from
    // actualSampleRate and actualCenterFrequency.
    void setCenterFrequency(uint64_t) override {}
    void setSampleRate(uint32_t) override {}
    void setPort(uint8_t) override {}
    void setAttenuation(uint8_t) override {}
    void setPreamp(uint8_t) override {}
    void setIfGain(uint8_t) override {}
    void selectDevice(const std::string&) override {}
    std::vector<std::string> listDevices() override { return {kId}; }
    std::vector<DeviceListing> enumerate() override { return {{kId, kId}}; }
    void setChannel(int32_t) override {}
    int32_t integerQuery() override { return 0; }
    int32_t actualSampleRate() override;
    uint64_t actualCenterFrequency() override;
    uint32_t samplesPerTransfer() override { return kSamplesPerTransfer; }
    std::string deviceName() override;
    std::string serialNumber() override { return {}; }
    FrontEndInfo frontEnd() override;
    ReceiverLoss takeLoss() override { return {0, m_lostSamples.exchange(0)}; }

private:
    // Called with m_mutex held.
    uint64_t centerAtPosition() const;
    void restartPacing();
    // Waits until the clock lets `pairs` more be played, or room for them; false when playback
    // stopped meanwhile.
    bool waitForTurn(std::size_t pairs);
    // Fills `pairs` from the position within the run's frequency, wrapping when looping; false
    // (with what was read counted as lost) when a capture at another frequency or the end
    // comes first.
    bool readRun(int16_t* out, std::size_t pairs);

    std::unique_ptr<PlaybackClock> m_clock;
    RoomProbe m_room;

    std::mutex m_mutex;
    std::unique_ptr<RecordingFile> m_file;
    std::string m_name;
    std::string m_error;
    bool m_atEnd = false;
    // The centre the current run was started at.
    uint64_t m_runCenterHz = 0;
    int64_t m_paceStartNs = 0;
    uint64_t m_pacedSamples = 0;

    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_playing{false};
    std::atomic<bool> m_loop{false};
    std::atomic<double> m_speed{1.0};
    std::atomic<uint64_t> m_delivered{0};
    std::atomic<uint64_t> m_lostSamples{0};
};
