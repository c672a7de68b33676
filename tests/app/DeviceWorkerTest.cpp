#include "app/DeviceWorker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// A handler that records every request and can hold the worker inside a request.
class RecordingHandler {
public:
    void operator()(const ApplyRequest& request)
    {
        std::unique_lock lock(m_mutex);
        m_applied.push_back(request.freqMHz);
        m_entered.notify_all();
        m_release.wait(lock, [this] { return !m_hold; });
    }

    void hold()
    {
        std::lock_guard lock(m_mutex);
        m_hold = true;
    }
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_hold = false;
        }
        m_release.notify_all();
    }
    void waitForCount(std::size_t n)
    {
        std::unique_lock lock(m_mutex);
        ASSERT_TRUE(m_entered.wait_for(lock, 10s, [&] { return m_applied.size() >= n; }));
    }
    std::vector<double> applied()
    {
        std::lock_guard lock(m_mutex);
        return m_applied;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_entered;
    std::condition_variable m_release;
    bool m_hold = false;
    std::vector<double> m_applied;
};

ApplyRequest at(double freqMHz)
{
    ApplyRequest r;
    r.freqMHz = freqMHz;
    return r;
}

} // namespace

TEST(DeviceWorker, BurstWhileBusyAppliesOnlyTheLatest)
{
    RecordingHandler handler;
    {
        DeviceWorker worker([&](const ApplyRequest& r) { handler(r); });
        handler.hold();
        worker.post(at(100.0));
        handler.waitForCount(1);
        worker.post(at(101.0));
        worker.post(at(102.0));
        worker.post(at(103.0));
        handler.release();
        handler.waitForCount(2);
    }
    EXPECT_EQ(handler.applied(), (std::vector<double>{100.0, 103.0}));
}

TEST(DeviceWorker, TwoQuickPostsApplyAtMostTwiceEndingWithTheLatest)
{
    for (int round = 0; round < 50; ++round) {
        RecordingHandler handler;
        {
            DeviceWorker worker([&](const ApplyRequest& r) { handler(r); });
            worker.post(at(1.0));
            worker.post(at(2.0));
            handler.waitForCount(1);
            if (handler.applied().back() != 2.0)
                handler.waitForCount(2);
        }
        const auto applied = handler.applied();
        ASSERT_LE(applied.size(), 2u);
        EXPECT_EQ(applied.back(), 2.0);
    }
}

TEST(DeviceWorker, RequestPendingAtDestructionIsDropped)
{
    RecordingHandler handler;
    auto worker = std::make_unique<DeviceWorker>([&](const ApplyRequest& r) { handler(r); });
    handler.hold();
    worker->post(at(100.0));
    handler.waitForCount(1);
    worker->post(at(200.0));
    // The destructor marks the stop first and then waits for the request in progress.
    std::thread destroy([&] { worker.reset(); });
    std::this_thread::sleep_for(200ms);
    handler.release();
    destroy.join();
    EXPECT_EQ(handler.applied(), (std::vector<double>{100.0}));
}
