#include "ClientState.h"

#include <QJsonDocument>

#include <deque>
#include <fstream>
#include <sstream>

namespace e2e {

std::string Text(const QJsonValue& value)
{
    return value.toString().toStdString();
}

std::vector<std::string> Texts(const QJsonValue& array)
{
    std::vector<std::string> texts;
    for (const QJsonValue& value : array.toArray())
        texts.push_back(Text(value));
    return texts;
}

bool HasLine(const QJsonValue& lines, const std::string& line)
{
    for (const QJsonValue& value : lines.toArray())
        if (Text(value) == line)
            return true;
    return false;
}

std::string LobbyStatus(const QJsonObject& state)
{
    return Text(state["lobby"].toObject()["status"]);
}

std::vector<std::string> LobbyChat(const QJsonObject& state)
{
    return Texts(state["lobby"].toObject()["chat"]);
}

std::string Rating(const QJsonObject& state, const std::string& player)
{
    for (const QJsonValue& row : state["lobby"].toObject()["players"].toArray())
        if (Text(row.toObject()["name"]) == player)
            return Text(row.toObject()["rating"]);
    return {};
}

QJsonObject LobbyGame(const QJsonObject& state, const std::string& gameId)
{
    for (const QJsonValue& row : state["lobby"].toObject()["games"].toArray())
        if (Text(row.toObject()["id"]) == gameId)
            return row.toObject();
    return {};
}

QJsonObject GameWindowState(const QJsonObject& state, const std::string& gameId)
{
    for (const QJsonValue& window : state["games"].toArray())
        if (Text(window.toObject()["id"]) == gameId)
            return window.toObject();
    return {};
}

std::string Board(const QJsonObject& state, const std::string& gameId)
{
    return Text(GameWindowState(state, gameId)["board"]);
}

int VisibleLogins(const QJsonObject& state)
{
    return static_cast<int>(state["logins"].toArray().size());
}

QJsonObject OpenAlert(const QJsonObject& state)
{
    QJsonObject newest;
    for (const QJsonValue& alert : state["alerts"].toArray())
        if (alert.toObject()["open"].toBool())
            newest = alert.toObject();
    return newest;
}

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The texts traced between `opening` + a byte count + `closing` and the
// count's bytes that follow.
std::vector<std::string> Traced(const std::string& log, const std::string& opening,
                                const std::string& closing)
{
    std::vector<std::string> texts;
    size_t at = 0;
    while ((at = log.find(opening, at)) != std::string::npos) {
        at += opening.size();
        size_t digits = at;
        while (digits < log.size() && log[digits] >= '0' && log[digits] <= '9')
            ++digits;
        // A count is a few digits; anything else is text that only looks
        // like a trace.
        if (digits == at || digits - at > 9 || log.compare(digits, closing.size(), closing) != 0)
            continue;
        const size_t count = std::stoul(log.substr(at, digits - at));
        const size_t start = digits + closing.size();
        if (start + count > log.size())
            break;
        texts.push_back(log.substr(start, count));
        at = start + count;
    }
    return texts;
}

} // namespace

std::vector<std::string> SentLines(const std::string& logPath)
{
    return Traced(ReadAll(logPath), "[PortTalker Sends (", ")]");
}

std::vector<std::string> ReceivedLines(const std::string& logPath)
{
    std::string stream;
    for (const std::string& chunk : Traced(ReadAll(logPath), "[PortTalker Receives ", " bytes]"))
        stream += chunk;
    std::vector<std::string> lines;
    std::string line;
    for (char c : stream) {
        if (c == '\n' || c == '\r') {
            if (!line.empty())
                lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string Tail(const std::string& path, int count)
{
    std::ifstream in(path);
    std::deque<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
        if (static_cast<int>(lines.size()) > count)
            lines.pop_front();
    }
    std::string tail;
    for (const std::string& kept : lines)
        tail += kept + "\n";
    return tail;
}

std::string Describe(const QJsonObject& state)
{
    std::string text = QJsonDocument(state).toJson(QJsonDocument::Indented).toStdString();
    constexpr size_t kLimit = 6000;
    if (text.size() > kLimit)
        text = text.substr(0, kLimit) + "\n...";
    return text;
}

} // namespace e2e
