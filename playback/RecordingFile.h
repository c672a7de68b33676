#pragma once

#include "receivers/IqConversion.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A stretch of a recording taken at one centre frequency.
struct RecordingCapture {
    uint64_t sampleStart = 0;
    uint64_t frequencyHz = 0;
    // UTC of the capture's first sample, in microseconds since 1970, when the recording says.
    std::optional<int64_t> utcMicroseconds;
};

// What a recording says of itself besides its samples.
struct RecordingInfo {
    std::string dataPath;
    WireFormat format = WireFormat::CS16;
    uint32_t sampleRateHz = 0;
    // Sorted by sampleStart, the first at 0.
    std::vector<RecordingCapture> captures;
    // Samples the recorder states were lost between its captures.
    uint64_t lostSamples = 0;
};

// The samples of a recording, read as the analyser's 16-bit I/Q pairs from any position.
// Reads go to the disk in chunks of several MiB at 64-bit offsets.
class RecordingFile {
public:
    // Bytes of the file read at once.
    static constexpr std::size_t kChunkBytes = 4u * 1024 * 1024;

    // Throws std::runtime_error with a text for the user when the data cannot be read or the
    // description does not fit it.
    explicit RecordingFile(RecordingInfo info);
    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    const RecordingInfo& info() const { return m_info; }
    uint64_t lengthSamples() const { return m_length; }
    // The capture the sample belongs to.
    std::size_t captureAt(uint64_t sample) const;
    // One past the last sample of the capture.
    uint64_t captureEnd(std::size_t index) const;

    // Positions beyond the end land on it.
    void seek(uint64_t sample);
    uint64_t position() const { return m_position; }
    // Up to `pairs` pairs from the position on; fewer at the end of the file. Throws
    // std::runtime_error when the disk fails.
    std::size_t read(int16_t* out, std::size_t pairs);

private:
    void fill();

    RecordingInfo m_info;
    int m_fd = -1;
    std::size_t m_pairBytes = 4;
    uint64_t m_length = 0;
    uint64_t m_position = 0;
    std::vector<uint8_t> m_chunk;
    uint64_t m_chunkFirst = 0;
    std::size_t m_chunkPairs = 0;
};

// A raw file of interleaved little-endian 16-bit I/Q pairs, at the rate and centre the user
// gives.
RecordingInfo rawCs16Recording(const std::string& path, uint32_t sampleRateHz, uint64_t centerHz);
