#pragma once

#include "acquisition/AcquisitionSession.h"
#include "acquisition/IDevice.h"
#include "app/ApplyRequest.h"
#include "app/AudioControlState.h"
#include "app/DeviceControlState.h"
#include "app/DeviceWorker.h"
#include "app/Logger.h"
#include "app/MeasurementControl.h"
#include "app/RecordingControl.h"
#include "app/PlaybackControl.h"
#include "app/SpectrumControlState.h"
#include "demod/StatusCallback.h"
#include "markers/MarkerModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class SpectrumItem;

// The one object the user interface talks to (published to QML as "rtsa"). It owns the
// acquisition session (the signal chain and its threads), hands it the settings and turns its
// status into properties and log lines; everything user-facing comes back through its
// properties and the logMessage line channel.
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
    Q_PROPERTY(int spectrumOverlap READ spectrumOverlap WRITE setSpectrumOverlap NOTIFY spectrumOverlapChanged)
    Q_PROPERTY(double interceptSeconds READ interceptSeconds NOTIFY interceptChanged)
    Q_PROPERTY(QString interceptText READ interceptText NOTIFY interceptChanged)
    Q_PROPERTY(bool densityEnabled READ densityEnabled WRITE setDensityEnabled NOTIFY densityEnabledChanged)
    Q_PROPERTY(int densitySource READ densitySource WRITE setDensitySource NOTIFY densitySourceChanged)
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
    // Status of the acquisition, refreshed once a second while it runs (SessionBridge.cpp).
    Q_PROPERTY(double rxRateMBps READ rxRateMBps NOTIFY rxStatusChanged)
    Q_PROPERTY(int rxTimeouts READ rxTimeouts NOTIFY rxStatusChanged)
    Q_PROPERTY(int rxFftDrops READ rxFftDrops NOTIFY rxStatusChanged)
    Q_PROPERTY(int rxDemodOverflows READ rxDemodOverflows NOTIFY rxStatusChanged)
    Q_PROPERTY(double demodRingPct READ demodRingPct NOTIFY rxStatusChanged)
    Q_PROPERTY(int spectrumBlocksPerSec READ spectrumBlocksPerSec NOTIFY spectrumStatusChanged)
    Q_PROPERTY(int spectrumDroppedFrames READ spectrumDroppedFrames NOTIFY spectrumStatusChanged)
    Q_PROPERTY(int spectrumDiscardedBlocks READ spectrumDiscardedBlocks NOTIFY spectrumStatusChanged)
    Q_PROPERTY(QString spectraSkipped READ spectraSkipped NOTIFY spectraSkippedChanged)
    Q_PROPERTY(double audioBusFillPct READ audioBusFillPct NOTIFY audioStatusChanged)
    Q_PROPERTY(int audioUnderruns READ audioUnderruns NOTIFY audioStatusChanged)
    Q_PROPERTY(int audioOverruns READ audioOverruns NOTIFY audioStatusChanged)
    Q_PROPERTY(QString audioStatus READ audioStatus NOTIFY audioStatusChanged)
    Q_PROPERTY(QString demodStatus READ demodStatus NOTIFY demodStatusChanged)
    Q_PROPERTY(QString autoAdjustment READ autoAdjustment NOTIFY autoAdjustmentChanged)
    Q_PROPERTY(QString lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(QVariantList markers READ markers NOTIFY markersChanged)
    Q_PROPERTY(MarkerModel* markersModel READ markersModel CONSTANT)
    Q_PROPERTY(MeasurementControl* measurements READ measurements CONSTANT)
    Q_PROPERTY(RecordingControl* recording READ recording CONSTANT)
    Q_PROPERTY(PlaybackControl* playback READ playback CONSTANT)
    Q_PROPERTY(bool waterfallEnabled READ waterfallEnabled WRITE setWaterfallEnabled NOTIFY waterfallEnabledChanged)
    Q_PROPERTY(int waterfallLines READ waterfallLines WRITE setWaterfallLines NOTIFY waterfallLinesChanged)
    Q_PROPERTY(double waterfallFps READ waterfallFps WRITE setWaterfallFps NOTIFY waterfallFpsChanged)
    Q_PROPERTY(int waterfallPaletteId READ waterfallPaletteId WRITE setWaterfallPaletteId NOTIFY
                   waterfallPaletteIdChanged)
    Q_PROPERTY(QString deviceName READ deviceName NOTIFY deviceInfoChanged)
    Q_PROPERTY(QString deviceBackend READ deviceBackend NOTIFY deviceInfoChanged)
    Q_PROPERTY(QVariantMap deviceFrontEnd READ deviceFrontEnd NOTIFY deviceInfoChanged)
    Q_PROPERTY(QVariantMap deviceFrontEndChoices READ deviceFrontEndChoices WRITE setDeviceFrontEndChoices NOTIFY
                   deviceInfoChanged)
    Q_PROPERTY(QString deviceSerial READ deviceSerial NOTIFY deviceInfoChanged)
    Q_PROPERTY(QString deviceSelection READ deviceSelection WRITE setDeviceSelection NOTIFY deviceSelectionChanged)
    Q_PROPERTY(int deviceChannel READ deviceChannel WRITE setDeviceChannel NOTIFY deviceChannelChanged)
    Q_PROPERTY(bool usb3Known READ usb3Known NOTIFY deviceInfoChanged)
    Q_PROPERTY(bool usb3Ok READ usb3Ok NOTIFY deviceInfoChanged)
    Q_PROPERTY(bool audioEnabled READ audioEnabled WRITE setAudioEnabled NOTIFY audioEnabledChanged)
    Q_PROPERTY(QString audioDeviceName READ audioDeviceName WRITE setAudioDeviceName NOTIFY audioDeviceNameChanged)
    Q_PROPERTY(int audioBufferFrames READ audioBufferFrames WRITE setAudioBufferFrames NOTIFY audioBufferFramesChanged)
    Q_PROPERTY(bool audioTestTone READ audioTestTone WRITE setAudioTestTone NOTIFY audioTestToneChanged)
    Q_PROPERTY(int audioOutputChannel READ audioOutputChannel WRITE setAudioOutputChannel NOTIFY
                   audioOutputChannelChanged)
    Q_PROPERTY(int audioOutputChannelLeft READ audioOutputChannelLeft WRITE setAudioOutputChannelLeft NOTIFY
                   audioOutputChannelLeftChanged)
    Q_PROPERTY(int audioOutputChannelRight READ audioOutputChannelRight WRITE setAudioOutputChannelRight NOTIFY
                   audioOutputChannelRightChanged)
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
    // Makes the audio backend, handing it where its diagnostic lines go; may make none.
    using AudioBackendFactory = std::function<std::unique_ptr<AudioBackend>(AsioLogSink log)>;

    // Drives an RZ640 receiver through its SDK.
    explicit RtsaController(QObject* parent = nullptr);
    // Drives whatever receiver makeDevice creates (called once, during construction), and plays
    // through the ASIO drivers installed beside the executable or in /etc/asio, or through the
    // backend makeAudioBackend creates.
    explicit RtsaController(const DeviceFactory& makeDevice, QObject* parent = nullptr);
    RtsaController(const DeviceFactory& makeDevice, const AudioBackendFactory& makeAudioBackend,
                   QObject* parent = nullptr);
    ~RtsaController() override;

    bool connected() const { return m_connected.load(); }
    bool running() const { return m_running.load(); }
    QObject* spectrumItem() const;
    void setSpectrumItem(QObject* item);

    // Spectrum (SpectrumProperties.cpp).
    int fftSize() const { return m_spectrumSettings.fftSize.load(); }
    void setFftSize(int size);
    int windowType() const { return m_spectrumSettings.windowType.load(); }
    void setWindowType(int type);
    double vbwAlpha() const { return m_spectrumSettings.vbwAlpha.load(); }
    void setVbwAlpha(double alpha);
    double vbwHz() const { return m_spectrumSettings.vbwHz.load(); }
    void setVbwHz(double hz);
    double fps() const { return m_session->spectrumStatus().framesPerSecond; }
    double rbwTargetHz() const { return m_spectrumSettings.rbwTargetHz; }
    void setRbwTargetHz(double hz);
    double maxFps() const { return m_spectrumSettings.maxFps.load(); }
    void setMaxFps(double fps);
    int detectorMode() const { return m_spectrumSettings.detectorMode.load(); }
    void setDetectorMode(int mode);
    int detectorWindow() const { return m_spectrumSettings.detectorWindow.load(); }
    void setDetectorWindow(int window);
    // The share of each block the next one repeats, in percent; snapped to an offered one.
    int spectrumOverlap() const { return m_spectrumSettings.overlapPercent.load(); }
    void setSpectrumOverlap(int percent);
    // The shortest burst some spectrum sees within 1 dB of its level wherever it falls
    // (intercept::fullAmplitudeSeconds) at the FFT size, window, overlap and the rate last
    // applied; and the window's statement of it, empty while no receiver runs.
    double interceptSeconds() const { return m_interceptSeconds; }
    QString interceptText() const { return m_interceptText; }
    double peakLineWindowSec() const { return m_spectrumSettings.peakLineWindowSec.load(); }
    void setPeakLineWindowSec(double seconds);
    double ringUsagePct() const { return m_session->rxStatus().fftFillPct(); }

    // Status (SessionBridge.cpp). The figures are those of the last second reported.
    double rxRateMBps() const { return m_session->rxStatus().megabytesPerSecond; }
    int rxTimeouts() const;
    int rxFftDrops() const;
    int rxDemodOverflows() const;
    double demodRingPct() const { return m_session->rxStatus().demodFillPct(); }
    int spectrumBlocksPerSec() const;
    int spectrumDroppedFrames() const;
    int spectrumDiscardedBlocks() const;
    // While blocks are overlapped and the spectrum thread's last second discarded some, what
    // that costs the user; else empty.
    QString spectraSkipped() const { return m_spectraSkipped; }
    double audioBusFillPct() const;
    int audioUnderruns() const;
    int audioOverruns() const;
    // The last health line of the audio output while it plays, else empty.
    QString audioStatus() const { return m_audioStatus; }
    // The demodulation channel's last status line.
    QString demodStatus() const { return m_demodStatus; }
    // The last automatic adjustment (a clamped resolution target) or DSP overload, as logged;
    // announced each time one happens, even with the same text.
    QString autoAdjustment() const { return m_autoAdjustment; }
    // The last failure the user should know of, as logged.
    QString lastError() const { return m_lastError; }

    // Density and waterfall (PersistenceProperties.cpp).
    bool densityEnabled() const { return m_spectrumSettings.densityEnabled.load(); }
    void setDensityEnabled(bool enabled);
    // DensitySource: each block's spectrum, or the trace.
    int densitySource() const { return m_spectrumSettings.densitySource.load(); }
    void setDensitySource(int source);
    int densityLevels() const { return m_spectrumSettings.densityLevels.load(); }
    void setDensityLevels(int levels);
    int densityWidthBins() const { return m_spectrumSettings.densityWidthBins.load(); }
    void setDensityWidthBins(int bins);
    double densityFps() const { return m_spectrumSettings.densityFps.load(); }
    void setDensityFps(double fps);
    double densityTau() const { return m_spectrumSettings.densityTau.load(); }
    void setDensityTau(double tau);
    double densityHitGain() const { return m_spectrumSettings.densityHitGain.load(); }
    void setDensityHitGain(double gain);
    double densityGamma() const { return m_spectrumSettings.densityGamma.load(); }
    void setDensityGamma(double gamma);
    double densityMax() const { return m_spectrumSettings.densityMax.load(); }
    void setDensityMax(double max);
    double densityMinDb() const { return m_spectrumSettings.densityMinDb.load(); }
    void setDensityMinDb(double db);
    double densityMaxDb() const { return m_spectrumSettings.densityMaxDb.load(); }
    void setDensityMaxDb(double db);
    bool waterfallEnabled() const { return m_spectrumSettings.waterfallEnabled.load(); }
    void setWaterfallEnabled(bool enabled);
    int waterfallLines() const { return m_spectrumSettings.waterfallLines.load(); }
    void setWaterfallLines(int lines);
    double waterfallFps() const { return m_spectrumSettings.waterfallFps.load(); }
    void setWaterfallFps(double fps);
    int waterfallPaletteId() const { return m_spectrumSettings.waterfallPaletteId.load(); }
    void setWaterfallPaletteId(int id);

    // Receiver (DeviceControl.cpp).
    QString deviceName() const { return m_receiver.name; }
    // "RZ640", or "SoapySDR" while such a receiver is open.
    QString deviceBackend() const { return QString::fromStdString(m_receiver.frontEnd.backend); }
    // What the open receiver lets the user set besides the RZ640's rows: "ratesMsps" (the
    // processing rates it accepts), "gains" ({name, min, max, step, value} in dB),
    // "automaticGainAvailable", "automaticGain", "antennas", "antenna",
    // "frequencyCorrectionAvailable" and "frequencyCorrectionPpm".
    QVariantMap deviceFrontEnd() const;
    // What the user set through the calls below, as "gains" ({name: dB}), "automaticGain",
    // "antenna" and "frequencyCorrectionPpm", each present once set; kept between runs.
    QVariantMap deviceFrontEndChoices() const;
    void setDeviceFrontEndChoices(const QVariantMap& choices);
    QString deviceSerial() const { return m_receiver.serial; }
    QString deviceSelection() const { return m_receiver.selection; }
    // Used by the next open; an open receiver is not reopened.
    void setDeviceSelection(const QString& selection);
    int deviceChannel() const { return m_receiver.channel; }
    void setDeviceChannel(int channel);
    bool usb3Known() const { return m_receiver.usb3Known; }
    bool usb3Ok() const { return m_receiver.usb3Ok; }

    // Audio output (AudioControl.cpp): a setting that changes while audio plays restarts it.
    bool audioEnabled() const { return m_audio.enabled.load(); }
    void setAudioEnabled(bool enabled);
    QString audioDeviceName() const { return m_audio.deviceName(); }
    void setAudioDeviceName(const QString& name);
    int audioBufferFrames() const { return m_audio.bufferFrames.load(); }
    void setAudioBufferFrames(int frames);
    bool audioTestTone() const { return m_audio.testTone.load(); }
    void setAudioTestTone(bool on);
    int audioOutputChannel() const { return m_audio.outputChannel.load(); }
    void setAudioOutputChannel(int channel);
    int audioOutputChannelLeft() const { return m_audio.outputChannelLeft.load(); }
    void setAudioOutputChannelLeft(int channel);
    int audioOutputChannelRight() const { return m_audio.outputChannelRight.load(); }
    void setAudioOutputChannelRight(int channel);
    Q_INVOKABLE QStringList audioDevices();
    Q_INVOKABLE QVariantMap audioBufferSizeInfo(const QString& deviceName);
    Q_INVOKABLE bool showAudioControlPanel(const QString& deviceName);
    Q_INVOKABLE QVariantList audioOutputChannels(const QString& deviceName);

    Q_INVOKABLE bool connectDevice();
    Q_INVOKABLE void disconnectDevice();
    // "Auto" (an empty selection) first, then every receiver of the last search (before the
    // first, every receiver the driver knows without searching).
    Q_INVOKABLE QVariantList deviceList();
    // Searches for receivers off the GUI thread; deviceListChanged says when deviceList has
    // the result.
    Q_INVOKABLE void refreshDeviceList();
    // The open receiver's own front end (deviceFrontEnd); kept for the next receiver opened.
    Q_INVOKABLE void setDeviceGain(const QString& element, double db);
    Q_INVOKABLE void setDeviceAutomaticGain(bool on);
    Q_INVOKABLE void setDeviceAntenna(const QString& name);
    Q_INVOKABLE void setDeviceFrequencyCorrection(double ppm);
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

    // Channel power, bandwidths, adjacent channels, noise marker and peak table of the trace.
    MeasurementControl* measurements() { return &m_measurements; }
    RecordingControl* recording() { return &m_recordingControl; }
    PlaybackControl* playback() { return m_playback.get(); }

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
    Q_INVOKABLE void retuneCenterTo(double freqHz);

    // What the demodulation channel calls with a status line, from any thread: in the
    // controller's own thread the line becomes demodStatus and is logged.
    StatusCallback statusCallback();

    // The log every line of the controller, its audio backend and its demodulator goes through.
    Logger& log() { return m_log; }

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
    void spectrumOverlapChanged();
    void interceptChanged();
    void densityEnabledChanged();
    void densitySourceChanged();
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
    void rxStatusChanged();
    void spectrumStatusChanged();
    void spectraSkippedChanged();
    void audioStatusChanged();
    void demodStatusChanged();
    void autoAdjustmentChanged();
    void lastErrorChanged();
    void markersChanged();
    void waterfallEnabledChanged();
    void waterfallLinesChanged();
    void waterfallFpsChanged();
    void waterfallPaletteIdChanged();
    void centerFreqChanged(double freqMHz);
    void deviceInfoChanged();
    void deviceSelectionChanged();
    void deviceChannelChanged();
    void deviceListChanged();
    void audioEnabledChanged();
    void audioDeviceNameChanged();
    void audioBufferFramesChanged();
    void audioTestToneChanged();
    void audioOutputChannelChanged();
    void audioOutputChannelLeftChanged();
    void audioOutputChannelRightChanged();
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
    // The same line with its level (LogLevel) and whether it is a figure reported again and
    // again, which the window shows in its status places rather than in the log.
    void logEntry(QString msg, int level, bool statistic);

private:
    class SessionOutput;
    friend class RtsaControllerTestAccess;

    // The device worker's pass: stop a running acquisition, apply, start it again.
    void retune(const ApplyRequest& request);
    // Makes a change that needs the run stopped: ends a running run, changes, and begins a new
    // one, all under the device lock, so the GUI thread never sees the run half stopped or
    // restarted; `running` stays set unless the new run fails to begin.
    void restartRun(const std::function<void()>& change);
    // A run's start and end with its audio output, leaving `running` to the callers.
    bool beginRun();
    void endRun();
    // Stores the settings and, when connected, sends them to the receiver. Runs with the
    // device lock held.
    void apply(const ApplyRequest& request);
    ApplyRequest currentSettings() const;
    // Reads the open receiver's front end again and announces it; with the device lock held.
    void refreshFrontEnd();
    // GUI thread, queued from the RX thread when the FFT ring stays nearly full.
    void handleDspOverload(const QString& trigger);
    // Sets the analyser to n points, stopping and restarting a running acquisition around it.
    void changeFftSize(int n);
    // Stores a target and the FFT size that follows from it at the current sample rate; true
    // when the stored target changed (a faster rate may clamp it).
    bool applyRbwTarget(double hz);
    // GUI thread: works the intercept time out again when one of what it depends on changed,
    // and states it while a receiver runs.
    void updateIntercept();
    // GUI thread: the warning for spectra skipped while blocks overlap, from whether the last
    // second discarded blocks.
    void noteSpectraSkipped(bool discarded);
    // From any thread: runs `show` in the GUI thread with the spectrum view's next repaint (at
    // once without a view), so that the window draws the figures it changes in the spectrum's
    // frame instead of an extra one between two of its repaints.
    void postFigures(std::function<void()> show);
    // GUI thread, posted from the session's threads once a second: the figures become
    // properties and log lines.
    void showSpectrumStatus(const SpectrumStatus& status);
    void showRxStatus();
    // Record a line already logged: as the last automatic adjustment (GUI thread), or as the
    // last failure (any thread; the property changes in the controller's thread).
    void noteAutoAdjustment(const QString& line);
    void noteError(const QString& line);
    // The spectrum settings as the session's spectrum thread takes them, handed over by the GUI
    // thread's setters and by a start on the device worker.
    SpectrumSettings spectrumSettingsSnapshot() const;
    void publishSpectrumSettings();
    QPointer<SpectrumItem> guardedSpectrumItem() const;
    // The open receiver and its front-end setting, which a reference offset belongs to.
    QString receiverKey() const;
    // Open and close the audio output; the restart closes it, pauses and opens it again, when
    // audio is enabled and acquisition runs.
    void startAudio();
    void openAudio(AudioNotices& notices);
    void stopAudio();
    void restartAudio(const QString& message, std::chrono::milliseconds pause);
    // The line on the audio path, while audio plays.
    std::optional<QString> audioStatusLine();

    // Declared first so that it goes last: everything below may log until it is gone.
    Logger m_log{[this](LogLevel level, const QString& line, LogAudience audience) {
        emit logMessage(line);
        emit logEntry(line, static_cast<int>(level), audience == LogAudience::Status);
    }};
    // Recordings played as the receiver, one of the devices m_device switches between.
    std::unique_ptr<PlaybackDevice> m_playbackDevice = std::make_unique<PlaybackDevice>();
    // The receiver outlives everything that calls it.
    std::unique_ptr<IDevice> m_device;
    // Serialises device control (connect, retune, start, stop) between the GUI thread and the
    // device worker, so that one never tears down an acquisition run the other is building.
    // Recursive: a start connects and applies, a retune stops and starts, and a QML handler of
    // a signal emitted on the way may call back in.
    mutable std::recursive_mutex m_deviceMutex;

    std::atomic<bool> m_connected{false};
    // The open receiver's identity and its last applied settings (DeviceControlState.h).
    DeviceControlState m_receiver;

    // The spectrum item is also looked up from the spectrum thread.
    mutable std::mutex m_spectrumItemMutex;
    QPointer<SpectrumItem> m_spectrumItem;

    // Spectrum, density and waterfall settings (SpectrumControlState.h).
    SpectrumControlState m_spectrumSettings;
    // Read and handed over in one step, so that a record read earlier never replaces a newer one.
    std::mutex m_spectrumPublishMutex;
    int64_t m_lastOverloadLogMs = 0;
    // What the intercept time was last worked out for, and the result (GUI thread).
    struct InterceptInputs {
        int fftSize = 0;
        int windowType = 0;
        int overlapPercent = 0;
        uint32_t sampleRateHz = 0;
        bool operator==(const InterceptInputs&) const = default;
    } m_interceptInputs;
    double m_interceptSeconds = 0.0;
    QString m_interceptText;
    QString m_spectraSkipped;
    QString m_audioStatus;
    QString m_demodStatus;
    QString m_autoAdjustment;
    QString m_lastError;

    // The signal chain and its threads, with where its results go. The session's demodulation
    // thread runs for the controller's lifetime; the destructor stops it once acquisition is
    // down, and it is destroyed after everything that feeds it.
    std::unique_ptr<SessionOutput> m_sessionOutput;
    std::unique_ptr<AcquisitionSession> m_session;
    // What of the session outlives acquisition runs, reached often enough to have names here.
    SpectrumEngine& m_spectrum;
    SingleDemodChannel& m_demod;

    // A child of the controller: the spectrum thread reads its markers at every published
    // trace and posts the levels back to it.
    MarkerModel m_markerModel{this};
    std::atomic<int> m_demodMarkerId{-1};
    // A child of the controller: the spectrum thread measures every frame it publishes through it.
    MeasurementControl m_measurements{[this] { return receiverKey(); }, this};
    // A child of the controller and the session's tap: the destructor has ended acquisition
    // before it goes.
    RecordingControl m_recordingControl{[this] { return static_cast<double>(m_receiver.centerHz.load()); },
                                        m_markerModel, this};
    // Follows the recording inside m_device, so it goes first.
    std::unique_ptr<PlaybackControl> m_playback;
    // Stereo was on until a deviation it cannot be decoded at switched it off; it comes back with
    // a broadcast deviation unless the user chose otherwise meanwhile.
    bool m_stereoOffForDeviation = false;

    std::atomic<bool> m_rxRunning{false};
    std::atomic<bool> m_running{false};

    AudioControlState m_audio;

    // The last search's receivers (GUI thread).
    std::vector<DeviceListing> m_deviceListings;
    // Searches for receivers; gone before the device it asks.
    std::unique_ptr<EnumerationWorker> m_enumerationWorker;

    // Last member: its thread must be gone before anything it touches is destroyed.
    std::unique_ptr<DeviceWorker> m_deviceWorker;
};
