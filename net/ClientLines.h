#pragma once
// Every line the client sends to the chess server, formatted in one place.
//
// Each field is cleaned before it is placed in a line: CR, LF and NUL are
// removed, so text typed by the user can never end a line early and forge
// a second one. Pure functions; any thread.

#include <string>
#include <vector>

namespace ClientLines {

// Login and account creation.
std::string User(const std::string& user, const std::string& password);
std::string Create(const std::string& user, const std::string& password);

// The game and user lists, asked for after login.
std::string Games();
std::string Users();

// The answer to the server's keep-alive question.
std::string Pong();

// Chat lines: the lobby's public chat and a game window's chat.
std::string PublicMessage(const std::string& text);
std::string GameMessage(const std::string& gameId, const std::string& text);

// A new game: `colour` is 1 for White and 0 for Black. An empty description
// (empty once cleaned) leaves out the ":" field.
std::string Make(int colour, const std::string& description);

// Join, watch, stop watching and leave a game.
std::string Play(const std::string& gameId);
std::string ObserveOn(const std::string& gameId);
std::string ObserveOff(const std::string& gameId);
std::string Abort(const std::string& gameId);

// A move in a game; `move` is the move text (E2E4, E7E8Q, O-O).
std::string Move(const std::string& gameId, const std::string& move);

// The archive: page `page` (from 1) of a user's finished games, and one
// finished game's record.
std::string Archive(const std::string& user, int page);
std::string Record(const std::string& gameId);
// The features the client understands, announced after login: "FEATURES"
// and the words separated by single blanks.
std::string Features(const std::vector<std::string>& words);

// A timed game: base `minutes` and increment `seconds` (0 0 is untimed, as
// Make). The description as in Make.
std::string MakeTimed(int colour, int minutes, int seconds, const std::string& description);

// Ending a running game: resigning, a draw offer and its answers (`what` is
// offer, accept or decline) and aborting before each side has moved.
std::string Resign(const std::string& gameId);
std::string Draw(const std::string& gameId, const std::string& what);
std::string AbortGame(const std::string& gameId);

// A rematch of a finished game: offering or accepting one, and declining.
std::string Rematch(const std::string& gameId);
std::string RematchDecline(const std::string& gameId);

// The field with every CR, LF and NUL removed.
std::string CleanField(const std::string& field);

} // namespace ClientLines
