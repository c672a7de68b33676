#pragma once

#include <atomic>
#include <thread>

// Lets a ring be reset while its producer and consumer keep running.
//
// Each side marks itself busy before touching the ring and then checks whether a reset is
// under way; the reset marks itself first and then waits until neither side is busy. With
// sequentially consistent flags at least one of the two sees the other, so a side either
// backs off (and reports no progress) or the reset waits for it to leave. The reset caller
// may itself be one of the sides: it simply never holds its own flag while resetting.
class RingResetGate {
public:
    class Pass {
    public:
        Pass(std::atomic<bool>& busy, const std::atomic<bool>& resetting) : m_busy(busy)
        {
            m_busy.store(true);
            m_open = !resetting.load();
            if (!m_open)
                m_busy.store(false);
        }
        ~Pass()
        {
            if (m_open)
                m_busy.store(false);
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const { return m_open; }

    private:
        std::atomic<bool>& m_busy;
        bool m_open = false;
    };

    Pass enterWriter() { return Pass(m_writerBusy, m_resetting); }
    Pass enterReader() { return Pass(m_readerBusy, m_resetting); }

    // Runs clear() while neither side is inside the ring. Resets come from one thread at a time.
    template <typename Clear>
    void reset(Clear&& clear)
    {
        m_resetting.store(true);
        while (m_writerBusy.load() || m_readerBusy.load())
            std::this_thread::yield();
        clear();
        m_resetting.store(false);
    }

private:
    std::atomic<bool> m_resetting{false};
    std::atomic<bool> m_writerBusy{false};
    std::atomic<bool> m_readerBusy{false};
};
