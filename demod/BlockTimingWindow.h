#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Processing times of the channel's last 1000 blocks, summarised every report as average,
// 99th percentile and the maximum since the previous report.
class BlockTimingWindow {
public:
    static constexpr size_t kCapacity = 1000;

    struct Summary {
        double avgUs = 0.0;
        double p99Us = 0.0; // 0 while fewer than 10 blocks are held
        double maxUs = 0.0;
        uint64_t blocks = 0; // since the window was cleared
    };

    void clear();
    void push(double us);
    // Summarises the window and starts a new maximum. Allocates nothing.
    Summary summarise();

private:
    std::array<double, kCapacity> m_times{};
    std::array<double, kCapacity> m_sorted{};
    double m_sum = 0.0;
    size_t m_count = 0;
    size_t m_next = 0;
    double m_max = 0.0;
    uint64_t m_total = 0;
};
