#include "net/ClientLines.h"

namespace ClientLines {

namespace {
constexpr const char* kEnd = " \r\n";
} // namespace

std::string CleanField(const std::string& field)
{
    std::string clean;
    clean.reserve(field.size());
    for (char c : field)
        if (c != '\r' && c != '\n' && c != '\0')
            clean += c;
    return clean;
}

std::string User(const std::string& user, const std::string& password)
{
    return "USER " + CleanField(user) + " " + CleanField(password) + kEnd;
}

std::string Create(const std::string& user, const std::string& password)
{
    return "CREATE " + CleanField(user) + " " + CleanField(password) + kEnd;
}

std::string Games()
{
    return std::string("GAMES") + kEnd;
}

std::string Users()
{
    return std::string("USERS") + kEnd;
}

std::string Pong()
{
    return std::string("PONG") + kEnd;
}

std::string PublicMessage(const std::string& text)
{
    return "PUBLMSG :" + CleanField(text) + kEnd;
}

std::string GameMessage(const std::string& gameId, const std::string& text)
{
    return "GAMEMSG " + CleanField(gameId) + " :" + CleanField(text) + kEnd;
}

std::string Make(int colour, const std::string& description)
{
    std::string clean = CleanField(description);
    if (clean.empty())
        return "MAKE " + std::to_string(colour) + kEnd;
    return "MAKE " + std::to_string(colour) + " :" + clean + kEnd;
}

std::string Play(const std::string& gameId)
{
    return "PLAY " + CleanField(gameId) + kEnd;
}

std::string ObserveOn(const std::string& gameId)
{
    return "OBSERVE " + CleanField(gameId) + " on" + kEnd;
}

std::string ObserveOff(const std::string& gameId)
{
    return "OBSERVE " + CleanField(gameId) + " off" + kEnd;
}

std::string Abort(const std::string& gameId)
{
    return "ABORT " + CleanField(gameId) + kEnd;
}

std::string Archive(const std::string& user, int page)
{
    return "ARCHIVE " + CleanField(user) + " " + std::to_string(page) + kEnd;
}

std::string Record(const std::string& gameId)
{
    return "RECORD " + CleanField(gameId) + kEnd;
}

std::string Move(const std::string& gameId, const std::string& move)
{
    return "MOVE " + CleanField(gameId) + " " + CleanField(move) + kEnd;
}

std::string Features(const std::vector<std::string>& words)
{
    std::string line = "FEATURES";
    for (const std::string& word : words)
        line += " " + CleanField(word);
    return line + kEnd;
}

std::string MakeTimed(int colour, int minutes, int seconds, const std::string& description)
{
    std::string line = "MAKETIMED " + std::to_string(colour) + " " + std::to_string(minutes) + " " +
                       std::to_string(seconds);
    std::string clean = CleanField(description);
    if (!clean.empty())
        line += " :" + clean;
    return line + kEnd;
}

std::string Resign(const std::string& gameId)
{
    return "RESIGN " + CleanField(gameId) + kEnd;
}

std::string Draw(const std::string& gameId, const std::string& what)
{
    return "DRAW " + CleanField(gameId) + " " + CleanField(what) + kEnd;
}

std::string AbortGame(const std::string& gameId)
{
    return "ABORTGAME " + CleanField(gameId) + kEnd;
}

std::string Rematch(const std::string& gameId)
{
    return "REMATCH " + CleanField(gameId) + kEnd;
}

std::string RematchDecline(const std::string& gameId)
{
    return "REMATCH " + CleanField(gameId) + " decline" + kEnd;
}

} // namespace ClientLines
