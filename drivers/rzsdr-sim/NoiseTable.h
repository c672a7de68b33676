#pragma once

#include <cstddef>
#include <vector>

// A loop of complex Gaussian receiver noise with unit mean power, already shaped by the band-edge
// response. Reading it from a fresh random position for every chunk keeps the loop invisible.
class NoiseTable {
public:
    // Longest stretch a caller reads from one position.
    static constexpr std::size_t kMaxRead = 4096;

    static const NoiseTable& instance();

    std::size_t length() const { return kLength; }
    // Planar components; valid for kMaxRead samples from any position below length().
    const float* re() const { return m_re.data(); }
    const float* im() const { return m_im.data(); }

private:
    static constexpr std::size_t kLength = std::size_t{1} << 17;

    NoiseTable();

    std::vector<float> m_re;
    std::vector<float> m_im;
};
