#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Floats that start on a cache line, for the per-bin loops' buffers. A large block's storage
// starts 16 bytes past a page, and then every other 32-byte access of a vectorised loop
// straddles two lines. Rows of a whole number of lines inside it stay aligned too. A copy keeps
// the values, not necessarily the alignment.
class AlignedFloats {
public:
    void assign(std::size_t n, float value)
    {
        m_store.assign(n + kAlignment / sizeof(float), value);
        const auto address = reinterpret_cast<std::uintptr_t>(m_store.data());
        m_offset = (kAlignment - address % kAlignment) % kAlignment / sizeof(float);
        m_size = n;
    }

    float* data() { return m_store.data() + m_offset; }
    const float* data() const { return m_store.data() + m_offset; }
    std::size_t size() const { return m_size; }

private:
    static constexpr std::size_t kAlignment = 64;
    std::vector<float> m_store;
    std::size_t m_offset = 0;
    std::size_t m_size = 0;
};
