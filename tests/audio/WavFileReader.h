#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <vector>

// A WAV file as a test reads it back: its format chunk, the sizes its header states, and the
// bytes of its data chunk (everything after the data chunk's header, whatever the size says).
struct WavFileContents {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint32_t riffSize = 0;
    uint32_t dataSize = 0;
    uint64_t fileSize = 0;
    std::vector<unsigned char> data;

    std::size_t frames() const { return blockAlign ? data.size() / blockAlign : 0; }
    // The bytes of one sample.
    const unsigned char* sample(std::size_t frame, int channel) const
    {
        return data.data() + frame * blockAlign + static_cast<std::size_t>(channel) * (bitsPerSample / 8u);
    }
};

inline std::optional<WavFileContents> readWavFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto u16 = [&](std::size_t at) { return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8); };
    const auto u32 = [&](std::size_t at) { return static_cast<uint32_t>(u16(at) | u16(at + 2) << 16); };
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    WavFileContents wav;
    wav.riffSize = u32(4);
    wav.fileSize = bytes.size();
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(reinterpret_cast<const char*>(bytes.data() + at), 4);
        const uint32_t size = u32(at + 4);
        if (id == "fmt " && at + 24 <= bytes.size()) {
            wav.formatTag = u16(at + 8);
            wav.channels = u16(at + 10);
            wav.sampleRate = u32(at + 12);
            wav.byteRate = u32(at + 16);
            wav.blockAlign = u16(at + 20);
            wav.bitsPerSample = u16(at + 22);
            haveFormat = true;
        } else if (id == "data") {
            wav.dataSize = size;
            wav.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 8), bytes.end());
            return haveFormat ? std::optional(wav) : std::nullopt;
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// One channel of a 16-bit recording from frame `from` on, `count` frames at most, in full-scale units.
inline std::vector<float> int16Channel(const WavFileContents& wav, int channel, std::size_t from = 0,
                                       std::size_t count = std::numeric_limits<std::size_t>::max())
{
    std::vector<float> x;
    for (std::size_t k = from; k < wav.frames() && k - from < count; ++k) {
        int16_t v;
        std::memcpy(&v, wav.sample(k, channel), 2);
        x.push_back(static_cast<float>(v) / 32767.0f);
    }
    return x;
}
