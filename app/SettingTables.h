#pragma once

#include "app/LogLevel.h"
#include "display/DisplaySettingTable.h"
#include "engine/SpectrumSettingTable.h"

#include <QObject>
#include <QVariantMap>

// The settings tables as the user interface reads them (the QML singleton "Settings"): one map
// per subsystem from each setting's name to its {initial, min, max, step}, the choices by name,
// and the rules the panels share with the controller.
class SettingTables : public QObject {
    Q_OBJECT
    Q_PROPERTY(QVariant spectrum READ spectrum CONSTANT)
    Q_PROPERTY(QVariant display READ display CONSTANT)
    Q_PROPERTY(QVariant demod READ demod CONSTANT)
    Q_PROPERTY(QVariant audio READ audio CONSTANT)
    Q_PROPERTY(QVariant receiver READ receiver CONSTANT)
    Q_PROPERTY(QVariant measure READ measure CONSTANT)

public:
    enum Window {
        Hann = static_cast<int>(WindowType::Hann),
        Hamming = static_cast<int>(WindowType::Hamming),
        Blackman = static_cast<int>(WindowType::Blackman),
    };
    Q_ENUM(Window)
    enum Detector {
        Sample = static_cast<int>(DetectorMode::Sample),
        Max = static_cast<int>(DetectorMode::Max),
        Min = static_cast<int>(DetectorMode::Min),
        Avg = static_cast<int>(DetectorMode::Avg),
        Rms = static_cast<int>(DetectorMode::Rms),
    };
    Q_ENUM(Detector)
    enum DensitySources {
        EverySpectrum = static_cast<int>(DensitySource::EverySpectrum),
        DisplayTrace = static_cast<int>(DensitySource::DisplayTrace),
    };
    Q_ENUM(DensitySources)
    enum WaterfallColours {
        Turbo = static_cast<int>(WaterfallPalette::Turbo),
        Inferno = static_cast<int>(WaterfallPalette::Inferno),
    };
    Q_ENUM(WaterfallColours)
    enum DensityColours {
        Classic = static_cast<int>(DensityPalette::Classic),
        Rainbow = static_cast<int>(DensityPalette::Rainbow),
        Amber = static_cast<int>(DensityPalette::Amber),
    };
    Q_ENUM(DensityColours)
    enum LogLevels {
        Debug = static_cast<int>(LogLevel::Debug),
        Info = static_cast<int>(LogLevel::Info),
        Warning = static_cast<int>(LogLevel::Warning),
        Error = static_cast<int>(LogLevel::Error),
    };
    Q_ENUM(LogLevels)

    explicit SettingTables(QObject* parent = nullptr);

    // Makes `tables` the module's "Settings"; it must outlive every engine that uses it.
    static void registerForQml(SettingTables& tables);

    QVariant spectrum() const { return m_spectrum; }
    QVariant display() const { return m_display; }
    QVariant demod() const { return m_demod; }
    QVariant audio() const { return m_audio; }
    QVariant receiver() const { return m_receiver; }
    QVariant measure() const { return m_measure; }

    // Whether FM stereo can be decoded at this deviation.
    Q_INVOKABLE bool isStereoDeviation(double hz) const;

private:
    QVariantMap m_spectrum;
    QVariantMap m_display;
    QVariantMap m_demod;
    QVariantMap m_audio;
    QVariantMap m_receiver;
    QVariantMap m_measure;
};
