#include "platform/ConsoleWriter.h"

#include "platform/ThreadName.h"

ConsoleWriter::ConsoleWriter() : m_thread(&ConsoleWriter::run, this) {}

ConsoleWriter::~ConsoleWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void ConsoleWriter::post(std::FILE* stream, std::string text)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pending.push_back({stream, std::move(text)});
    }
    m_wake.notify_one();
}

void ConsoleWriter::run()
{
    nameCurrentThread("rtsa-console");
    std::vector<Pending> writing;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
            if (m_pending.empty())
                return;
            writing.swap(m_pending);
        }
        for (const Pending& item : writing) {
            std::fwrite(item.text.data(), 1, item.text.size(), item.stream);
            std::fflush(item.stream);
        }
        writing.clear();
    }
}
