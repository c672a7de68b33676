#pragma once

#include "engine/SettingsSnapshot.h"
#include "engine/SpectrumFrame.h"
#include "measure/Measurements.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

// The measurements as the window sees them (the controller's `measurements`): their settings,
// their latest results, and the reference offset that turns dBFS into dBm. The spectrum thread
// measures each frame it publishes while measuring is on; the results come back to this
// object's thread, where the offset is applied.
class MeasurementControl : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)
    Q_PROPERTY(double viewLowHz READ viewLowHz WRITE setViewLowHz NOTIFY settingsChanged)
    Q_PROPERTY(double viewHighHz READ viewHighHz WRITE setViewHighHz NOTIFY settingsChanged)
    Q_PROPERTY(double channelCentreHz READ channelCentreHz WRITE setChannelCentreHz NOTIFY settingsChanged)
    Q_PROPERTY(double channelBandwidthHz READ channelBandwidthHz WRITE setChannelBandwidthHz NOTIFY settingsChanged)
    Q_PROPERTY(double obwPercent READ obwPercent WRITE setObwPercent NOTIFY settingsChanged)
    Q_PROPERTY(double xDb READ xDb WRITE setXDb NOTIFY settingsChanged)
    Q_PROPERTY(double acpMainBandwidthHz READ acpMainBandwidthHz WRITE setAcpMainBandwidthHz NOTIFY settingsChanged)
    Q_PROPERTY(double acpAdjacentBandwidthHz READ acpAdjacentBandwidthHz WRITE setAcpAdjacentBandwidthHz NOTIFY
                   settingsChanged)
    Q_PROPERTY(double acpSpacingHz READ acpSpacingHz WRITE setAcpSpacingHz NOTIFY settingsChanged)
    Q_PROPERTY(int acpPairs READ acpPairs WRITE setAcpPairs NOTIFY settingsChanged)
    Q_PROPERTY(double noiseMarkerHz READ noiseMarkerHz WRITE setNoiseMarkerHz NOTIFY settingsChanged)
    Q_PROPERTY(int noiseBinsEachSide READ noiseBinsEachSide WRITE setNoiseBinsEachSide NOTIFY settingsChanged)
    Q_PROPERTY(int peakCount READ peakCount WRITE setPeakCount NOTIFY settingsChanged)
    Q_PROPERTY(double peakExcursionDb READ peakExcursionDb WRITE setPeakExcursionDb NOTIFY settingsChanged)
    Q_PROPERTY(double peakThresholdDb READ peakThresholdDb WRITE setPeakThresholdDb NOTIFY settingsChanged)
    Q_PROPERTY(int peakOrder READ peakOrder WRITE setPeakOrder NOTIFY settingsChanged)
    Q_PROPERTY(double referenceOffsetDb READ referenceOffsetDb WRITE setReferenceOffsetDb NOTIFY
                   referenceOffsetChanged)
    Q_PROPERTY(QVariantMap referenceOffsets READ referenceOffsets WRITE setReferenceOffsets NOTIFY
                   referenceOffsetChanged)
    Q_PROPERTY(QString levelUnit READ levelUnit NOTIFY referenceOffsetChanged)
    Q_PROPERTY(QString receiverKey READ receiverKey NOTIFY referenceOffsetChanged)
    Q_PROPERTY(QVariantMap results READ results NOTIFY resultsChanged)

public:
    // What names the receiver and its front-end setting, which the reference offset belongs to.
    using ReceiverKey = std::function<QString()>;

    explicit MeasurementControl(ReceiverKey receiverKey, QObject* parent = nullptr);

    // Spectrum thread, at each published frame: measures it when measuring is on.
    void takeFrame(const SpectrumFrame& frame, int detectorMode, int detectorWindow);

    bool enabled() const { return m_enabled.load(); }
    void setEnabled(bool enabled);
    // The span on screen, which is all the measurements see.
    double viewLowHz() const { return m_settings.viewLowHz; }
    void setViewLowHz(double hz);
    double viewHighHz() const { return m_settings.viewHighHz; }
    void setViewHighHz(double hz);
    double channelCentreHz() const { return m_settings.channelCentreHz; }
    void setChannelCentreHz(double hz);
    double channelBandwidthHz() const { return m_settings.channelBandwidthHz; }
    void setChannelBandwidthHz(double hz);
    double obwPercent() const { return m_settings.obwPercent; }
    void setObwPercent(double percent);
    double xDb() const { return m_settings.xDb; }
    void setXDb(double db);
    double acpMainBandwidthHz() const { return m_settings.adjacent.mainBandwidthHz; }
    void setAcpMainBandwidthHz(double hz);
    double acpAdjacentBandwidthHz() const { return m_settings.adjacent.adjacentBandwidthHz; }
    void setAcpAdjacentBandwidthHz(double hz);
    double acpSpacingHz() const { return m_settings.adjacent.spacingHz; }
    void setAcpSpacingHz(double hz);
    int acpPairs() const { return m_settings.adjacent.pairs; }
    void setAcpPairs(int pairs);
    double noiseMarkerHz() const { return m_settings.noiseMarkerHz; }
    void setNoiseMarkerHz(double hz);
    int noiseBinsEachSide() const { return m_settings.noiseBinsEachSide; }
    void setNoiseBinsEachSide(int bins);
    int peakCount() const { return m_settings.peaks.count; }
    void setPeakCount(int count);
    double peakExcursionDb() const { return m_settings.peaks.excursionDb; }
    void setPeakExcursionDb(double db);
    double peakThresholdDb() const { return m_settings.peaks.thresholdDb; }
    void setPeakThresholdDb(double db);
    int peakOrder() const { return static_cast<int>(m_settings.peaks.order); }
    void setPeakOrder(int order);

    // The offset of the receiver and front end in use; 0 (dBFS) until one is set for them.
    double referenceOffsetDb() const;
    void setReferenceOffsetDb(double db);
    // Every receiver's and front end's offset, by receiverKey; kept between runs.
    QVariantMap referenceOffsets() const { return m_offsets; }
    void setReferenceOffsets(const QVariantMap& offsets);
    QString levelUnit() const;
    QString receiverKey() const { return m_receiverKey(); }

    // Levels with the reference offset added; empty until a frame has been measured.
    QVariantMap results() const { return m_results; }

    // Writes the last measured trace as CSV (frequency in Hz, level in levelUnit); false when
    // there is none or the file cannot be written.
    Q_INVOKABLE bool exportTraceCsv(const QString& path) const;

signals:
    void enabledChanged();
    void settingsChanged();
    void referenceOffsetChanged();
    void resultsChanged();

private:
    // Stores a changed value and hands the spectrum thread the new settings.
    void change(double& field, double value);
    void change(int& field, int value);
    void publish();
    // This object's thread: the results of a frame become the results property.
    void show(const MeasurementResults& r);
    // Announces a change of receiver or front end, whose offset then applies.
    void followReceiver();

    ReceiverKey m_receiverKey;
    std::atomic<bool> m_enabled{false};
    MeasurementSettings m_settings;
    SettingsSnapshot<MeasurementSettings> m_published;
    QVariantMap m_offsets;
    QString m_shownKey;
    QVariantMap m_results;

    // Spectrum thread only.
    Measurements m_measurements;
    uint64_t m_settingsVersion = 0;
    MeasurementSettings m_threadSettings;

    // The last measured trace, for export; its buffer is reused from frame to frame.
    mutable std::mutex m_traceMutex;
    std::vector<float> m_trace;
    double m_traceStartHz = 0.0;
    double m_traceBinHz = 0.0;
};
