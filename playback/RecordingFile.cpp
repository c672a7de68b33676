#include "playback/RecordingFile.h"

#include "receivers/ReceiverSettingTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

std::string systemError(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

RecordingFile::RecordingFile(RecordingInfo info) : m_info(std::move(info)), m_pairBytes(wireBytesPerPair(m_info.format))
{
    // Between the slowest and the fastest of the rate row the analysis follows any rate, as it
    // does for a receiver that runs at its own.
    const auto& rates = receiver_settings::kProcessingRatesHz;
    if (m_info.sampleRateHz < rates.front() || m_info.sampleRateHz > rates.back())
        throw std::runtime_error("Recording: sample rate " + std::to_string(m_info.sampleRateHz) +
                                 " Hz, the analyser processes " + std::to_string(rates.front() / 1'000'000) + " to " +
                                 std::to_string(rates.back() / 1'000'000) + " MS/s");
    if (m_info.captures.empty() || m_info.captures.front().sampleStart != 0)
        throw std::runtime_error("Recording: no capture starts at the first sample");
    for (std::size_t i = 1; i < m_info.captures.size(); ++i)
        if (m_info.captures[i].sampleStart <= m_info.captures[i - 1].sampleStart)
            throw std::runtime_error("Recording: captures out of order");
    m_fd = ::open(m_info.dataPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        throw std::runtime_error(systemError("Recording: cannot open", m_info.dataPath));
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        const std::string error = systemError("Recording: cannot read", m_info.dataPath);
        ::close(m_fd);
        throw std::runtime_error(error);
    }
    m_length = static_cast<uint64_t>(st.st_size) / m_pairBytes;
    if (m_length == 0 || m_info.captures.back().sampleStart >= m_length) {
        ::close(m_fd);
        throw std::runtime_error("Recording: " + m_info.dataPath + " holds fewer samples than its captures");
    }
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    m_chunk.resize(kChunkBytes - kChunkBytes % m_pairBytes);
}

RecordingFile::~RecordingFile()
{
    ::close(m_fd);
}

std::size_t RecordingFile::captureAt(uint64_t sample) const
{
    const auto after = std::upper_bound(m_info.captures.begin(), m_info.captures.end(), sample,
                                        [](uint64_t s, const RecordingCapture& c) { return s < c.sampleStart; });
    return static_cast<std::size_t>(after - m_info.captures.begin()) - 1;
}

uint64_t RecordingFile::captureEnd(std::size_t index) const
{
    return index + 1 < m_info.captures.size() ? m_info.captures[index + 1].sampleStart : m_length;
}

void RecordingFile::seek(uint64_t sample)
{
    m_position = std::min(sample, m_length);
}

void RecordingFile::fill()
{
    const uint64_t pairs = std::min<uint64_t>(m_chunk.size() / m_pairBytes, m_length - m_position);
    const std::size_t bytes = static_cast<std::size_t>(pairs) * m_pairBytes;
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::pread(m_fd, m_chunk.data() + got, bytes - got,
                                  static_cast<off_t>(m_position * m_pairBytes + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error(n < 0 ? systemError("Recording: cannot read", m_info.dataPath)
                                           : "Recording: " + m_info.dataPath + " ended early");
        got += static_cast<std::size_t>(n);
    }
    m_chunkFirst = m_position;
    m_chunkPairs = static_cast<std::size_t>(pairs);
}

std::size_t RecordingFile::read(int16_t* out, std::size_t pairs)
{
    const StreamFormat format{m_info.format, 0};
    std::size_t done = 0;
    while (done < pairs && m_position < m_length) {
        if (m_position < m_chunkFirst || m_position >= m_chunkFirst + m_chunkPairs)
            fill();
        const auto offset = static_cast<std::size_t>(m_position - m_chunkFirst);
        const std::size_t n = std::min(pairs - done, m_chunkPairs - offset);
        convertToCs16(format, m_chunk.data() + offset * m_pairBytes, out + 2 * done, n);
        done += n;
        m_position += n;
    }
    return done;
}

RecordingInfo rawCs16Recording(const std::string& path, uint32_t sampleRateHz, uint64_t centerHz)
{
    RecordingInfo info;
    info.dataPath = path;
    info.format = WireFormat::CS16;
    info.sampleRateHz = sampleRateHz;
    info.captures.push_back({0, centerHz, {}});
    return info;
}
