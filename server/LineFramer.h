#pragma once
// Cuts a byte stream into client lines. Owned by one connection; used on the
// network thread only; never blocks.
//
// A line ends at LF; one CR before the LF and then exactly one blank before
// that are framing and are removed (the client ends every line with a blank
// and CR LF). A line holding more than the limit before its LF is reported
// once as too long and skipped up to its LF, so memory stays bounded.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tolvar::server {

struct FramedLine
{
    bool tooLong = false;
    std::string text;
};

class LineFramer
{
public:
    explicit LineFramer(std::size_t maxLineBytes) : fMax(maxLineBytes) {}

    void Append(std::string_view bytes);
    // The next complete line, or nothing until more bytes arrive.
    std::optional<FramedLine> Next();
    std::size_t Buffered() const { return fBuffer.size() - fStart; }

private:
    std::size_t fMax;
    std::string fBuffer;
    std::size_t fStart = 0;
    bool fSkipping = false;
};

} // namespace tolvar::server
