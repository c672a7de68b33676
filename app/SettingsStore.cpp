#include "app/SettingsStore.h"

#include "app/Logger.h"
#include "markers/MarkerModel.h"

#include <QColor>
#include <QDir>
#include <QMetaType>
#include <QStandardPaths>
#include <QVariant>

#include <cmath>

namespace {

QString problemText(QSettings::Status status)
{
    return status == QSettings::AccessError ? QStringLiteral("not readable") : QStringLiteral("not a settings file");
}

const QString kMarkers = QStringLiteral("markers");

} // namespace

SettingsStore::SettingsStore(const QString& path, Logger& log) : m_settings(path, QSettings::IniFormat)
{
    // An unreadable file reads as empty; asking for a key makes the status known.
    m_settings.allKeys();
    if (m_settings.status() != QSettings::NoError) {
        m_readable = false;
        log.warning(QStringLiteral("Settings: %1 is %2, starting from the defaults")
                        .arg(QDir::toNativeSeparators(path), problemText(m_settings.status())));
    }
}

QString SettingsStore::userFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/NorvaleRTSA/NorvaleRTSA.conf");
}

void SettingsStore::restore(QObject& object, const QString& group, const QStringList& properties) const
{
    if (!m_readable)
        return;
    for (const QString& name : properties) {
        const QString key = group + u'/' + name;
        if (!m_settings.contains(key))
            continue;
        const QByteArray property = name.toLatin1();
        QVariant value = m_settings.value(key);
        const QMetaType type = object.property(property.constData()).metaType();
        if (!type.isValid() || !value.convert(type))
            continue;
        object.setProperty(property.constData(), value);
    }
}

void SettingsStore::save(const QObject& object, const QString& group, const QStringList& properties)
{
    for (const QString& name : properties) {
        const QVariant value = object.property(name.toLatin1().constData());
        if (value.isValid())
            m_settings.setValue(group + u'/' + name, value);
    }
}

void SettingsStore::restoreMarkers(MarkerModel& model) const
{
    if (!m_readable)
        return;
    QSettings& settings = m_settings;
    const int count = settings.beginReadArray(kMarkers);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        bool idOk = false;
        bool freqOk = false;
        const int id = settings.value(QStringLiteral("id")).toInt(&idOk);
        const double freqHz = settings.value(QStringLiteral("freqHz")).toDouble(&freqOk);
        const QString color = settings.value(QStringLiteral("color")).toString();
        if (!idOk || id < 0 || !freqOk || !std::isfinite(freqHz) || freqHz <= 0 || !QColor::isValidColorName(color))
            continue;
        model.addMarker(id, freqHz, color);
        if (settings.value(QStringLiteral("autoPeakEnabled")).toBool())
            model.setMarkerAutoPeak(id, true);
    }
    settings.endArray();
}

void SettingsStore::saveMarkers(const MarkerModel& model)
{
    m_settings.remove(kMarkers);
    const int rows = model.rowCount();
    m_settings.beginWriteArray(kMarkers, rows);
    for (int row = 0; row < rows; ++row) {
        const QVariantMap marker = model.get(row);
        m_settings.setArrayIndex(row);
        m_settings.setValue(QStringLiteral("id"), marker.value(QStringLiteral("id")).toInt());
        m_settings.setValue(QStringLiteral("freqHz"), marker.value(QStringLiteral("freqHz")).toDouble());
        m_settings.setValue(QStringLiteral("color"), marker.value(QStringLiteral("color")).toString());
        m_settings.setValue(QStringLiteral("autoPeakEnabled"), marker.value(QStringLiteral("autoPeakEnabled")).toBool());
    }
    m_settings.endArray();
}

void SettingsStore::sync()
{
    m_settings.sync();
}
