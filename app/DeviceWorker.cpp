#include "app/DeviceWorker.h"

#include "platform/ThreadName.h"

#include <utility>

DeviceWorker::DeviceWorker(Handler handler) : m_handler(std::move(handler))
{
    m_thread = std::thread([this] {
        nameCurrentThread("rtsa-worker");
        run();
    });
}

DeviceWorker::~DeviceWorker()
{
    requestStop();
    m_thread.join();
}

void DeviceWorker::requestStop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_pending = false;
    }
    m_wake.notify_all();
}

void DeviceWorker::post(const ApplyRequest& request)
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

void DeviceWorker::run()
{
    for (;;) {
        ApplyRequest request;
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
