#pragma once

#include "demod/AudioBus.h"
#include "demod/BlockTimingWindow.h"
#include "demod/DemodBlockProcessor.h"
#include "demod/DemodDiagnostics.h"
#include "demod/DemodParams.h"
#include "demod/StatusCallback.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class DemodRing;

// The one demodulation channel: a thread of its own, at time-critical priority, that reads IQ
// from the demodulation ring and runs each block through the block processor into the audio
// bus. Settings arrive as whole records and are taken over between blocks; a reset is handed
// to the thread too, so it never overlaps a block.
class SingleDemodChannel {
public:
    // A read takes at least this much and at most that much, in whole IQ pairs.
    static constexpr size_t kMinReadBytes = 512;
    static constexpr size_t kMaxReadBytes = 16384;

    // Bytes to read when the ring holds `available`: none below the minimum, else as much as
    // one block takes, cut to whole pairs.
    static size_t readableBytes(size_t available);

    // Starts the thread. Throws std::invalid_argument for invalid audio filter settings and
    // std::system_error when the thread cannot be created.
    explicit SingleDemodChannel(const DemodParams& params,
                                DemodDiagnostics& diagnostics = DemodDiagnostics::standardOutput());
    ~SingleDemodChannel();
    SingleDemodChannel(const SingleDemodChannel&) = delete;
    SingleDemodChannel& operator=(const SingleDemodChannel&) = delete;

    // Ends the thread; later calls do nothing. From the channel's own thread it throws
    // std::system_error (resource deadlock).
    void stop();

    // Controller threads. Switching off empties the audio bus at once.
    void setParams(const DemodParams& params);
    DemodParams getParams() const;
    // Read by the acquisition without a lock: it feeds the ring only while this is set.
    bool enabledNow() const { return m_processor.enabled(); }

    // The ring may be null (no acquisition). Once this returns, the thread no longer reads a
    // ring set before, so the caller may destroy it.
    void setIqSource(DemodRing* ring, uint32_t rateHz, uint64_t centerHz);
    void setSourceRate(uint32_t rateHz);
    void setSourceCenter(uint64_t centerHz);
    // Restarts every stage, the rate control and the squelch, and empties the audio bus. Taken
    // over by the thread before the next block it reads.
    void reset();
    void addDriverInput(uint64_t pairs) { m_processor.addDriverInput(pairs); }
    void setStatusCallback(StatusCallback callback) { m_processor.setStatusCallback(std::move(callback)); }

    // The audio side: the bus the audio output reads, left slot always, right slot in stereo.
    AudioBus& audioBus() { return m_processor.bus(); }
    size_t leftSlot() const { return m_processor.leftSlot(); }
    size_t rightSlot() const { return m_processor.rightSlot(); }
    bool stereoActive() const { return isStereoActive(getParams()); }

    // Progress of the thread: blocks processed so far, and how many resets had been taken over
    // when the last of them was processed.
    uint64_t blocksProcessed() const { return m_blocks.load(std::memory_order_acquire); }
    uint64_t resetsBeforeLastBlock() const { return m_resetsBeforeLastBlock.load(std::memory_order_relaxed); }

private:
    void run();
    void applyPendingParams();
    void applyPendingReset();
    void processIqBlock(const int16_t* iq, size_t pairs, uint32_t inputRateHz, uint64_t centerHz);
    void sleepWhileRunning(int milliseconds);
    // After the audio restarted from an underrun, the IQ waiting in the ring would only
    // arrive late: the next block starts from fresh IQ.
    void dropBacklog();

    DemodDiagnostics& m_diag;

    mutable std::mutex m_paramsMutex;
    DemodParams m_pending;
    DemodParams m_active;
    std::atomic<bool> m_paramsDirty{false};

    // Held while the thread reads the ring, so that detaching waits for a read in progress.
    std::mutex m_sourceMutex;
    DemodRing* m_ring = nullptr;
    uint32_t m_sourceRateHz = 0;
    uint64_t m_sourceCenterHz = 0;

    std::atomic<uint64_t> m_resetsRequested{0};
    uint64_t m_resetsApplied = 0;

    DemodBlockProcessor m_processor;
    std::vector<int16_t> m_block;
    BlockTimingWindow m_timing;
    std::atomic<uint64_t> m_blocks{0};
    std::atomic<uint64_t> m_resetsBeforeLastBlock{0};

    std::atomic<bool> m_running{false};
    std::mutex m_idleMutex;
    std::condition_variable m_idle;
    std::thread m_thread;
};
