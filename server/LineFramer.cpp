#include "server/LineFramer.h"

namespace tolvar::server {

void LineFramer::Append(std::string_view bytes)
{
    // Drop what has been consumed before the buffer grows again.
    if (fStart > 0) {
        fBuffer.erase(0, fStart);
        fStart = 0;
    }
    fBuffer.append(bytes);
}

std::optional<FramedLine> LineFramer::Next()
{
    for (;;) {
        std::size_t lf = fBuffer.find('\n', fStart);
        if (lf == std::string::npos) {
            if (fSkipping) {
                fBuffer.clear();
                fStart = 0;
                return std::nullopt;
            }
            if (fBuffer.size() - fStart > fMax) {
                fBuffer.clear();
                fStart = 0;
                fSkipping = true;
                return FramedLine{true, {}};
            }
            return std::nullopt;
        }
        std::size_t begin = fStart;
        fStart = lf + 1;
        if (fSkipping) {
            fSkipping = false;
            continue;
        }
        if (lf - begin > fMax)
            return FramedLine{true, {}};
        std::size_t end = lf;
        if (end > begin && fBuffer[end - 1] == '\r')
            --end;
        if (end > begin && fBuffer[end - 1] == ' ')
            --end;
        return FramedLine{false, fBuffer.substr(begin, end - begin)};
    }
}

} // namespace tolvar::server
