#pragma once
// Cuts the byte stream from the server into lines, whatever the chunk
// boundaries: the unfinished end of a chunk is kept and completed by the
// next one, so no line is lost or split.
//
// A line ends at CR or LF. Blanks at the start of a line are dropped, and a
// line that is then shorter than three characters (an empty line, the LF of
// a CR LF pair) is skipped. A line that grows past kMaxLineLength without
// an end is dropped up to its end, so a hostile server cannot make the
// kept text grow without bound.
//
// Not thread-safe: the owner serialises Feed() and Clear().

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class LineCutter
{
public:
    static constexpr size_t kMaxLineLength = 64 * 1024;

    // Appends the complete lines that `chunk` finishes to `lines` (without
    // their line ends) and keeps what is left for the next call.
    void Feed(std::string_view chunk, std::vector<std::string>& lines);

    // Forgets the kept text (a new connection starts afresh).
    void Clear();

    // The text kept for the next chunk.
    const std::string& Pending() const { return fPending; }

private:
    static void _Emit(std::string_view line, std::vector<std::string>& lines);
    void _Keep(std::string_view rest);

    std::string fPending;
    // True while the rest of an overlong line is being dropped.
    bool fDiscarding = false;
};
