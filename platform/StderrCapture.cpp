#include "platform/StderrCapture.h"

#include <unistd.h>

StderrCapture::StderrCapture()
{
    std::fflush(stderr);
    m_file = std::tmpfile();
    if (m_file == nullptr)
        return;
    m_saved = ::dup(STDERR_FILENO);
    if (m_saved < 0 || ::dup2(::fileno(m_file), STDERR_FILENO) < 0) {
        if (m_saved >= 0)
            ::close(m_saved);
        m_saved = -1;
        std::fclose(m_file);
        m_file = nullptr;
    }
}

StderrCapture::~StderrCapture()
{
    take();
}

void StderrCapture::restore()
{
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    m_saved = -1;
}

std::string StderrCapture::take()
{
    if (m_file == nullptr)
        return {};
    restore();
    std::string text;
    std::rewind(m_file);
    char chunk[512];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, m_file)) > 0;)
        text.append(chunk, n);
    std::fclose(m_file);
    m_file = nullptr;
    std::fwrite(text.data(), 1, text.size(), stderr);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}
