#include "net/LineCutter.h"

namespace {
constexpr std::string_view kLineEnds = "\r\n";
} // namespace

void LineCutter::Feed(std::string_view chunk, std::vector<std::string>& lines)
{
    size_t position = 0;
    if (fDiscarding) {
        size_t end = chunk.find_first_of(kLineEnds);
        if (end == std::string_view::npos)
            return;
        fDiscarding = false;
        position = end;
    }
    if (!fPending.empty()) {
        size_t end = chunk.find_first_of(kLineEnds, position);
        if (end == std::string_view::npos) {
            _Keep(chunk.substr(position));
            return;
        }
        fPending.append(chunk.substr(position, end - position));
        _Emit(fPending, lines);
        fPending.clear();
        position = end + 1;
    }
    for (;;) {
        size_t end = chunk.find_first_of(kLineEnds, position);
        if (end == std::string_view::npos) {
            _Keep(chunk.substr(position));
            return;
        }
        _Emit(chunk.substr(position, end - position), lines);
        position = end + 1;
    }
}

void LineCutter::Clear()
{
    fPending.clear();
    fDiscarding = false;
}

void LineCutter::_Emit(std::string_view line, std::vector<std::string>& lines)
{
    size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return;
    line.remove_prefix(start);
    if (line.size() < 3)
        return;
    lines.emplace_back(line);
}

void LineCutter::_Keep(std::string_view rest)
{
    if (fPending.size() + rest.size() > kMaxLineLength) {
        fPending.clear();
        fDiscarding = true;
        return;
    }
    fPending.append(rest);
}
