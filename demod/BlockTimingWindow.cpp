#include "demod/BlockTimingWindow.h"

#include <algorithm>

void BlockTimingWindow::clear()
{
    m_sum = 0.0;
    m_count = 0;
    m_next = 0;
    m_max = 0.0;
    m_total = 0;
}

void BlockTimingWindow::push(double us)
{
    if (m_count == kCapacity)
        m_sum -= m_times[m_next];
    else
        ++m_count;
    m_times[m_next] = us;
    m_sum += us;
    m_next = m_next + 1 == kCapacity ? 0 : m_next + 1;
    m_max = std::max(m_max, us);
    ++m_total;
}

BlockTimingWindow::Summary BlockTimingWindow::summarise()
{
    Summary s;
    s.blocks = m_total;
    s.maxUs = m_max;
    m_max = 0.0;
    if (m_count == 0)
        return s;
    s.avgUs = m_sum / static_cast<double>(m_count);
    if (m_count >= 10) {
        const size_t at = std::min(m_count * 99 / 100, m_count - 1);
        std::copy_n(m_times.begin(), m_count, m_sorted.begin());
        std::nth_element(m_sorted.begin(), m_sorted.begin() + static_cast<std::ptrdiff_t>(at),
                         m_sorted.begin() + static_cast<std::ptrdiff_t>(m_count));
        s.p99Us = m_sorted[at];
    }
    return s;
}
