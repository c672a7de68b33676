#include "markers/MarkerModel.h"

#include "markers/MarkerTracking.h"

static_assert(MarkerModel::IdRole == 257 && MarkerModel::AutoPeakEnabledRole == 261);

MarkerModel::MarkerModel(QObject* parent) : QAbstractListModel(parent) {}

int MarkerModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_markers.size());
}

QVariant MarkerModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    std::lock_guard lock(m_mutex);
    if (static_cast<std::size_t>(index.row()) >= m_markers.size())
        return {};
    const Marker& m = m_markers[static_cast<std::size_t>(index.row())];
    switch (role) {
    case IdRole:
        return m.id;
    case FreqHzRole:
        return m.freqHz;
    case AmpDbRole:
        return m.ampDb;
    case ColorRole:
        return m.color;
    case AutoPeakEnabledRole:
        return m.autoPeakEnabled;
    default:
        return {};
    }
}

QHash<int, QByteArray> MarkerModel::roleNames() const
{
    return {{IdRole, "id"},
            {FreqHzRole, "freqHz"},
            {AmpDbRole, "ampDb"},
            {ColorRole, "color"},
            {AutoPeakEnabledRole, "autoPeakEnabled"}};
}

QVariantMap MarkerModel::get(int row) const
{
    QVariantMap values;
    const QModelIndex at = index(row, 0);
    if (!at.isValid())
        return values;
    const QHash<int, QByteArray> names = roleNames();
    for (auto role = names.cbegin(); role != names.cend(); ++role)
        values.insert(QString::fromLatin1(role.value()), data(at, role.key()));
    return values;
}

int MarkerModel::rowOf(int id) const
{
    for (std::size_t row = 0; row < m_markers.size(); ++row) {
        if (m_markers[row].id == id)
            return static_cast<int>(row);
    }
    return -1;
}

// Indexes are made directly: index() would ask rowCount, which takes the mutex held here.
template <typename Change>
bool MarkerModel::changeMarker(int id, const QList<int>& roles, Change change)
{
    QModelIndex changed;
    {
        std::lock_guard lock(m_mutex);
        const int row = rowOf(id);
        if (row < 0)
            return false;
        change(m_markers[static_cast<std::size_t>(row)]);
        changed = createIndex(row, 0);
    }
    emit dataChanged(changed, changed, roles);
    return true;
}

void MarkerModel::addMarker(int id, double freqHz, const QString& color)
{
    const bool existed = changeMarker(id, {}, [&](Marker& m) {
        m.freqHz = freqHz;
        m.color = color;
    });
    if (existed)
        return;
    int count = 0;
    {
        std::lock_guard lock(m_mutex);
        count = static_cast<int>(m_markers.size());
    }
    beginInsertRows(QModelIndex(), count, count);
    {
        std::lock_guard lock(m_mutex);
        m_markers.push_back(Marker{.id = id, .freqHz = freqHz, .color = color});
    }
    endInsertRows();
}

void MarkerModel::removeMarker(int id)
{
    int row = -1;
    {
        std::lock_guard lock(m_mutex);
        row = rowOf(id);
    }
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    {
        std::lock_guard lock(m_mutex);
        m_markers.erase(m_markers.begin() + row);
    }
    endRemoveRows();
}

// The value is stored and reported even when it is the one already there.
void MarkerModel::setMarkerFreq(int id, double hz)
{
    changeMarker(id, {FreqHzRole}, [hz](Marker& m) { m.freqHz = hz; });
}

void MarkerModel::setMarkerAutoPeak(int id, bool enabled)
{
    changeMarker(id, {AutoPeakEnabledRole}, [enabled](Marker& m) { m.autoPeakEnabled = enabled; });
}

void MarkerModel::setMarkerColor(int id, const QString& color)
{
    changeMarker(id, {ColorRole}, [&color](Marker& m) { m.color = color; });
}

void MarkerModel::markerToPeak(int id)
{
    setMarkerFreq(id, lastPeakFreqHz());
}

void MarkerModel::markerToCenter(int id)
{
    setMarkerFreq(id, lastCenterFreqHz());
}

void MarkerModel::jumpCenterToMarker(int id)
{
    double freqHz = 0.0;
    {
        std::lock_guard lock(m_mutex);
        if (const int row = rowOf(id); row >= 0)
            freqHz = m_markers[static_cast<std::size_t>(row)].freqHz;
    }
    if (freqHz > 0.0)
        emit requestCenterTo(freqHz);
}

std::vector<Marker> MarkerModel::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_markers;
}

double MarkerModel::lastPeakFreqHz() const
{
    std::lock_guard lock(m_mutex);
    return m_lastPeakFreqHz;
}

double MarkerModel::lastCenterFreqHz() const
{
    std::lock_guard lock(m_mutex);
    return m_lastCenterFreqHz;
}

void MarkerModel::postFrameUpdate(MarkerFrameUpdate update)
{
    if (!m_frameUpdates.put(std::move(update)))
        return;
    // The model is the call's context: Qt drops the call if the model is destroyed first.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (const std::optional<MarkerFrameUpdate> newest = m_frameUpdates.take())
                applyFrameUpdate(*newest);
        },
        Qt::QueuedConnection);
}

void MarkerModel::applyFrameUpdate(const MarkerFrameUpdate& update)
{
    std::vector<int> changedRows;
    {
        std::lock_guard lock(m_mutex);
        m_lastPeakFreqHz = update.peakFreqHz;
        m_lastCenterFreqHz = update.centerHz;
        for (const Marker& read : update.markers) {
            const int row = rowOf(read.id);
            if (row < 0)
                continue;
            Marker& m = m_markers[static_cast<std::size_t>(row)];
            marker_tracking::Reading stored{m.freqHz, m.ampDb, m.autoPeakEnabled};
            if (!marker_tracking::merge(stored, {read.freqHz, read.ampDb, read.autoPeakEnabled}))
                continue;
            m.freqHz = stored.freqHz;
            m.ampDb = stored.ampDb;
            changedRows.push_back(row);
        }
    }
    for (const int row : changedRows) {
        const QModelIndex changed = createIndex(row, 0);
        emit dataChanged(changed, changed, {FreqHzRole, AmpDbRole});
    }
}
