#pragma once

#include "recording/IqSpool.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

class WavWriter;

// The file side of the WAV driver. The paced thread hands over each buffer's frames without
// waiting, and a thread of its own writes them out and keeps the header current. A write to the
// page cache waits for the disk for milliseconds now and then; a sound card's clock does not, so
// the pace must not either: the reads that follow a late buffer come in a burst and drain the
// audio the player keeps ahead of the device.
class WavFileFeed {
public:
    // Memory for `capacityBytes` of frames taken and touched here.
    WavFileFeed(std::unique_ptr<WavWriter> writer, std::size_t frameBytes, std::size_t capacityBytes);
    // Writes out everything handed over, patches the header and joins the thread.
    ~WavFileFeed();
    WavFileFeed(const WavFileFeed&) = delete;
    WavFileFeed& operator=(const WavFileFeed&) = delete;

    // Paced thread. Frames that find no room (the disk held up for the whole buffer) are left out
    // of the file and counted.
    void push(const unsigned char* frames, std::size_t bytes);
    uint64_t droppedFrames() const { return m_spool.droppedSamples(); }

private:
    void run();
    void drain();

    std::unique_ptr<WavWriter> m_writer;
    IqSpool m_spool;
    std::atomic<bool> m_running{true};
    std::thread m_thread;
};
