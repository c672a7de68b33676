#include "recording/DataFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

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
        return done;
    }

    bool sync() override { return ::fdatasync(m_fd) == 0 || noteError(errno); }
    bool truncate(uint64_t bytes) override
    {
        return ::ftruncate(m_fd, static_cast<off_t>(bytes)) == 0 || noteError(errno);
    }
    std::string error() const override { return m_error; }

private:
    bool noteError(int code)
    {
        m_error = std::strerror(code);
        return false;
    }

    const int m_fd;
    std::string m_error;
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
