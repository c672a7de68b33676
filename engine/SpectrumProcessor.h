#pragma once

#include "acquisition/IqBlockView.h"
#include "engine/Detector.h"
#include "engine/SettingsSnapshot.h"
#include "engine/SpectrumEngine.h"
#include "engine/SpectrumSettings.h"
#include "engine/SpectrumSink.h"
#include "engine/VideoFilter.h"
#include "platform/MonotonicClock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The spectrum thread's work on one block: spectrum, detector, RMS and overload, video filter,
// waterfall row, peak line, density, and at most maxFps times a second a frame for the display;
// once a second its status. Takes over newly published settings at the start of a block. Holds
// the thread's own state; constructing it is the thread's start. Blocks may overlap: the next
// one starts hopBytes() after this one's start.
class SpectrumProcessor {
public:
    // Monotonic nanoseconds.
    using Clock = std::function<int64_t()>;

    // blockBytes (the FFT size's samples) is fixed for the run; lostBytes counts IQ bytes the
    // producer could not place.
    SpectrumProcessor(SpectrumEngine& engine, const SettingsSnapshot<SpectrumSettings>& settings, SpectrumSink& sink,
                      const std::atomic<uint64_t>& lostBytes, std::size_t blockBytes, Clock clock = monotonicNowNs);

    std::size_t blockBytes() const { return m_blockBytes; }
    // From this block's start to the next one's, under the settings of the last block.
    std::size_t hopBytes() const;
    // Runs every per-block step on a block of blockBytes().
    void processBlock(const IqBlockView& block);
    // Blocks thrown away unprocessed to catch up with the input; reported with the status.
    void countDiscarded(uint64_t blocks) { m_discarded += blocks; }

private:
    void publish(const SpectrumSettings& s, int64_t now);
    void report(int64_t now);
    double effectiveRbwHz(const SpectrumSettings& s);

    SpectrumEngine& m_engine;
    const SettingsSnapshot<SpectrumSettings>& m_settingsSource;
    uint64_t m_settingsVersion = 0;
    SpectrumSettings m_settings;
    SpectrumSink& m_sink;
    const std::atomic<uint64_t>& m_lostBytes;
    Clock m_clock;

    std::size_t m_blockBytes;
    std::vector<float> m_power;
    Detector m_detector;
    VideoFilter m_videoFilter;
    SpectrumFrame m_frame;
    float m_rmsDb = -120.0f;
    bool m_overload = false;
    // Derived here and reported, never handed back as a setting.
    double m_framesPerSecond = 0.0;
    float m_videoFilterAlpha = 0.0f;

    struct RbwKey {
        double sampleRateHz = -1.0;
        int fftSize = -1;
        int windowType = -1;
        double rbwHz = 0.0;
    } m_rbw;

    int64_t m_lastPublish;
    int64_t m_lastWaterfall;
    int64_t m_lastStatus;
    int64_t m_lastOverloadTime;
    int64_t m_lastPeakTime;
    uint64_t m_processed = 0;
    uint64_t m_published = 0;
    uint64_t m_lostAtLastStatus = 0;
    uint64_t m_discarded = 0;
};
