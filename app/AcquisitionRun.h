#pragma once

#include "acquisition/DemodRing.h"
#include "acquisition/FftRing.h"
#include "acquisition/RxThread.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

// One acquisition run of the controller: its sizes, the two rings and the two threads that fill
// and drain them. The rings exist from the start until both threads are joined.
struct AcquisitionRun {
    uint64_t fftFrameBytes = 0;
    uint64_t readBlockBytes = 0;
    std::atomic<uint64_t> fftRingLostBytes{0};
    std::unique_ptr<FftRing> fftRing;
    std::unique_ptr<DemodRing> demodRing;
    std::unique_ptr<RxThread> rxThread;
    std::thread spectrumThread;
};
