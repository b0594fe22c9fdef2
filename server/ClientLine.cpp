#include "server/ClientLine.h"

namespace tolvar::server {

ClientLine ClientLine::Parse(std::string_view line)
{
    ClientLine parsed;
    std::size_t pos = 0;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    std::size_t end = line.find(' ', pos);
    if (end == std::string_view::npos)
        end = line.size();
    parsed.fCommand.assign(line.substr(pos, end - pos));
    for (char& c : parsed.fCommand) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    if (end < line.size())
        parsed.fTail.assign(line.substr(end + 1));

    pos = end;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size())
            break;
        if (line[pos] == ':') {
            parsed.fHasText = true;
            parsed.fText.assign(line.substr(pos + 1));
            break;
        }
        end = line.find(' ', pos);
        if (end == std::string_view::npos)
            end = line.size();
        parsed.fWords.emplace_back(line.substr(pos, end - pos));
        pos = end;
    }
    return parsed;
}

std::string ClientLine::CredentialName() const
{
    return fTail.substr(0, fTail.find(' '));
}

std::string ClientLine::CredentialPassword() const
{
    std::size_t blank = fTail.find(' ');
    return blank == std::string::npos ? std::string() : fTail.substr(blank + 1);
}

} // namespace tolvar::server
