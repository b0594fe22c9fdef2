#pragma once
// What counts as a user name and as relayable text. Pure functions; any thread.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvar::server {

// 2 to 16 ASCII letters, digits, "_" or "-".
bool IsValidUserName(std::string_view name);

// Well-formed UTF-8 without C0 or C1 control characters and without DEL, so
// it can never carry a line break or a NUL into another client's line.
bool IsCleanText(std::string_view text);

// The key under which names are compared: ASCII lower case.
std::string NameKey(std::string_view name);

// At most `limit` bytes of clean text, cut between characters, with "..."
// added when anything was cut: for echoing a client's word back.
std::string Shortened(std::string_view text, std::size_t limit);

// A number written as 1 to `maxDigits` decimal digits and nothing else
// (no sign, no blank); nothing otherwise. `maxDigits` is at most 18.
std::optional<std::int64_t> ParseDecimal(std::string_view text, std::size_t maxDigits);

// A copy fit for a log line: bytes outside printable ASCII become \xNN.
std::string Printable(std::string_view text);

} // namespace tolvar::server
