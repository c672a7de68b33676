#include "engine/SpectrumProcessor.h"

#include <algorithm>

SpectrumProcessor::SpectrumProcessor(SpectrumEngine& engine, const SettingsSnapshot<SpectrumSettings>& settings,
                                     SpectrumSink& sink, const std::atomic<uint64_t>& lostBytes, std::size_t blockBytes,
                                     Clock clock)
    : m_engine(engine),
      m_settingsSource(settings),
      m_sink(sink),
      m_lostBytes(lostBytes),
      m_clock(std::move(clock)),
      m_blockBytes(blockBytes)
{
    m_settingsSource.refresh(m_settingsVersion, m_settings);
    const int64_t t0 = m_clock();
    m_lastPublish = m_lastWaterfall = m_lastStatus = m_lastOverloadTime = m_lastPeakTime = t0;
}

std::size_t SpectrumProcessor::hopBytes() const
{
    return spectrum_settings::hopSamples(m_blockBytes / kIqSampleBytes, m_settings.overlapPercent) * kIqSampleBytes;
}

void SpectrumProcessor::processBlock(const IqBlockView& block)
{
    m_settingsSource.refresh(m_settingsVersion, m_settings);
    const SpectrumSettings& s = m_settings;
    const std::size_t count = block.size();

    const uint64_t squares = m_engine.analyse(block, m_power);
    m_detector.process(m_power.data(), m_power.size(), s.detectorMode, s.detectorWindow);

    const int64_t t1 = m_clock();
    const double rmsDb = rmsDbOfSquares(squares, count);
    m_rmsDb = static_cast<float>(rmsDb);
    m_overload = m_engine.overload().update(rmsDb, static_cast<double>(t1 - m_lastOverloadTime) / 1e9);

    m_videoFilterAlpha = s.vbwHz > 0.0 ? VideoFilter::alphaFor(s.vbwHz, m_framesPerSecond) : 0.0f;
    m_videoFilter.process(m_detector, s.detectorMode, s.vbwHz, m_videoFilterAlpha);
    const std::vector<float>& trace = m_videoFilter.trace();

    if (s.waterfallEnabled) {
        const int64_t now = m_clock();
        if (static_cast<double>(now - m_lastWaterfall) / 1e9 >= 1.0 / std::max(s.waterfallFps, 1.0)) {
            m_lastWaterfall = now;
            m_engine.waterfall().addLine(trace, s.waterfallLines);
        }
    }

    const int64_t t3 = m_clock();
    m_engine.peakLine().followTuning(s.centerHz, s.sampleRateHz);
    m_engine.peakLine().update(trace, static_cast<double>(t3 - m_lastPeakTime) / 1e9, s.peakLineWindowSec);

    const int64_t t4 = m_clock();
    m_engine.density().configure(s.density);
    if (s.density.enabled) {
        if (s.densitySource == static_cast<int>(DensitySource::DisplayTrace))
            m_engine.density().accumulate(trace, t4);
        else
            m_engine.density().accumulateSpectrum(m_power, t4);
    }

    if (m_sink.displayAlive()) {
        const int64_t elapsedMs = (t4 - m_lastPublish) / 1'000'000;
        const double periodMs = s.maxFps > 0.0 ? 1000.0 / s.maxFps : 16.0;
        if (static_cast<double>(elapsedMs) >= periodMs)
            publish(s, t4);
    }
    ++m_processed;

    if (t4 - m_lastStatus >= 1'000'000'000)
        report(t4);
    m_lastOverloadTime = t1;
    m_lastPeakTime = t3;
}

void SpectrumProcessor::report(int64_t now)
{
    const uint64_t lost = m_lostBytes.load();
    const uint64_t newlyLost = lost > m_lostAtLastStatus ? lost - m_lostAtLastStatus : 0;
    const int64_t elapsedMs = (now - m_lastStatus) / 1'000'000;
    m_framesPerSecond = static_cast<double>(m_published) * 1000.0 / static_cast<double>(elapsedMs);

    SpectrumStatus status;
    status.blocksProcessed = m_processed;
    status.droppedFrames = m_blockBytes == 0 ? 0 : newlyLost / m_blockBytes;
    status.discardedBlocks = m_discarded;
    status.framesPerSecond = m_framesPerSecond;
    status.videoFilterAlpha = m_videoFilterAlpha;
    m_sink.statusReport(status);

    m_discarded = 0;
    m_processed = 0;
    m_published = 0;
    m_lostAtLastStatus = lost;
    m_lastStatus = now;
}

double SpectrumProcessor::effectiveRbwHz(const SpectrumSettings& s)
{
    if (s.sampleRateHz != m_rbw.sampleRateHz || s.fftSize != m_rbw.fftSize || s.windowType != m_rbw.windowType) {
        m_rbw.sampleRateHz = s.sampleRateHz;
        m_rbw.fftSize = s.fftSize;
        m_rbw.windowType = s.windowType;
        m_rbw.rbwHz = FftAnalyzer::rbwHz(s.sampleRateHz, static_cast<std::size_t>(std::max(0, s.fftSize)), s.windowType);
    }
    return m_rbw.rbwHz;
}

void SpectrumProcessor::publish(const SpectrumSettings& s, int64_t now)
{
    const std::vector<float>& trace = m_videoFilter.trace();
    const std::size_t fftSize = static_cast<std::size_t>(std::max(0, s.fftSize));
    const PeakReadout::Values peak = m_engine.peakReadout().update(trace, s.centerHz, s.sampleRateHz, fftSize);
    if (!trace.empty())
        m_sink.tracePublished(trace, peak, s.centerHz);

    m_frame.rbwHz = effectiveRbwHz(s);
    m_frame.centerHz = s.centerHz;
    m_frame.spanHz = s.sampleRateHz;
    m_frame.startHz = s.centerHz - s.sampleRateHz * 0.5;
    m_frame.stopHz = s.centerHz + s.sampleRateHz * 0.5;
    m_frame.binHz = fftSize == 0 ? 0.0 : s.sampleRateHz / static_cast<double>(fftSize);

    // The range of the last density picture stays in the frame while there is none.
    DensityImage image = m_engine.density().currentImage();
    if (image.width < 1 || image.height < 1) {
        m_frame.density.width = 0;
        m_frame.density.height = 0;
        m_frame.density.bytes.reset();
    } else {
        m_frame.density = std::move(image);
    }

    m_engine.peakLine().copyTo(m_frame.peakLine);

    if (s.waterfallEnabled) {
        m_engine.waterfall().publish(m_frame.waterfall, s.waterfallLines, s.waterfallPaletteId);
    } else {
        m_frame.waterfall.width = 0;
        m_frame.waterfall.lines = 0;
        m_frame.waterfall.writeRow = 0;
        m_frame.waterfall.totalLines = 0;
        m_frame.waterfall.bytes.reset();
    }

    m_frame.trace = trace;
    m_frame.rmsDb = m_rmsDb;
    m_frame.overload = m_overload;

    // The frame's vectors travel with it; the scalars stay for the next frame.
    m_sink.deliverFrame(std::move(m_frame));
    m_lastPublish = now;
    ++m_published;
}
