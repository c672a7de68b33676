#pragma once

// How much a log line matters; the log panel filters by it.
enum class LogLevel { Debug, Info, Warning, Error };
