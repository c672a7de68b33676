#pragma once

#include "app/ApplyRequest.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Runs retunes off the GUI thread. Only the latest request waits: a newer one replaces an
// older one that has not started yet, so a burst of retunes costs at most two device passes.
class DeviceWorker {
public:
    using Handler = std::function<void(const ApplyRequest&)>;

    // Starts the worker thread; every request taken from the queue goes to handler.
    explicit DeviceWorker(Handler handler);
    // Drops a request still pending and joins the thread (after the one running, if any).
    ~DeviceWorker();

    DeviceWorker(const DeviceWorker&) = delete;
    DeviceWorker& operator=(const DeviceWorker&) = delete;

    // Never blocks for longer than the queue's lock is held.
    void post(const ApplyRequest& request);
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
    ApplyRequest m_request;
    std::thread m_thread;
};
