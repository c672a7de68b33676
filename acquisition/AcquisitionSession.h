#pragma once

#include "acquisition/DemodRing.h"
#include "acquisition/FftRing.h"
#include "acquisition/RxThread.h"
#include "demod/DemodDiagnostics.h"
#include "demod/SingleDemodChannel.h"
#include "engine/SettingsSnapshot.h"
#include "engine/SpectrumEngine.h"
#include "engine/SpectrumSettings.h"
#include "engine/SpectrumSink.h"
#include "engine/SpectrumStatus.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class IDevice;
class IqTap;

// Where a session's results go: frames and traces to their consumers (the SpectrumSink part),
// the RX thread's lines and status, and overload triggers. Called from the session's RX and
// spectrum threads; implementations pass things on without blocking them.
class AcquisitionOutput : public SpectrumSink {
public:
    // Each line the RX thread writes, as written.
    virtual void rxLine(const std::string& line) = 0;
    // Once a second, after the RX thread's lines.
    virtual void rxStatus(const RxStatus& status) = 0;
    // The FFT ring stayed nearly full over three reports: "ring=used/capacity".
    virtual void overloadTriggered(const std::string& trigger) = 0;
};

// What one acquisition run reads from: an open receiver, and its sample rate and centre as last
// applied.
struct AcquisitionRunSetup {
    IDevice* device = nullptr;
    uint32_t sampleRateHz = 0;
    uint64_t centerHz = 0;
};

// The signal chain below the user interface: the receiver's IQ goes through the RX thread into
// the FFT ring, whose spectrum thread hands frames, traces and status to the output, and into
// the demodulation ring, whose channel (a thread for the session's lifetime) feeds the audio
// bus. A run owns the two rings and the RX and spectrum threads; settings arrive as whole
// records and are taken over at the next block; what the threads derive comes back as status.
class AcquisitionSession {
public:
    // Starts the demodulation thread (see SingleDemodChannel for what it throws).
    explicit AcquisitionSession(AcquisitionOutput& output,
                                DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());
    // Ends a run, then the demodulation thread.
    ~AcquisitionSession();
    AcquisitionSession(const AcquisitionSession&) = delete;
    AcquisitionSession& operator=(const AcquisitionSession&) = delete;

    // The spectrum settings; a run takes a new record over at its next block, and sizes its FFT
    // ring and analyser by the record current when it starts.
    void setSpectrumSettings(const SpectrumSettings& settings) { m_spectrumSettings.publish(settings); }
    SpectrumSettings spectrumSettings() const { return m_spectrumSettings.latest(); }

    // Starts the receiver's stream and a run on it; false when the receiver does not start. True
    // at once while a run is going. The device must outlive the run.
    bool start(const AcquisitionRunSetup& setup);
    // A consumer of every run's IQ as read (see IqTap), or none. Set between runs; it must outlive
    // the runs it is set for.
    void setIqTap(IqTap* tap) { m_tap = tap; }
    // Ends a run: stops the stream (which wakes a read waiting for samples), joins the threads
    // and frees the rings.
    void stop();
    bool running() const { return m_running.load(); }

    // The last reports, kept after a run ends.
    SpectrumStatus spectrumStatus() const;
    RxStatus rxStatus() const;

    // Empties the demodulation ring of a run (its IQ is stale once demodulation comes back).
    // Not concurrent with start and stop.
    void clearDemodRing();
    // True when the run's FFT ring, and its demod ring while demodulation is on, can take
    // `bytes` more without a drop and without the spectrum thread skipping ahead: a source that
    // can wait (a recording) asks before each block so that everything is analysed. Called by
    // the run's RX thread.
    bool hasRoomFor(std::size_t bytes) const;
    // The rings of the current run, null between runs. Not concurrent with start and stop.
    const FftRing* fftRing() const { return m_fftRing.get(); }
    const DemodRing* demodRing() const { return m_demodRing.get(); }

    // What outlives runs: the analyser with what accumulates from trace to trace, and the
    // demodulation channel with its audio bus.
    SpectrumEngine& spectrum() { return m_spectrum; }
    SingleDemodChannel& demod() { return m_demod; }

private:
    // Keeps each spectrum status before passing everything on to the output.
    class SpectrumRelay;

    void runSpectrum(std::size_t blockBytes);
    RxCallbacks rxCallbacks();

    AcquisitionOutput& m_output;
    SettingsSnapshot<SpectrumSettings> m_spectrumSettings;
    SpectrumEngine m_spectrum;
    std::unique_ptr<SpectrumRelay> m_relay;

    mutable std::mutex m_statusMutex;
    SpectrumStatus m_spectrumStatus;
    RxStatus m_rxStatus;

    // What one run owns. The rings exist from its start until both threads are joined.
    std::atomic<bool> m_running{false};
    IDevice* m_device = nullptr;
    IqTap* m_tap = nullptr;
    std::atomic<uint64_t> m_fftRingLostBytes{0};
    std::unique_ptr<FftRing> m_fftRing;
    // The FFT ring's fill above which the spectrum thread skips ahead to catch up.
    std::size_t m_fftCatchUpBytes = 0;
    std::unique_ptr<DemodRing> m_demodRing;
    std::unique_ptr<RxThread> m_rxThread;
    std::thread m_spectrumThread;

    // Declared last, so destroyed first: its thread is gone before the rest.
    SingleDemodChannel m_demod;
};
