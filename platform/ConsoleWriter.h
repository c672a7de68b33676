#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Text for standard output and standard error, written by a thread of its own in the order it
// was posted. Writing to a terminal, pipe or file can wait for milliseconds (a file system
// behind on its writeback, a reader that does not read); the threads that log include the
// demodulation thread at real-time priority, which must not wait with them. Posting holds a
// lock only to append.
class ConsoleWriter {
public:
    ConsoleWriter();
    // Writes out everything posted, then joins the thread.
    ~ConsoleWriter();
    ConsoleWriter(const ConsoleWriter&) = delete;
    ConsoleWriter& operator=(const ConsoleWriter&) = delete;

    void post(std::FILE* stream, std::string text);

private:
    struct Pending {
        std::FILE* stream;
        std::string text;
    };

    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Pending> m_pending;
    bool m_stopping = false;
    std::thread m_thread;
};
