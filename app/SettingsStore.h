#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

class Logger;
class MarkerModel;

// The settings kept between runs, in one INI file: named properties of the objects that hold
// them, group by group, and the markers. A file that cannot be read leaves every setting at its
// default and says so in one log line; a kept value that does not fit its property is passed by.
class SettingsStore {
public:
    SettingsStore(const QString& path, Logger& log);

    // The user's own file, in the configuration folder (~/.config/NorvaleRTSA/NorvaleRTSA.conf).
    static QString userFile();

    // Puts the kept values of `properties` back on `object`, in the order given (a setting that
    // is only accepted beside another comes after it).
    void restore(QObject& object, const QString& group, const QStringList& properties) const;
    void save(const QObject& object, const QString& group, const QStringList& properties);

    void restoreMarkers(MarkerModel& model) const;
    void saveMarkers(const MarkerModel& model);

    // Writes what was saved to the file.
    void sync();

private:
    // Reading an array moves the settings' cursor, even to restore.
    mutable QSettings m_settings;
    bool m_readable = true;
};
