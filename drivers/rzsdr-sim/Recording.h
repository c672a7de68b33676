#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An IQ recording replayed in a loop instead of the synthetic scene: raw interleaved 16-bit
// I/Q (cs16) or a SigMF recording with datatype ci16_le (given as its .sigmf-meta, its
// .sigmf-data or the base name without extension).
class Recording {
public:
    // Loads and checks the recording; nothing on any problem, with the reason in `error`.
    static std::optional<Recording> load(const std::string& path, std::string& error);

    std::size_t samples() const { return m_iq.size() / 2; }
    // Copies `samples` interleaved pairs (4 bytes each) from the current position, wrapping
    // at the end.
    void read(uint8_t* iq, std::size_t samples);

private:
    explicit Recording(std::vector<int16_t> iq) : m_iq(std::move(iq)) {}

    std::vector<int16_t> m_iq;
    std::size_t m_position = 0; // in pairs
};

// The value of "core:datatype" in the "global" object of a SigMF metadata text; nothing when
// the text is not well-formed JSON or has no such string.
std::optional<std::string> sigmfDatatype(const std::string& metadata);
