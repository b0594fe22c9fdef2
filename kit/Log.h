#pragma once
// Developer logging, off by default. The program's specified traces on
// standard output do not go through here.

#include <string>

namespace kit {
void SetLogging(bool enabled);
bool IsLogging();
// Writes one line to standard error when logging is on; any thread.
void Log(const std::string& line);
} // namespace kit
