#pragma once
// Every line the client sends to the chess server, formatted in one place.
//
// Each field is cleaned before it is placed in a line: CR, LF and NUL are
// removed, so text typed by the user can never end a line early and forge
// a second one. Pure functions; any thread.

#include <string>

namespace ClientLines {

// Login and account creation.
std::string User(const std::string& user, const std::string& password);
std::string Create(const std::string& user, const std::string& password);

// The game and user lists, asked for after login.
std::string Games();
std::string Users();

// The protocol extensions the client takes up, announced after login, and
// the answer to the server's keep-alive question.
std::string Features();
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

// The field with every CR, LF and NUL removed.
std::string CleanField(const std::string& field);

} // namespace ClientLines
