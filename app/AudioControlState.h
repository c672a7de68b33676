#pragma once

#include "audio/AudioBackend.h"
#include "audio/AudioSettingTable.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

// What a start of the audio output has to tell the user interface, in order, and the failure
// that ended it, if one did.
struct AudioNotices {
    bool deviceNameChanged = false;
    QStringList lines;
    QString error;

    void fail(const QString& line)
    {
        lines << line;
        error = line;
    }
};

// The controller's audio output: the user's settings, the counts the spectrum thread reports,
// the backend, and the lock that keeps one start, stop or driver query at a time. Settings are
// written by the GUI thread and read by a start on the device worker, hence atomic; the device
// name is also written by a start that picks the first driver, so it has a lock of its own.
struct AudioControlState {
    // Between closing the output and opening it again after a change of its settings.
    static constexpr std::chrono::milliseconds kRestartPause{50};

    std::atomic<bool> enabled{false};
    std::atomic<int> bufferFrames{audio_settings::bufferFrames.initial};
    std::atomic<bool> testTone{false};
    std::atomic<int> outputChannel{0};
    std::atomic<int> outputChannelLeft{-1};
    std::atomic<int> outputChannelRight{-1};

    // Buffers the backend could not fill from the audio bus; the driver's thread adds to it.
    std::atomic<uint64_t> underrunCount{0};
    // Reported beside the underruns; nothing in the audio path raises it.
    std::atomic<uint64_t> overrunCount{0};

    // Serialises startAudio and stopAudio with each other and with the queries, so a query never
    // loads a driver while a start or stop on the device worker is under way. Not recursive.
    std::mutex mutex;
    std::unique_ptr<AudioBackend> backend;

    // The backend's last warning, so that a failed open can say why in the window; noted from
    // whichever thread the backend reports on.
    void noteBackendWarning(const std::string& line)
    {
        const std::lock_guard lock(m_warningMutex);
        m_backendWarning = line;
    }
    std::string takeBackendWarning()
    {
        const std::lock_guard lock(m_warningMutex);
        return std::exchange(m_backendWarning, {});
    }

    QString deviceName() const
    {
        const std::lock_guard lock(m_nameMutex);
        return m_deviceName;
    }
    // True when the name changed.
    bool storeDeviceName(const QString& name)
    {
        const std::lock_guard lock(m_nameMutex);
        if (name == m_deviceName)
            return false;
        m_deviceName = name;
        return true;
    }

private:
    std::mutex m_warningMutex;
    std::string m_backendWarning;
    mutable std::mutex m_nameMutex;
    QString m_deviceName;
};
