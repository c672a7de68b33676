// The controller's marker surface: forwarding to the marker model, the markers list for
// bindings, and the marker the demodulator follows.
#include "app/RtsaController.h"
#include "app/SettingUpdate.h"

#include <QVariantMap>

QVariantList RtsaController::markers() const
{
    QVariantList list;
    for (const Marker& m : m_markerModel.snapshot()) {
        list.append(QVariantMap{{QStringLiteral("id"), m.id},
                                {QStringLiteral("freqHz"), m.freqHz},
                                {QStringLiteral("ampDb"), m.ampDb},
                                {QStringLiteral("color"), m.color},
                                {QStringLiteral("autoPeakEnabled"), m.autoPeakEnabled}});
    }
    return list;
}

void RtsaController::addMarker(int id, double freqHz, const QString& color)
{
    m_markerModel.addMarker(id, freqHz, color);
    emit markersChanged();
}

void RtsaController::removeMarker(int id)
{
    m_markerModel.removeMarker(id);
    emit markersChanged();
}

void RtsaController::setMarkerFreq(int id, double hz)
{
    m_markerModel.setMarkerFreq(id, hz);
    emit markersChanged();
}

void RtsaController::setMarkerAutoPeak(int id, bool enabled)
{
    m_markerModel.setMarkerAutoPeak(id, enabled);
    emit markersChanged();
}

void RtsaController::setMarkerColor(int id, const QString& color)
{
    m_markerModel.setMarkerColor(id, color);
    emit markersChanged();
}

void RtsaController::markerToPeak(int id)
{
    m_markerModel.markerToPeak(id);
}

void RtsaController::markerToCenter(int id)
{
    m_markerModel.markerToCenter(id);
}

void RtsaController::jumpCenterToMarker(int id)
{
    m_markerModel.jumpCenterToMarker(id);
}

void RtsaController::setDemodMarker(int id, bool enabled)
{
    setting::update(this, m_demodMarkerId, enabled ? id : -1, 0.0, &RtsaController::demodMarkerIdChanged);
}
