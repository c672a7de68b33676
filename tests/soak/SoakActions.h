#pragma once

#include "tests/soak/SoakWatch.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <vector>

// What a user does to the analyser, through the controller the window shows: start and stop,
// retunes, rates, FFT sizes, density and waterfall, demodulation and stereo, audio buffer sizes
// and devices, markers. Values are drawn from a seeded generator, and the actions go by the state
// the probe asked for rather than by what the analyser reports, so the sequence depends on the
// seed alone and not on when the analyser got where it was sent.
class SoakActions {
public:
    using Say = std::function<void(const QString&)>;

    // say tells each action as it is taken, fail what went wrong.
    SoakActions(QObject* controller, SoakWatch& watch, uint64_t seed, Say say, Say fail);

    // Connects the receiver, routes audio to the WAV writer and starts acquisition.
    bool configure();
    // One step of the tour of every setting that opens the run; false once the tour is over.
    bool warmUpStep();
    void randomAction();
    // How long to wait before the next action.
    int randomWaitMs();

    bool start();
    // Stops acquisition; wanted says whether the probe still means it to run afterwards.
    void stop(bool wanted);
    bool wantRunning() const { return m_wantRunning; }

private:
    template <typename T>
    T pick(const std::vector<T>& choices)
    {
        return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(m_random)];
    }
    double uniform(double from, double to) { return std::uniform_real_distribution<double>(from, to)(m_random); }

    void set(const char* property, const QVariant& value);
    void toggle(const char* property);
    void retune(double centerMHz, double rateMHz);
    double frequencyInView();
    void expectDemodulation();
    void planWarmUp();

    void startOrStop();
    void retuneSomewhere();
    void setRate(double rateMHz);
    void changeResolution();
    void setFftSize(int size);
    void switchDemodulation();
    void setBufferSize(int frames);
    void changeAudioDevice();
    void setAudioDevice(const QString& device);
    void changeMarkers();
    void addMarker();
    void removeMarker(int id);

    QObject* m_controller;
    SoakWatch& m_watch;
    std::mt19937_64 m_random;
    Say m_say;
    Say m_fail;
    QStringList m_audioDevices;

    bool m_wantRunning = false;
    bool m_demodOn = false;
    double m_centerMHz = 1000.0;
    double m_rateMHz = 20.0;
    std::set<int> m_markers;
    std::vector<std::function<void()>> m_warmUp;
    std::size_t m_warmUpDone = 0;
};
