#pragma once

#include "app/ApplyRequest.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A search for receivers (its result comes back through the handler's own channel).
struct EnumerationRequest {};

// Runs device work off the GUI thread. Only the latest request waits: a newer one replaces an
// older one that has not started yet, so a burst of requests costs at most two device passes.
template <typename Request>
class LatestRequestWorker {
public:
    using Handler = std::function<void(const Request&)>;

    // Starts the worker thread, named threadName; every request taken from the queue goes to
    // handler.
    LatestRequestWorker(Handler handler, const char* threadName);
    // Drops a request still pending and joins the thread (after the one running, if any).
    ~LatestRequestWorker();

    LatestRequestWorker(const LatestRequestWorker&) = delete;
    LatestRequestWorker& operator=(const LatestRequestWorker&) = delete;

    // Never blocks for longer than the queue's lock is held.
    void post(const Request& request);
    // Drops a pending request and lets no later one start; the pass running, if any, finishes.
    // Does not wait, so it can be called before waiting for what that pass holds.
    void requestStop();

private:
    void run();

    Handler m_handler;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_pending = false;
    Request m_request{};
    std::thread m_thread;
};

// Retunes: stop acquisition, apply, restart.
class DeviceWorker : public LatestRequestWorker<ApplyRequest> {
public:
    explicit DeviceWorker(Handler handler) : LatestRequestWorker(std::move(handler), "rtsa-worker") {}
};

// Searches for receivers, which across the network can take seconds.
class EnumerationWorker : public LatestRequestWorker<EnumerationRequest> {
public:
    explicit EnumerationWorker(Handler handler) : LatestRequestWorker(std::move(handler), "rtsa-enum") {}
};
