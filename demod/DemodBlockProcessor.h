#pragma once

#include "demod/AudioBus.h"
#include "demod/BusFillControl.h"
#include "demod/DemodChain.h"
#include "demod/DemodDiagnostics.h"
#include "demod/DemodParams.h"
#include "demod/StatusCallback.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>

// The channel's block step, from one block of int16 IQ to the audio bus: the demodulation
// chain, a throttle that drops whole blocks while the bus runs too full, the fill control's
// cut of an overfull bus back to its target, and the statistics reported every 2 s (console
// lines through the diagnostics sink, one status line through the status callback). Single-threaded apart from enabling, the status callback and the driver
// input counter, which other threads may touch at any time.
class DemodBlockProcessor {
public:
    // 50 ms of audio per slot.
    static constexpr uint64_t kBusCapacity = 2400;
    // The throttle drops whole blocks from this fill until the fill is back at its target.
    static constexpr double kThrottleOnFill = 0.85;
    static constexpr int64_t kReportPeriodNs = 2'000'000'000;

    // Throws std::invalid_argument when the audio filter settings are invalid.
    DemodBlockProcessor(const DemodParams& params, DemodDiagnostics& diagnostics);

    // Takes over new settings at a block boundary, without clearing the signal path.
    void applyParams(const DemodParams& params);
    // Restarts every stage, the rate and fill control, and empties the bus.
    void reset();

    // Any thread. Switching off empties the bus; a block in progress then writes nothing.
    void setEnabled(bool enabled);
    bool enabled() const { return m_enabled.load(); }

    // One block of `pairs` interleaved (I, Q) pairs received at inputRateHz around centerHz,
    // arriving at nowNs (monotonic). Nothing happens while disabled.
    void processIqBlock(const int16_t* iq, size_t pairs, double inputRateHz, double centerHz, int64_t nowNs);

    // Any thread: IQ pairs the acquisition placed into the demodulation ring.
    void addDriverInput(uint64_t pairs) { m_driverInputPairs.fetch_add(pairs, std::memory_order_relaxed); }
    // Any thread; an empty callback drops the status line.
    void setStatusCallback(StatusCallback callback);

    AudioBus& bus() { return m_bus; }
    size_t leftSlot() const { return m_leftSlot; }
    size_t rightSlot() const { return m_rightSlot; }
    const DemodChain& chain() const { return m_chain; }
    // Times every stage of the chain (a few clock reads per block), for the benchmark.
    void setProfiling(bool on) { m_chain.setProfiling(on); }
    bool throttling() const { return m_throttling; }
    const BusFillControl& fillControl() const { return m_fillControl; }
    // Whether the bus restarted after an underrun since the last call: the IQ waiting
    // upstream is then older than the audio about to play, and better dropped.
    bool takeRealigned() { return std::exchange(m_realigned, false); }

private:
    // Per report period.
    struct Statistics {
        uint64_t ncoIn = 0, ncoOut = 0, cic = 0, preFir = 0, polyFir = 0, demod = 0, asrc = 0;
        double busyUs = 0.0;
        uint64_t produced = 0, written = 0, skipped = 0;
        double writePathMaxUs = 0.0;
    };

    void count(const DemodChain::Counts& counts, double inputRateHz);
    // Drops or writes the block's audio; returns the samples the left slot accepted.
    size_t throttleOrWrite(size_t samples, double fill, uint64_t request);
    void reportIfDue(int64_t nowNs, double fill);

    DemodDiagnostics& m_diag;
    DemodChain m_chain;
    AudioBus m_bus{kBusCapacity};
    size_t m_leftSlot;
    size_t m_rightSlot;

    std::atomic<bool> m_enabled;
    // Held while a block writes to the bus and while the bus is emptied on disabling.
    std::mutex m_writeMutex;

    BusFillControl m_fillControl{kBusCapacity};
    bool m_realigned = false;
    bool m_throttling = false;
    uint64_t m_droppedWhileThrottled = 0;
    bool m_ncoReportPending = false;
    bool m_marginReportPending = false;
    double m_ncoOffsetHz = 0.0;
    double m_ncoInputRateHz = 0.0;
    Statistics m_stats;
    int64_t m_lastReportNs = 0;
    bool m_reportStarted = false;
    std::atomic<uint64_t> m_driverInputPairs{0};

    std::mutex m_callbackMutex;
    StatusCallback m_statusCallback;
};
