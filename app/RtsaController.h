#pragma once

#include "acquisition/DemodRing.h"
#include "acquisition/FftRing.h"
#include "acquisition/IDevice.h"
#include "acquisition/RxThread.h"
#include "app/ApplyRequest.h"
#include "app/DeviceWorker.h"
#include "demod/SingleDemodChannel.h"
#include "demod/StatusCallback.h"
#include "engine/SpectrumEngine.h"
#include "markers/MarkerModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class SpectrumItem;

// The one object the user interface talks to (published to QML as "rtsa"). It owns the whole
// signal chain and its threads; everything user-facing comes back through its properties and
// the logMessage line channel.
class RtsaController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool connected READ connected NOTIFY connectedChanged)
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(QObject* spectrumItem READ spectrumItem WRITE setSpectrumItem NOTIFY spectrumItemChanged)
    Q_PROPERTY(int fftSize READ fftSize WRITE setFftSize NOTIFY fftSizeChanged)
    Q_PROPERTY(int windowType READ windowType WRITE setWindowType NOTIFY windowTypeChanged)
    Q_PROPERTY(double vbwAlpha READ vbwAlpha WRITE setVbwAlpha NOTIFY vbwAlphaChanged)
    Q_PROPERTY(double vbwHz READ vbwHz WRITE setVbwHz NOTIFY vbwHzChanged)
    Q_PROPERTY(double fps READ fps NOTIFY fpsChanged)
    Q_PROPERTY(double rbwTargetHz READ rbwTargetHz WRITE setRbwTargetHz NOTIFY rbwTargetHzChanged)
    Q_PROPERTY(double maxFps READ maxFps WRITE setMaxFps NOTIFY maxFpsChanged)
    Q_PROPERTY(int detectorMode READ detectorMode WRITE setDetectorMode NOTIFY detectorModeChanged)
    Q_PROPERTY(int detectorWindow READ detectorWindow WRITE setDetectorWindow NOTIFY detectorWindowChanged)
    Q_PROPERTY(bool densityEnabled READ densityEnabled WRITE setDensityEnabled NOTIFY densityEnabledChanged)
    Q_PROPERTY(int densityLevels READ densityLevels WRITE setDensityLevels NOTIFY densityLevelsChanged)
    Q_PROPERTY(int densityWidthBins READ densityWidthBins WRITE setDensityWidthBins NOTIFY densityWidthBinsChanged)
    Q_PROPERTY(double densityFps READ densityFps WRITE setDensityFps NOTIFY densityFpsChanged)
    Q_PROPERTY(double densityTau READ densityTau WRITE setDensityTau NOTIFY densityTauChanged)
    Q_PROPERTY(double densityHitGain READ densityHitGain WRITE setDensityHitGain NOTIFY densityHitGainChanged)
    Q_PROPERTY(double densityGamma READ densityGamma WRITE setDensityGamma NOTIFY densityGammaChanged)
    Q_PROPERTY(double densityMax READ densityMax WRITE setDensityMax NOTIFY densityMaxChanged)
    Q_PROPERTY(double densityMinDb READ densityMinDb WRITE setDensityMinDb NOTIFY densityMinDbChanged)
    Q_PROPERTY(double densityMaxDb READ densityMaxDb WRITE setDensityMaxDb NOTIFY densityMaxDbChanged)
    Q_PROPERTY(double peakLineWindowSec READ peakLineWindowSec WRITE setPeakLineWindowSec NOTIFY
                   peakLineWindowSecChanged)
    Q_PROPERTY(double ringUsagePct READ ringUsagePct NOTIFY ringUsagePctChanged)
    Q_PROPERTY(QVariantList markers READ markers NOTIFY markersChanged)
    Q_PROPERTY(MarkerModel* markersModel READ markersModel CONSTANT)
    Q_PROPERTY(bool waterfallEnabled READ waterfallEnabled WRITE setWaterfallEnabled NOTIFY waterfallEnabledChanged)
    Q_PROPERTY(int waterfallLines READ waterfallLines WRITE setWaterfallLines NOTIFY waterfallLinesChanged)
    Q_PROPERTY(double waterfallFps READ waterfallFps WRITE setWaterfallFps NOTIFY waterfallFpsChanged)
    Q_PROPERTY(int waterfallPaletteId READ waterfallPaletteId WRITE setWaterfallPaletteId NOTIFY
                   waterfallPaletteIdChanged)
    Q_PROPERTY(QString deviceName READ deviceName NOTIFY deviceInfoChanged)
    Q_PROPERTY(QString deviceBackend READ deviceBackend CONSTANT)
    Q_PROPERTY(QString deviceSerial READ deviceSerial NOTIFY deviceInfoChanged)
    Q_PROPERTY(QString deviceSelection READ deviceSelection WRITE setDeviceSelection NOTIFY deviceSelectionChanged)
    Q_PROPERTY(int deviceChannel READ deviceChannel WRITE setDeviceChannel NOTIFY deviceChannelChanged)
    Q_PROPERTY(bool usb3Known READ usb3Known NOTIFY deviceInfoChanged)
    Q_PROPERTY(bool usb3Ok READ usb3Ok NOTIFY deviceInfoChanged)
    Q_PROPERTY(bool newDemodEnabled READ newDemodEnabled WRITE setNewDemodEnabled NOTIFY newDemodEnabledChanged)
    Q_PROPERTY(double newDemodFreqHz READ newDemodFreqHz WRITE setNewDemodFreqHz NOTIFY newDemodFreqHzChanged)
    Q_PROPERTY(double newDemodFmDeviationHz READ newDemodFmDeviationHz WRITE setNewDemodFmDeviationHz NOTIFY
                   newDemodFmDeviationHzChanged)
    Q_PROPERTY(bool newDemodFmStereoEnabled READ newDemodFmStereoEnabled WRITE setNewDemodFmStereoEnabled NOTIFY
                   newDemodFmStereoEnabledChanged)
    Q_PROPERTY(double newDemodAudioHpfHz READ newDemodAudioHpfHz WRITE setNewDemodAudioHpfHz NOTIFY
                   newDemodAudioHpfHzChanged)
    Q_PROPERTY(double newDemodAudioLpfHz READ newDemodAudioLpfHz WRITE setNewDemodAudioLpfHz NOTIFY
                   newDemodAudioLpfHzChanged)
    Q_PROPERTY(double newDemodAudioGain READ newDemodAudioGain WRITE setNewDemodAudioGain NOTIFY
                   newDemodAudioGainChanged)
    Q_PROPERTY(bool newDemodFilterEnabled READ newDemodFilterEnabled WRITE setNewDemodFilterEnabled NOTIFY
                   newDemodFilterEnabledChanged)
    Q_PROPERTY(int demodMarkerId READ demodMarkerId NOTIFY demodMarkerIdChanged)
    Q_PROPERTY(bool squelchEnabled READ squelchEnabled WRITE setSquelchEnabled NOTIFY squelchEnabledChanged)
    Q_PROPERTY(double squelchOpenDb READ squelchOpenDb WRITE setSquelchOpenDb NOTIFY squelchOpenDbChanged)
    Q_PROPERTY(double squelchCloseDb READ squelchCloseDb WRITE setSquelchCloseDb NOTIFY squelchCloseDbChanged)
    Q_PROPERTY(double squelchAttackMs READ squelchAttackMs WRITE setSquelchAttackMs NOTIFY squelchAttackMsChanged)
    Q_PROPERTY(double squelchReleaseMs READ squelchReleaseMs WRITE setSquelchReleaseMs NOTIFY squelchReleaseMsChanged)
    Q_PROPERTY(double squelchHangMs READ squelchHangMs WRITE setSquelchHangMs NOTIFY squelchHangMsChanged)
    Q_PROPERTY(double squelchNoiseAlpha READ squelchNoiseAlpha WRITE setSquelchNoiseAlpha NOTIFY
                   squelchNoiseAlphaChanged)
    Q_PROPERTY(double squelchMinFloorDb READ squelchMinFloorDb WRITE setSquelchMinFloorDb NOTIFY
                   squelchMinFloorDbChanged)

