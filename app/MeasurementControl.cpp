#include "app/MeasurementControl.h"

#include "app/SettingUpdate.h"
#include "measure/TraceCsv.h"

#include <fstream>

namespace ms = measure_settings;

namespace {

QVariantList dbcList(const std::array<double, kMaxAdjacentPairs>& values, int pairs)
{
    QVariantList list;
    for (int i = 0; i < pairs; ++i)
        list.append(values[i]);
    return list;
}

} // namespace

MeasurementControl::MeasurementControl(ReceiverKey receiverKey, QObject* parent)
    : QObject(parent), m_receiverKey(std::move(receiverKey)), m_published(m_settings)
{
    setObjectName(QStringLiteral("measurements"));
    m_shownKey = m_receiverKey();
}

void MeasurementControl::takeFrame(const SpectrumFrame& frame, int detectorMode, int detectorWindow)
{
    if (!m_enabled.load() || frame.trace.empty())
        return;
    m_published.refresh(m_settingsVersion, m_threadSettings);
    m_threadSettings.detectorMode = detectorMode;
    m_threadSettings.detectorWindow = detectorWindow;
    const MeasurementResults r = m_measurements.run(traceViewOf(frame), m_threadSettings);
    {
        const std::lock_guard lock(m_traceMutex);
        m_trace.assign(frame.trace.begin(), frame.trace.end());
        m_traceStartHz = frame.startHz;
        m_traceBinHz = frame.binHz;
    }
    QMetaObject::invokeMethod(this, [this, r] { show(r); }, Qt::QueuedConnection);
}

void MeasurementControl::setEnabled(bool enabled)
{
    if (m_enabled.exchange(enabled) == enabled)
        return;
    emit enabledChanged();
}

void MeasurementControl::publish()
{
    m_published.publish(m_settings);
    emit settingsChanged();
}

void MeasurementControl::change(double& field, double value)
{
    if (!setting::changed(field, value, 1e-9))
        return;
    field = value;
    publish();
}

void MeasurementControl::change(int& field, int value)
{
    if (field == value)
        return;
    field = value;
    publish();
}

void MeasurementControl::setViewLowHz(double hz)
{
    change(m_settings.viewLowHz, hz);
}

void MeasurementControl::setViewHighHz(double hz)
{
    change(m_settings.viewHighHz, hz);
}

void MeasurementControl::setChannelCentreHz(double hz)
{
    change(m_settings.channelCentreHz, hz);
}

void MeasurementControl::setChannelBandwidthHz(double hz)
{
    change(m_settings.channelBandwidthHz, ms::channelBandwidthHz.clamp(hz));
}

void MeasurementControl::setObwPercent(double percent)
{
    change(m_settings.obwPercent, ms::obwPercent.clamp(percent));
}

void MeasurementControl::setXDb(double db)
{
    change(m_settings.xDb, ms::xDb.clamp(db));
}

void MeasurementControl::setAcpMainBandwidthHz(double hz)
{
    change(m_settings.adjacent.mainBandwidthHz, ms::acpMainBandwidthHz.clamp(hz));
}

void MeasurementControl::setAcpAdjacentBandwidthHz(double hz)
{
    change(m_settings.adjacent.adjacentBandwidthHz, ms::acpAdjacentBandwidthHz.clamp(hz));
}

void MeasurementControl::setAcpSpacingHz(double hz)
{
    change(m_settings.adjacent.spacingHz, ms::acpSpacingHz.clamp(hz));
}

void MeasurementControl::setAcpPairs(int pairs)
{
    change(m_settings.adjacent.pairs, ms::acpPairs.clamp(pairs));
}

void MeasurementControl::setNoiseMarkerHz(double hz)
{
    change(m_settings.noiseMarkerHz, hz);
}

void MeasurementControl::setNoiseBinsEachSide(int bins)
{
    change(m_settings.noiseBinsEachSide, ms::noiseBinsEachSide.clamp(bins));
}

void MeasurementControl::setPeakCount(int count)
{
    change(m_settings.peaks.count, ms::peakCount.clamp(count));
}

void MeasurementControl::setPeakExcursionDb(double db)
{
    change(m_settings.peaks.excursionDb, ms::peakExcursionDb.clamp(db));
}

