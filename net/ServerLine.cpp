#include "net/ServerLine.h"

ServerLine ServerLine::from_string(std::string_view line)
{
    ServerLine parsed;
    size_t codeLength = line.size() < 3 ? line.size() : 3;
    parsed.code.assign(line.substr(0, codeLength));
    std::string_view rest = line.substr(codeLength);
    for (;;) {
        size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        if (rest.front() == ':') {
            parsed.args.emplace_back(rest.substr(1));
            break;
        }
        size_t end = rest.find(' ');
        parsed.args.emplace_back(rest.substr(0, end));
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end);
    }
    return parsed;
}
