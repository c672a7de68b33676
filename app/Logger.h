#pragma once

#include "app/LogLevel.h"
#include "audio/AsioLog.h"
#include "demod/DemodDiagnostics.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <string_view>

// Where a line goes besides the console: the log panel shows what the user is told; a figure
// reported again and again (rates, fills, counts) has its own place in the window and joins
// the log panel only when asked for; the stages' own diagnostics stay on the console.
enum class LogAudience { User, Status, Console };

// The application's one log. Every line goes to the console at its level (debug lines only once
// debug output is switched on); info and above meant for the user also go to the window, with
// their level and audience.
// Lines may come from any thread; the console writes are serialised.
class Logger {
public:
    using PanelSink = std::function<void(LogLevel level, const QString& line, LogAudience audience)>;
    using ConsoleSink = std::function<void(LogLevel level, std::string_view line)>;

    // Console lines go to standard output, warnings and errors to standard error.
    static void writeToStandardStreams(LogLevel level, std::string_view line);

    explicit Logger(PanelSink panel, ConsoleSink console = &Logger::writeToStandardStreams);
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void setDebugEnabled(bool on) { m_debug.store(on); }
    bool debugEnabled() const { return m_debug.load(); }

    void log(LogLevel level, const QString& line, LogAudience audience = LogAudience::User);
    void debug(const QString& line) { log(LogLevel::Debug, line); }
    void info(const QString& line) { log(LogLevel::Info, line); }
    void warning(const QString& line) { log(LogLevel::Warning, line); }
    void error(const QString& line) { log(LogLevel::Error, line); }
    void status(const QString& line) { log(LogLevel::Info, line, LogAudience::Status); }

    // For the audio backend: its lines, on the console.
    AsioLogSink audioSink();
    // For the demodulation stages: their bracketed lines on the console, at the level their tag
    // names ("[DEBUG ...]", "[ERROR ...]", info otherwise). Lives as long as the logger.
    DemodDiagnostics& demodDiagnostics() { return m_demodDiagnostics; }

private:
    class DemodSink : public DemodDiagnostics {
    public:
        explicit DemodSink(Logger& logger) : m_logger(logger) {}

    protected:
        void write(std::string_view line) override;

    private:
        Logger& m_logger;
    };

    void toConsole(LogLevel level, std::string_view line);

    PanelSink m_panel;
    ConsoleSink m_console;
    std::atomic<bool> m_debug{false};
    std::mutex m_consoleMutex;
    DemodSink m_demodDiagnostics{*this};
};