void MeasurementControl::setPeakThresholdDb(double db)
{
    change(m_settings.peaks.thresholdDb, ms::peakThresholdDb.clamp(db));
}

void MeasurementControl::setPeakOrder(int order)
{
    const auto clamped = static_cast<PeakOrder>(ms::peakOrder.clamp(order));
    if (clamped == m_settings.peaks.order)
        return;
    m_settings.peaks.order = clamped;
    publish();
}

double MeasurementControl::referenceOffsetDb() const
{
    return m_offsets.value(m_receiverKey(), ms::referenceOffsetDb.initial).toDouble();
}

void MeasurementControl::setReferenceOffsetDb(double db)
{
    db = ms::referenceOffsetDb.clamp(db);
    if (!setting::changed(referenceOffsetDb(), db, 1e-9))
        return;
    // An offset of 0 is no offset: the receiver reads dBFS again.
    if (db == 0.0)
        m_offsets.remove(m_receiverKey());
    else
        m_offsets.insert(m_receiverKey(), db);
    emit referenceOffsetChanged();
}

void MeasurementControl::setReferenceOffsets(const QVariantMap& offsets)
{
    if (offsets == m_offsets)
        return;
    m_offsets = offsets;
    emit referenceOffsetChanged();
}

QString MeasurementControl::levelUnit() const
{
    return m_offsets.contains(m_receiverKey()) ? QStringLiteral("dBm") : QStringLiteral("dBFS");
}

void MeasurementControl::followReceiver()
{
    const QString key = m_receiverKey();
    if (key == m_shownKey)
        return;
    m_shownKey = key;
    emit referenceOffsetChanged();
}

void MeasurementControl::show(const MeasurementResults& r)
{
    followReceiver();
    if (!m_enabled.load())
        return;
    const double offset = referenceOffsetDb();
    QVariantList peaks;
    for (const Peak& p : r.peaks.peaks())
        peaks.append(QVariantMap{{QStringLiteral("freqHz"), p.freqHz}, {QStringLiteral("level"), p.levelDb + offset}});
    m_results = {
        {QStringLiteral("unit"), levelUnit()},
        {QStringLiteral("channelValid"), r.channel.valid},
        {QStringLiteral("channelPower"), r.channel.powerDb + offset},
        {QStringLiteral("channelDensity"), r.channel.densityDbHz + offset},
        {QStringLiteral("channelLowHz"), r.channel.lowHz},
        {QStringLiteral("channelHighHz"), r.channel.highHz},
        {QStringLiteral("obwValid"), r.occupied.valid},
        {QStringLiteral("obwHz"), r.occupied.widthHz},
        {QStringLiteral("obwLowHz"), r.occupied.lowHz},
        {QStringLiteral("obwHighHz"), r.occupied.highHz},
        {QStringLiteral("xDbValid"), r.xDb.valid},
        {QStringLiteral("xDbHz"), r.xDb.widthHz},
        {QStringLiteral("xDbLowHz"), r.xDb.lowHz},
        {QStringLiteral("xDbHighHz"), r.xDb.highHz},
        {QStringLiteral("acpMain"), r.adjacent.mainDb + offset},
        {QStringLiteral("acpLower"), dbcList(r.adjacent.lowerDbc, r.adjacent.pairs)},
        {QStringLiteral("acpUpper"), dbcList(r.adjacent.upperDbc, r.adjacent.pairs)},
        {QStringLiteral("noiseValid"), r.noise.valid},
        {QStringLiteral("noiseFreqHz"), r.noise.freqHz},
        {QStringLiteral("noiseDensity"), r.noise.densityDbHz + offset},
        {QStringLiteral("peaks"), peaks},
    };
    emit resultsChanged();
}

bool MeasurementControl::exportTraceCsv(const QString& path) const
{
    const std::lock_guard lock(m_traceMutex);
    if (m_trace.empty())
        return false;
    std::ofstream out(path.toStdString());
    if (!out)
        return false;
    writeTraceCsv(out, {m_trace.data(), m_trace.size(), m_traceStartHz, m_traceBinHz, 1.0}, referenceOffsetDb(),
                  levelUnit().toLatin1().constData());
    return static_cast<bool>(out.flush());
}
