#pragma once

#include "display/DisplaySettings.h"
#include "display/TraceLevels.h"
#include "display/TraceMemories.h"
#include "engine/SpectrumFrame.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QQuickItem>
#include <QTimer>
#include <QVariantList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class SpectrumRenderer;

// The spectrum area of the user interface (QML element SpectrumView). It keeps the latest
// frame from the spectrum thread, or a synthetic one in demo mode, and repaints about 30 times
// per second; drawing is done by its renderer on the scene graph's render thread, straight into
// the window. The figures of a frame (RMS level, overload, trace levels) change on the repaint
// that shows it: whatever they move elsewhere in the window is drawn in that same frame, not in
// one of its own between two repaints.
class SpectrumItem : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(int fftSize READ fftSize WRITE setFftSize NOTIFY fftSizeChanged)
    Q_PROPERTY(float minDb READ minDb WRITE setMinDb NOTIFY minDbChanged)
    Q_PROPERTY(float maxDb READ maxDb WRITE setMaxDb NOTIFY maxDbChanged)
    Q_PROPERTY(bool demo READ demo WRITE setDemo NOTIFY demoChanged)
    Q_PROPERTY(float rmsDb READ rmsDb NOTIFY rmsDbChanged)
    // The RMS level to read as a number: rmsDb, at most a few times a second.
    Q_PROPERTY(float rmsReadingDb READ rmsReadingDb NOTIFY rmsReadingDbChanged)
    Q_PROPERTY(bool overload READ overload NOTIFY overloadChanged)
    Q_PROPERTY(double minFreqHz READ minFreqHz NOTIFY freqRangeChanged)
    Q_PROPERTY(double maxFreqHz READ maxFreqHz NOTIFY freqRangeChanged)
    Q_PROPERTY(double centerFreqHz READ centerFreqHz NOTIFY freqRangeChanged)
    Q_PROPERTY(double rbwHz READ rbwHz NOTIFY rbwHzChanged)
    Q_PROPERTY(bool densityEnabled READ densityEnabled WRITE setDensityEnabled NOTIFY densityEnabledChanged)
    Q_PROPERTY(int densityPalette READ densityPalette WRITE setDensityPalette NOTIFY densityPaletteChanged)
    Q_PROPERTY(bool peakLineEnabled READ peakLineEnabled WRITE setPeakLineEnabled NOTIFY peakLineEnabledChanged)
    Q_PROPERTY(bool minHoldEnabled READ minHoldEnabled WRITE setMinHoldEnabled NOTIFY minHoldEnabledChanged)
    // Which stored traces hold one: bit 0 for M1, bit 1 for M2.
    Q_PROPERTY(int storedTraces READ storedTraces NOTIFY storedTracesChanged)
    Q_PROPERTY(bool waterfallEnabled READ waterfallEnabled WRITE setWaterfallEnabled NOTIFY waterfallEnabledChanged)
    Q_PROPERTY(double waterfallHeightRatio READ waterfallHeightRatio WRITE setWaterfallHeightRatio NOTIFY
                   waterfallHeightRatioChanged)
    Q_PROPERTY(float waterfallMinDb READ waterfallMinDb WRITE setWaterfallMinDb NOTIFY waterfallMinDbChanged)
    Q_PROPERTY(float waterfallMaxDb READ waterfallMaxDb WRITE setWaterfallMaxDb NOTIFY waterfallMaxDbChanged)
    // The display zoom: the part of the captured band shown, as fractions of it, and in Hz.
    Q_PROPERTY(double viewStart READ viewStart NOTIFY viewChanged)
    Q_PROPERTY(double viewStop READ viewStop NOTIFY viewChanged)
    Q_PROPERTY(double viewMinFreqHz READ viewMinFreqHz NOTIFY viewChanged)
    Q_PROPERTY(double viewMaxFreqHz READ viewMaxFreqHz NOTIFY viewChanged)
    // The narrowest zoom, as a fraction of the band.
    Q_PROPERTY(double minViewWidth READ minViewWidth NOTIFY fftSizeChanged)
    Q_PROPERTY(double binHz READ binHz NOTIFY freqRangeChanged)
    // The latest trace's noise floor and strongest signal, in whole dB.
    Q_PROPERTY(float noiseFloorDb READ noiseFloorDb NOTIFY traceLevelsChanged)
    Q_PROPERTY(float strongestDb READ strongestDb NOTIFY traceLevelsChanged)

