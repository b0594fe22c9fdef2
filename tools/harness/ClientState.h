#pragma once
// Reading a driven client's state (the JSON of ClientDriver) and its log,
// where the program traces every line it sends and every chunk it receives.

#include <QJsonArray>
#include <QJsonObject>

#include <string>
#include <vector>

namespace e2e {

std::string Text(const QJsonValue& value);
std::vector<std::string> Texts(const QJsonValue& array);
// True when the array of texts holds `line` exactly.
bool HasLine(const QJsonValue& lines, const std::string& line);

// The lobby's status line, its chat lines, and a player's rating ("" when
// the player is not listed).
std::string LobbyStatus(const QJsonObject& state);
std::vector<std::string> LobbyChat(const QJsonObject& state);
std::string Rating(const QJsonObject& state, const std::string& player);
// The lobby's row of a game; empty when it is not listed.
QJsonObject LobbyGame(const QJsonObject& state, const std::string& gameId);

// The state of the open window of a game; empty when there is none.
QJsonObject GameWindowState(const QJsonObject& state, const std::string& gameId);
std::string Board(const QJsonObject& state, const std::string& gameId);

int VisibleLogins(const QJsonObject& state);
// The alert shown now (the newest still open); empty when none is.
QJsonObject OpenAlert(const QJsonObject& state);

// The lines the client sent, in order, as traced in its log (each with its
// " \r\n" ending), and the lines it received (without line ends).
std::vector<std::string> SentLines(const std::string& logPath);
std::vector<std::string> ReceivedLines(const std::string& logPath);

// The last `count` lines of a file, for a failure report.
std::string Tail(const std::string& path, int count);
// A state shortened for a failure report.
std::string Describe(const QJsonObject& state);

} // namespace e2e