public:
    using DeviceFactory = std::function<std::unique_ptr<IDevice>()>;

    // Drives an RZ640 receiver through its SDK.
    explicit RtsaController(QObject* parent = nullptr);
    // Drives whatever receiver makeDevice creates (called once, during construction).
    explicit RtsaController(const DeviceFactory& makeDevice, QObject* parent = nullptr);
    ~RtsaController() override;

    bool connected() const { return m_connected.load(); }
    bool running() const { return m_running.load(); }
    QObject* spectrumItem() const;
    void setSpectrumItem(QObject* item);

    // Spectrum (SpectrumProperties.cpp).
    int fftSize() const { return m_fftSize.load(); }
    void setFftSize(int size);
    int windowType() const { return m_windowType.load(); }
    void setWindowType(int type);
    double vbwAlpha() const { return m_vbwAlpha.load(); }
    void setVbwAlpha(double alpha);
    double vbwHz() const { return m_vbwHz.load(); }
    void setVbwHz(double hz);
    double fps() const { return m_fps.load(); }
    double rbwTargetHz() const { return m_rbwTargetHz; }
    void setRbwTargetHz(double hz);
    double maxFps() const { return m_maxFps.load(); }
    void setMaxFps(double fps);
    int detectorMode() const { return m_detectorMode.load(); }
    void setDetectorMode(int mode);
    int detectorWindow() const { return m_detectorWindow.load(); }
    void setDetectorWindow(int window);
    double peakLineWindowSec() const { return m_peakLineWindowSec.load(); }
    void setPeakLineWindowSec(double seconds);
    double ringUsagePct() const { return m_ringUsagePct.load(); }

    // Density and waterfall (PersistenceProperties.cpp).
    bool densityEnabled() const { return m_densityEnabled.load(); }
    void setDensityEnabled(bool enabled);
    int densityLevels() const { return m_densityLevels.load(); }
    void setDensityLevels(int levels);
    int densityWidthBins() const { return m_densityWidthBins.load(); }
    void setDensityWidthBins(int bins);
    double densityFps() const { return m_densityFps.load(); }
    void setDensityFps(double fps);
    double densityTau() const { return m_densityTau.load(); }
    void setDensityTau(double tau);
    double densityHitGain() const { return m_densityHitGain.load(); }
    void setDensityHitGain(double gain);
    double densityGamma() const { return m_densityGamma.load(); }
    void setDensityGamma(double gamma);
    double densityMax() const { return m_densityMax.load(); }
    void setDensityMax(double max);
    double densityMinDb() const { return m_densityMinDb.load(); }
    void setDensityMinDb(double db);
    double densityMaxDb() const { return m_densityMaxDb.load(); }
    void setDensityMaxDb(double db);
    bool waterfallEnabled() const { return m_waterfallEnabled.load(); }
    void setWaterfallEnabled(bool enabled);
    int waterfallLines() const { return m_waterfallLines.load(); }
    void setWaterfallLines(int lines);
    double waterfallFps() const { return m_waterfallFps.load(); }
    void setWaterfallFps(double fps);
    int waterfallPaletteId() const { return m_waterfallPaletteId.load(); }
    void setWaterfallPaletteId(int id);

    // Receiver (DeviceControl.cpp).
    QString deviceName() const { return m_deviceName; }
    QString deviceBackend() const { return QStringLiteral("RZ640"); }
    QString deviceSerial() const { return m_deviceSerial; }
    QString deviceSelection() const { return m_deviceSelection; }
    // Used by the next open; an open receiver is not reopened.
    void setDeviceSelection(const QString& selection);
    int deviceChannel() const { return m_deviceChannel; }
    void setDeviceChannel(int channel);
    bool usb3Known() const { return m_usb3Known; }
    bool usb3Ok() const { return m_usb3Ok; }

    Q_INVOKABLE bool connectDevice();
    Q_INVOKABLE void disconnectDevice();
    // "Auto" (an empty selection) first, then every receiver the driver knows.
    Q_INVOKABLE QVariantList deviceList();
    // Queues a retune (MHz for frequency and bandwidth) and returns at once.
    Q_INVOKABLE void applyParams(double freqMHz, double bwMHz, int port, int att, int preamp, int ifgain);

    // Acquisition (Acquisition.cpp). The user interface's start applies the current receiver
    // settings first; a restart after a retune does not need to.
    Q_INVOKABLE bool startRx(bool applyFirst = true);
    Q_INVOKABLE void stopRx();

    // Spectrum commands (SpectrumProperties.cpp).
    Q_INVOKABLE void clearDensity();
    Q_INVOKABLE void clearPeakLine();
    Q_INVOKABLE double getPeakFreq() const;
    Q_INVOKABLE double getPeakValue() const;

    // Markers (MarkerCommands.cpp). The interface calls the model directly; these forward to
    // it, and the ones that change a marker announce markersChanged.
    QVariantList markers() const;
    MarkerModel* markersModel() { return &m_markerModel; }
    int demodMarkerId() const { return m_demodMarkerId.load(); }
    Q_INVOKABLE void addMarker(int id, double freqHz, const QString& color);
    Q_INVOKABLE void removeMarker(int id);
    Q_INVOKABLE void setMarkerFreq(int id, double hz);
    Q_INVOKABLE void setMarkerAutoPeak(int id, bool enabled);
    Q_INVOKABLE void setMarkerColor(int id, const QString& color);
    Q_INVOKABLE void markerToPeak(int id);
    Q_INVOKABLE void markerToCenter(int id);
    Q_INVOKABLE void jumpCenterToMarker(int id);
    // The marker the demodulator follows, -1 for none.
    Q_INVOKABLE void setDemodMarker(int id, bool enabled);

    // Demodulation (DemodProperties.cpp): each setting is a field of the channel's parameter
    // record, read back from it and handed to it whole.
    bool newDemodEnabled() const { return m_demod.getParams().enabled; }
    void setNewDemodEnabled(bool enabled);
    double newDemodFreqHz() const { return m_demod.getParams().demodFreqHz; }
    void setNewDemodFreqHz(double hz);
    double newDemodFmDeviationHz() const { return m_demod.getParams().fmDeviationHz; }
    void setNewDemodFmDeviationHz(double hz);
    bool newDemodFmStereoEnabled() const { return m_demod.getParams().fmStereoEnabled; }
    void setNewDemodFmStereoEnabled(bool enabled);
    double newDemodAudioHpfHz() const { return m_demod.getParams().audioHpfHz; }
    void setNewDemodAudioHpfHz(double hz);
    double newDemodAudioLpfHz() const { return m_demod.getParams().audioLpfHz; }
    void setNewDemodAudioLpfHz(double hz);
    double newDemodAudioGain() const { return m_demod.getParams().audioGain; }
    void setNewDemodAudioGain(double gain);
    bool newDemodFilterEnabled() const { return m_demod.getParams().filterEnabled; }
    void setNewDemodFilterEnabled(bool enabled);
    bool squelchEnabled() const { return m_demod.getParams().squelchEnabled; }
    void setSquelchEnabled(bool enabled);
    double squelchOpenDb() const { return m_demod.getParams().squelchOpenDb; }
    void setSquelchOpenDb(double db);
    double squelchCloseDb() const { return m_demod.getParams().squelchCloseDb; }
    void setSquelchCloseDb(double db);
    double squelchAttackMs() const { return m_demod.getParams().squelchAttackMs; }
    void setSquelchAttackMs(double ms);
    double squelchReleaseMs() const { return m_demod.getParams().squelchReleaseMs; }
    void setSquelchReleaseMs(double ms);
    double squelchHangMs() const { return m_demod.getParams().squelchHangMs; }
    void setSquelchHangMs(double ms);
    double squelchNoiseAlpha() const { return m_demod.getParams().squelchNoiseAlpha; }
    void setSquelchNoiseAlpha(double alpha);
    double squelchMinFloorDb() const { return m_demod.getParams().squelchMinFloorDb; }
    void setSquelchMinFloorDb(double db);

    // Queues a retune for the device worker; a newer request replaces one not yet started.
    void postApplyRequest(const ApplyRequest& request);
    // Moves the centre to freqHz (> 0) keeping the bandwidth and the front-end settings.
    void retuneCenterTo(double freqHz);

    // What the demodulation channel calls with a status line, from any thread: the line is
    // emitted as logMessage in the controller's own thread.
    StatusCallback statusCallback();

