#include "app/Logger.h"

#include <cstdio>
#include <string>
#include <utility>

namespace {

// A stage's line names its level in its tag.
LogLevel levelOfStageLine(std::string_view line)
{
    if (line.starts_with("[DEBUG"))
        return LogLevel::Debug;
    if (line.starts_with("[ERROR"))
        return LogLevel::Error;
    return LogLevel::Info;
}

std::string_view withoutNewline(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

} // namespace

void Logger::writeToStandardStreams(LogLevel level, std::string_view line)
{
    const bool problem = level == LogLevel::Warning || level == LogLevel::Error;
    std::FILE* stream = problem ? stderr : stdout;
    if (level == LogLevel::Warning)
        std::fputs("Warning: ", stream);
    else if (level == LogLevel::Error)
        std::fputs("Error: ", stream);
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

Logger::Logger(PanelSink panel, ConsoleSink console) : m_panel(std::move(panel)), m_console(std::move(console)) {}

void Logger::log(LogLevel level, const QString& line, LogAudience audience)
{
    if (level == LogLevel::Debug && !debugEnabled())
        return;
    toConsole(level, line.toStdString());
    if (level != LogLevel::Debug && audience != LogAudience::Console && m_panel)
        m_panel(level, line, audience);
}

void Logger::toConsole(LogLevel level, std::string_view line)
{
    if (level == LogLevel::Debug && !debugEnabled())
        return;
    const std::lock_guard lock(m_consoleMutex);
    m_console(level, line);
}

AsioLogSink Logger::audioSink()
{
    return [this](AsioLogLevel level, const std::string& text) {
        toConsole(level == AsioLogLevel::Warning ? LogLevel::Warning : LogLevel::Info, text);
    };
}

void Logger::DemodSink::write(std::string_view line)
{
    // Stays in the caller's buffer: the demodulation thread reports through here.
    const std::string_view text = withoutNewline(line);
    m_logger.toConsole(levelOfStageLine(text), text);
}
