#pragma once

#include "markers/Marker.h"
#include "markers/MarkerFrameUpdate.h"
#include "platform/LatestHandoff.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QVariantMap>

#include <mutex>
#include <vector>

// The user's markers as a list model for the interface, in the order they were added. Every
// change happens on the model's own thread; the spectrum thread only takes snapshots and
// posts the levels it read back. The mutex guards the list against those snapshots and is
// never held while a model signal goes out or another object is called.
class MarkerModel : public QAbstractListModel {
    Q_OBJECT

public:
    // Views read the roles by their names (roleNames, get).
    enum Roles {
        IdRole = Qt::UserRole + 1,
        FreqHzRole,
        AmpDbRole,
        ColorRole,
        AutoPeakEnabledRole,
    };

    explicit MarkerModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;
    // Row `row` as a map from role name to value; empty for a row that is not there.
    Q_INVOKABLE QVariantMap get(int row) const;

    // Adds a marker, or moves and recolours the one with this id.
    Q_INVOKABLE void addMarker(int id, double freqHz, const QString& color);
    Q_INVOKABLE void removeMarker(int id);
    Q_INVOKABLE void setMarkerFreq(int id, double hz);
    Q_INVOKABLE void setMarkerAutoPeak(int id, bool enabled);
    Q_INVOKABLE void setMarkerColor(int id, const QString& color);
    // To the peak or the centre of the latest applied trace (0 Hz before the first).
    Q_INVOKABLE void markerToPeak(int id);
    Q_INVOKABLE void markerToCenter(int id);
    // Asks for the receiver to be centred on the marker; the marker itself stays.
    Q_INVOKABLE void jumpCenterToMarker(int id);

    // A copy of every marker in row order; safe from any thread.
    std::vector<Marker> snapshot() const;
    double lastPeakFreqHz() const;
    double lastCenterFreqHz() const;

    // From any thread: the update is applied on the model's thread, unless the model is gone
    // by then; one that a newer update overtakes before then is passed by.
    void postFrameUpdate(MarkerFrameUpdate update);
    // On the model's thread: stores the new levels (and auto-peak positions) and reports the
    // rows that changed.
    void applyFrameUpdate(const MarkerFrameUpdate& update);

signals:
    void requestCenterTo(double freqHz);

private:
    // Caller holds the mutex; -1 when absent.
    int rowOf(int id) const;
    // Changes the marker id under the mutex, then reports roles (all of them when empty);
    // false when there is no such marker.
    template <typename Change>
    bool changeMarker(int id, const QList<int>& roles, Change change);

    mutable std::mutex m_mutex;
    std::vector<Marker> m_markers;
    double m_lastPeakFreqHz = 0.0;
    double m_lastCenterFreqHz = 0.0;
    LatestHandoff<MarkerFrameUpdate> m_frameUpdates;
};
