#include "recording/DataFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// How far behind the end of the file writeback is waited for and the pages given back: the
// recording then never piles up gigabytes of dirty pages, whose forced writeback stalls writes
// for seconds, and does not push the rest of the system out of the page cache.
constexpr uint64_t kWritebackWindowBytes = uint64_t{64} << 20;

class PosixDataFile : public DataFile {
public:
    explicit PosixDataFile(int fd) : m_fd(fd) {}
    ~PosixDataFile() override { ::close(m_fd); }
    PosixDataFile(const PosixDataFile&) = delete;
    PosixDataFile& operator=(const PosixDataFile&) = delete;

    std::size_t write(const uint8_t* data, std::size_t bytes) override
    {
        std::size_t done = 0;
        while (done < bytes) {
            const ssize_t n = ::write(m_fd, data + done, bytes - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                // A write that takes nothing without an error is a full disk as well.
                noteError(n < 0 ? errno : ENOSPC);
                break;
            }
        }
        m_end += done;
        writeBack();
        return done;
    }

    bool sync() override { return ::fdatasync(m_fd) == 0 || noteError(errno); }
    bool truncate(uint64_t bytes) override
    {
        m_end = m_started = bytes;
        m_dropped = std::min(m_dropped, bytes);
        return ::ftruncate(m_fd, static_cast<off_t>(bytes)) == 0 || noteError(errno);
    }
    std::string error() const override { return m_error; }

private:
    // Starts writing out what was just written, waits for what lies a window behind, and drops
    // it from the cache. Advisory: a failure shows at the next write or at sync.
    void writeBack()
    {
        ::sync_file_range(m_fd, static_cast<off_t>(m_started), static_cast<off_t>(m_end - m_started),
                          SYNC_FILE_RANGE_WRITE);
        m_started = m_end;
        if (m_end - m_dropped <= kWritebackWindowBytes)
            return;
        const uint64_t upTo = m_end - kWritebackWindowBytes;
        ::sync_file_range(m_fd, static_cast<off_t>(m_dropped), static_cast<off_t>(upTo - m_dropped),
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        ::posix_fadvise(m_fd, static_cast<off_t>(m_dropped), static_cast<off_t>(upTo - m_dropped),
                        POSIX_FADV_DONTNEED);
        m_dropped = upTo;
    }

    bool noteError(int code)
    {
        m_error = std::strerror(code);
        return false;
    }

    const int m_fd;
    std::string m_error;
    uint64_t m_end = 0;
    uint64_t m_started = 0;
    uint64_t m_dropped = 0;
};

} // namespace

std::unique_ptr<DataFile> createDataFile(const std::string& path, std::string& error)
{
    static_assert(sizeof(off_t) == 8, "recordings pass 4 GiB");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<PosixDataFile>(fd);
}