public:
    explicit SpectrumItem(QQuickItem* parent = nullptr);
    ~SpectrumItem() override;

    // The renderer the item's scene graph node draws with (called on the render thread).
    virtual std::unique_ptr<SpectrumRenderer> createRenderer() const;

    int fftSize() const { return m_fftSize; }
    float minDb() const { return m_settings.minDb; }
    float maxDb() const { return m_settings.maxDb; }
    bool demo() const { return m_demo; }
    float rmsDb() const { return m_shown.rmsDb; }
    float rmsReadingDb() const { return m_rmsReadingDb; }
    bool overload() const { return m_shown.overload; }
    double minFreqHz() const;
    double maxFreqHz() const;
    double centerFreqHz() const;
    double rbwHz() const;
    bool densityEnabled() const { return m_settings.densityEnabled; }
    int densityPalette() const { return m_settings.densityPalette; }
    bool peakLineEnabled() const { return m_settings.peakLineEnabled; }
    bool minHoldEnabled() const { return m_settings.minHoldEnabled; }
    int storedTraces() const;
    bool waterfallEnabled() const { return m_settings.waterfallEnabled; }
    double waterfallHeightRatio() const { return m_settings.waterfallHeightRatio; }
    float waterfallMinDb() const { return m_settings.waterfallMinDb; }
    float waterfallMaxDb() const { return m_settings.waterfallMaxDb; }
    double viewStart() const { return m_settings.view.start; }
    double viewStop() const { return m_settings.view.stop; }
    double viewMinFreqHz() const;
    double viewMaxFreqHz() const;
    double minViewWidth() const;
    double binHz() const;
    float noiseFloorDb() const { return m_levels.noiseFloorDb; }
    float strongestDb() const { return m_levels.strongestDb; }

    void setFftSize(int fftSize);
    void setMinDb(float minDb);
    void setMaxDb(float maxDb);
    void setDemo(bool demo);
    void setDensityEnabled(bool enabled);
    void setDensityPalette(int palette);
    void setPeakLineEnabled(bool enabled);
    // Switching the minimum hold on starts it from the next trace.
    void setMinHoldEnabled(bool enabled);
    void setWaterfallEnabled(bool enabled);
    void setWaterfallHeightRatio(double ratio);
    void setWaterfallMinDb(float minDb);
    void setWaterfallMaxDb(float maxDb);

    // Shows the part start...stop of the band (fractions of it), kept inside the band and at
    // least minViewWidth wide.
    Q_INVOKABLE void setView(double start, double stop);
    // The minimum hold starts again from the next trace.
    Q_INVOKABLE void resetMinHold();
    // Keeps the current trace as M1 (slot 0) or M2 (slot 1), or forgets it.
    Q_INVOKABLE void storeTrace(int slot);
    Q_INVOKABLE void clearStoredTrace(int slot);
    // Wipes the waterfall at once, also while no frames come; new lines fill it again.
    Q_INVOKABLE void clearWaterfall();
    // The frequency of the highest peak in view that none of the given frequencies marks
    // (see highestUnmarkedPeak); NaN when there is none or no trace.
    Q_INVOKABLE double highestUnmarkedPeakHz(const QVariantList& markedHz) const;

    // Called in the item's thread with each published frame; the repaint timer shows it and
    // announces its figures.
    void setFrame(SpectrumFrame frame);
    // Copies the current frame into `target`, for the renderer's synchronisation; assigning
    // into the renderer's own frame reuses its buffers instead of allocating new ones.
    void snapshotFrame(SpectrumFrame& target) const;
    // The same, but skips the copy when `version` says target already holds the current frame:
    // the renderer synchronises on every render, more often than frames arrive, and a full frame
    // with its waterfall ring is megabytes. Updates `version`; true when it copied.
    bool snapshotFrameIfChanged(SpectrumFrame& target, uint64_t& version) const;
    // Runs `change` on the next repaint tick, unless `context` is gone by then: figures that
    // change elsewhere in the window are then drawn in the spectrum's frame rather than in one of
    // their own between two of its repaints.
    void atNextRepaint(QObject* context, std::function<void()> change);
    const DisplaySettings& displaySettings() const { return m_settings; }
    // Touched only in the item's thread; the renderer reads them while that thread waits.
    const TraceMemories& traceMemories() const { return m_memories; }

signals:
    void fftSizeChanged();
    void minDbChanged();
    void maxDbChanged();
    void demoChanged();
    void rmsDbChanged();
    void rmsReadingDbChanged();
    void overloadChanged();
    void freqRangeChanged();
    void rbwHzChanged();
    void densityEnabledChanged();
    void densityPaletteChanged();
    void peakLineEnabledChanged();
    void minHoldEnabledChanged();
    void storedTracesChanged();
    void waterfallEnabledChanged();
    void waterfallHeightRatioChanged();
    void waterfallMinDbChanged();
    void waterfallMaxDbChanged();
    void viewChanged();
    void traceLevelsChanged();

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    void onTimer();
    // Announces the figures of the frame the repaint shows.
    void announceShownFrame();
    // Moves the RMS reading to the shown level once the last move is old enough.
    void updateRmsReading();
    void generateDemoFrame();
    // Stores a dB scale value unless it is fuzzily equal to the current one; true when stored.
    static bool assignScale(float& member, float value);
    // Measures the frame's trace; true when a level moved by a whole dB.
    bool updateTraceLevels();

    mutable std::mutex m_frameMutex;
    SpectrumFrame m_frame;
    // Counts changes of m_frame; starts above 0 so that a fresh copy's 0 never matches.
    uint64_t m_frameVersion = 1;
    // The frame version the last timer repaint asked for (GUI thread only).
    uint64_t m_repaintedVersion = 0;
    QTimer m_repaintTimer;
    struct PendingChange {
        QPointer<QObject> context;
        std::function<void()> change;
    };
    std::vector<PendingChange> m_atNextRepaint;
    std::vector<PendingChange> m_runningChanges;
    // The figures of the frame last repainted, as announced (GUI thread only).
    struct ShownFigures {
        float rmsDb = SpectrumFrame{}.rmsDb;
        bool overload = SpectrumFrame{}.overload;
    };
    ShownFigures m_shown;
    float m_rmsReadingDb = m_shown.rmsDb;
    QElapsedTimer m_rmsReadingAge;
    int m_fftSize = 2048;
    bool m_demo = true;
    float m_demoPhase = 0.0f;
    DisplaySettings m_settings;
    // Before any data, the floor at the bottom of the scale and the strongest at its top.
    TraceLevels m_levels{display_settings::minDb.initial, display_settings::maxDb.initial};
    std::vector<float> m_levelScratch;
    TraceMemories m_memories;
};
