// Feeds arbitrary bytes through the server's line framing, text check and
// line splitting, the path every byte from the network takes, and checks
// that nothing relayable can carry a line break or a control character.

#include "server/ClientLine.h"
#include "server/LineFramer.h"
#include "server/Reply.h"
#include "server/TextRules.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tolvar::server;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckLine(const std::string& line)
{
    Check(line.find('\n') == std::string::npos);
    if (!IsCleanText(line))
        return;
    for (unsigned char c : line)
        Check(c >= 0x20 && c != 0x7f);
    ClientLine parsed = ClientLine::Parse(line);
    for (const std::string& word : parsed.Words())
        Check(!word.empty() && word.find(' ') == std::string::npos && word[0] != ':');
    for (char c : parsed.Command())
        Check(c < 'a' || c > 'z');
    // Whatever the client sent, a relayed line is one line.
    std::string relayed = Reply::PublicChat("someone", parsed.Text());
    Check(relayed.find('\n') == relayed.size() - 1);
    Check(relayed.find('\r') == std::string::npos);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // The first byte picks how the stream is cut into reads.
    std::size_t step = size > 0 ? 1 + data[0] % 64 : 1;
    LineFramer framer(64);
    for (std::size_t pos = 0; pos < bytes.size(); pos += step) {
        framer.Append(bytes.substr(pos, step));
        while (auto line = framer.Next()) {
            if (!line->tooLong)
                CheckLine(line->text);
        }
        Check(framer.Buffered() <= 64);
    }
    return 0;
}
