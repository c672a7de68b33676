#pragma once

#include <string>

// Full path of the running executable, or empty when the platform cannot tell.
std::string executablePath();