signals:
    void connectedChanged();
    void runningChanged();
    void spectrumItemChanged();
    void fftSizeChanged();
    void windowTypeChanged();
    void vbwAlphaChanged();
    void vbwHzChanged();
    void fpsChanged();
    void rbwTargetHzChanged();
    void maxFpsChanged();
    void detectorModeChanged();
    void detectorWindowChanged();
    void densityEnabledChanged();
    void densityLevelsChanged();
    void densityWidthBinsChanged();
    void densityFpsChanged();
    void densityTauChanged();
    void densityHitGainChanged();
    void densityGammaChanged();
    void densityMaxChanged();
    void densityMinDbChanged();
    void densityMaxDbChanged();
    void peakLineWindowSecChanged();
    void ringUsagePctChanged();
    void markersChanged();
    void waterfallEnabledChanged();
    void waterfallLinesChanged();
    void waterfallFpsChanged();
    void waterfallPaletteIdChanged();
    void centerFreqChanged(double freqMHz);
    void deviceInfoChanged();
    void deviceSelectionChanged();
    void deviceChannelChanged();
    void newDemodEnabledChanged();
    void newDemodFreqHzChanged();
    void newDemodFmDeviationHzChanged();
    void newDemodFmStereoEnabledChanged();
    void newDemodAudioHpfHzChanged();
    void newDemodAudioLpfHzChanged();
    void newDemodAudioGainChanged();
    void newDemodFilterEnabledChanged();
    void demodMarkerIdChanged();
    void squelchEnabledChanged();
    void squelchOpenDbChanged();
    void squelchCloseDbChanged();
    void squelchAttackMsChanged();
    void squelchReleaseMsChanged();
    void squelchHangMsChanged();
    void squelchNoiseAlphaChanged();
    void squelchMinFloorDbChanged();
    void logMessage(QString msg);

