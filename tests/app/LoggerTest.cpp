#include "app/Logger.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// A logger whose panel and console lines are kept for the test to read.
struct CapturedLog {
    std::vector<QString> panel;
    std::vector<std::pair<LogLevel, LogAudience>> panelKinds;
    std::vector<std::pair<LogLevel, std::string>> console;
    Logger log{[this](LogLevel level, const QString& line, LogAudience audience) {
                   panel.push_back(line);
                   panelKinds.emplace_back(level, audience);
               },
               [this](LogLevel level, std::string_view line) { console.emplace_back(level, std::string(line)); }};
};

using Console = std::vector<std::pair<LogLevel, std::string>>;

TEST(LoggerTest, UserLinesReachThePanelAndTheConsoleAtTheirLevel)
{
    CapturedLog c;
    c.log.info(QStringLiteral("Device connected"));
    c.log.warning(QStringLiteral("Audio: open failed"));
    c.log.error(QStringLiteral("Device open error: gone"));

    EXPECT_EQ(c.panel, (std::vector<QString>{QStringLiteral("Device connected"), QStringLiteral("Audio: open failed"),
                                             QStringLiteral("Device open error: gone")}));
    EXPECT_EQ(c.console, (Console{{LogLevel::Info, "Device connected"},
                                  {LogLevel::Warning, "Audio: open failed"},
                                  {LogLevel::Error, "Device open error: gone"}}));
    EXPECT_EQ(c.panelKinds, (std::vector<std::pair<LogLevel, LogAudience>>{{LogLevel::Info, LogAudience::User},
                                                                          {LogLevel::Warning, LogAudience::User},
                                                                          {LogLevel::Error, LogAudience::User}}));
}

TEST(LoggerTest, StatusFiguresReachTheWindowMarkedAsSuch)
{
    CapturedLog c;
    c.log.status(QStringLiteral("DSP 30 fps, dropFrames=0"));
    EXPECT_EQ(c.panel, (std::vector<QString>{QStringLiteral("DSP 30 fps, dropFrames=0")}));
    EXPECT_EQ(c.panelKinds,
              (std::vector<std::pair<LogLevel, LogAudience>>{{LogLevel::Info, LogAudience::Status}}));
    EXPECT_EQ(c.console, (Console{{LogLevel::Info, "DSP 30 fps, dropFrames=0"}}));
}

TEST(LoggerTest, DebugLinesStayOffUntilSwitchedOnAndNeverReachThePanel)
{
    CapturedLog c;
    EXPECT_FALSE(c.log.debugEnabled());
    c.log.debug(QStringLiteral("Audio: start skipped, already open"));
    EXPECT_TRUE(c.console.empty());

    c.log.setDebugEnabled(true);
    c.log.debug(QStringLiteral("Audio: start skipped, already open"));
    EXPECT_EQ(c.console, (Console{{LogLevel::Debug, "Audio: start skipped, already open"}}));
    EXPECT_TRUE(c.panel.empty());
}

TEST(LoggerTest, ConsoleLinesStayOffThePanel)
{
    CapturedLog c;
    c.log.log(LogLevel::Info, QStringLiteral("RX 76.29 MB/s"), LogAudience::Console);
    EXPECT_TRUE(c.panel.empty());
    EXPECT_EQ(c.console, (Console{{LogLevel::Info, "RX 76.29 MB/s"}}));
}

TEST(LoggerTest, StageDiagnosticsGoToTheConsoleAtTheLevelTheirTagNames)
{
    CapturedLog c;
    DemodDiagnostics& stages = c.log.demodDiagnostics();
    stages.print("[CIC] Created: R=%d, M=%d, N=%d\n", 6, 1, 4);
    stages.print("[DEBUG AudioFilter] LPF: fc=%.0fHz\n", 15000.0);
    stages.print("[ERROR AudioFilter] Filter coefficients are NaN or Inf!\n");
    c.log.setDebugEnabled(true);
    stages.print("[DEBUG AudioFilter] HPF: fc=%.0fHz\n", 20.0);

    EXPECT_EQ(c.console, (Console{{LogLevel::Info, "[CIC] Created: R=6, M=1, N=4"},
                                  {LogLevel::Error, "[ERROR AudioFilter] Filter coefficients are NaN or Inf!"},
                                  {LogLevel::Debug, "[DEBUG AudioFilter] HPF: fc=20Hz"}}));
    EXPECT_TRUE(c.panel.empty());
}

TEST(LoggerTest, AudioBackendLinesGoToTheConsoleWithTheirLevel)
{
    CapturedLog c;
    const AsioLogSink sink = c.log.audioSink();
    sink(AsioLogLevel::Info, "ASIO: driver loaded");
    sink(AsioLogLevel::Warning, "ASIO: buffer size 100 not supported");

    EXPECT_EQ(c.console, (Console{{LogLevel::Info, "ASIO: driver loaded"},
                                  {LogLevel::Warning, "ASIO: buffer size 100 not supported"}}));
    EXPECT_TRUE(c.panel.empty());
}

} // namespace
