#pragma once
// The server's log: one line per event, on standard error by default, each
// with a UTC time stamp. Any thread; lines never interleave.

#include <functional>
#include <string>

namespace tolvar::server {

// Replaces where lines go (a test may collect them); null restores stderr.
void SetEventSink(std::function<void(const std::string&)> sink);

// `line` must already be printable (see Printable in TextRules.h).
void LogEvent(const std::string& line);

} // namespace tolvar::server