private:
    class SpectrumThreadSink;
    friend class RtsaControllerTestAccess;

    // The device worker's pass: stop a running acquisition, apply, start it again.
    void retune(const ApplyRequest& request);
    // Stores the settings and, when connected, sends them to the receiver. Runs with the
    // device lock held.
    void apply(const ApplyRequest& request);
    ApplyRequest currentSettings() const;
    void startRxThread();
    // GUI thread, queued from the RX thread when the FFT ring stays nearly full.
    void handleDspOverload(const QString& trigger);
    // Sets the analyser to n points, stopping and restarting a running acquisition around it.
    void changeFftSize(int n);
    // Stores a target and the FFT size that follows from it at the current sample rate; true
    // when the stored target changed (a faster rate may clamp it).
    bool applyRbwTarget(double hz);
    void runSpectrumThread();
    QPointer<SpectrumItem> guardedSpectrumItem() const;

    // Declared first so that it goes last: the receiver outlives everything that calls it.
    std::unique_ptr<IDevice> m_device;
    // Serialises device control (connect, retune, start, stop) between the GUI thread and the
    // device worker, so that one never tears down an acquisition run the other is building.
    // Recursive: a start connects and applies, a retune stops and starts, and a QML handler of
    // a signal emitted on the way may call back in.
    mutable std::recursive_mutex m_deviceMutex;

    std::atomic<bool> m_connected{false};
    QString m_deviceName;
    QString m_deviceSerial;
    QString m_deviceSelection;
    int m_deviceChannel = 0;
    bool m_usb3Known = false;
    bool m_usb3Ok = false;

    // The spectrum item is also looked up from the spectrum thread.
    mutable std::mutex m_spectrumItemMutex;
    QPointer<SpectrumItem> m_spectrumItem;

    // Last applied receiver settings, as sent to the device. Written under the device lock;
    // atomic because the spectrum thread and the GUI thread read them without it.
    std::atomic<uint64_t> m_centerHz{1'000'000'000};
    std::atomic<uint32_t> m_sampleRateHz{20'000'000};
    std::atomic<uint8_t> m_port{0};
    std::atomic<uint8_t> m_att{0};
    std::atomic<uint8_t> m_preamp{0};
    std::atomic<uint8_t> m_ifgain{0};

    // Spectrum settings: written here, read once per block by the spectrum thread.
    std::atomic<int> m_fftSize{2048};
    std::atomic<int> m_windowType{0};
    std::atomic<float> m_vbwAlpha{0.2f};
    std::atomic<double> m_vbwHz{0.0};
    std::atomic<double> m_fps{0.0};
    double m_rbwTargetHz = 0.0;
    std::atomic<double> m_maxFps{30.0};
    std::atomic<int> m_detectorMode{3};
    std::atomic<int> m_detectorWindow{20};
    std::atomic<bool> m_densityEnabled{false};
    std::atomic<int> m_densityLevels{512};
    std::atomic<int> m_densityWidthBins{1024};
    std::atomic<double> m_densityFps{12.0};
    std::atomic<double> m_densityTau{0.5};
    std::atomic<double> m_densityHitGain{1.0};
    std::atomic<double> m_densityGamma{0.6};
    std::atomic<double> m_densityMax{20.0};
    std::atomic<double> m_densityMinDb{-120.0};
    std::atomic<double> m_densityMaxDb{0.0};
    std::atomic<double> m_peakLineWindowSec{0.0};
    std::atomic<bool> m_waterfallEnabled{false};
    std::atomic<int> m_waterfallLines{400};
    std::atomic<double> m_waterfallFps{30.0};
    std::atomic<int> m_waterfallPaletteId{0};
    std::atomic<double> m_ringUsagePct{0.0};
    int64_t m_lastOverloadLogMs = 0;
    uint64_t m_minFftSize = 512;
    uint64_t m_maxFftSize = 8192;

    SpectrumEngine m_spectrum;

    // Runs its thread for the controller's lifetime; stopped by the destructor once acquisition
    // is down, and destroyed after everything that feeds it.
    SingleDemodChannel m_demod{DemodParams{}};

    // A child of the controller: the spectrum thread reads its markers at every published
    // trace and posts the levels back to it.
    MarkerModel m_markerModel{this};
    std::atomic<int> m_demodMarkerId{-1};

    // Acquisition run: the rings exist from start until both threads are joined.
    std::atomic<bool> m_rxRunning{false};
    std::atomic<bool> m_running{false};
    uint64_t m_fftFrameBytes = 0;
    uint64_t m_readBlockBytes = 0;
    std::atomic<uint64_t> m_fftRingLostBytes{0};
    std::unique_ptr<FftRing> m_fftRing;
    std::unique_ptr<DemodRing> m_demodRing;
    std::unique_ptr<RxThread> m_rxThread;
    std::thread m_spectrumThread;

    // Last member: its thread must be gone before anything it touches is destroyed.
    std::unique_ptr<DeviceWorker> m_deviceWorker;
};
