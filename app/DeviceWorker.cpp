#include "app/DeviceWorker.h"

#include "platform/ThreadName.h"

#include <utility>

template <typename Request>
LatestRequestWorker<Request>::LatestRequestWorker(Handler handler, const char* threadName)
    : m_handler(std::move(handler))
{
    m_thread = std::thread([this, threadName] {
        nameCurrentThread(threadName);
        run();
    });
}

template <typename Request>
LatestRequestWorker<Request>::~LatestRequestWorker()
{
    requestStop();
    m_thread.join();
}

template <typename Request>
void LatestRequestWorker<Request>::requestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_pending = false;
    }
    m_wake.notify_all();
}

template <typename Request>
void LatestRequestWorker<Request>::post(const Request& request)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stop)
            return;
        m_request = request;
        m_pending = true;
    }
    m_wake.notify_all();
}

template <typename Request>
void LatestRequestWorker<Request>::run()
{
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending; });
            if (m_stop)
                return;
            request = m_request;
            m_pending = false;
        }
        // Outside the lock: a slow device never holds up the GUI thread's next post.
        m_handler(request);
    }
}

template class LatestRequestWorker<ApplyRequest>;
template class LatestRequestWorker<EnumerationRequest>;
