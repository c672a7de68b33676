#pragma once

#include <functional>
#include <string>

// Hands one user-facing status line from the demodulation side to whoever shows it.
using StatusCallback = std::function<void(const std::string& line)>;
