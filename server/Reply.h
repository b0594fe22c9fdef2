#pragma once
// Every line the server sends is formatted here and nowhere else. Pure
// functions; any thread. Each result ends in LF: the client accepts LF, CR or
// both, and a lone LF can never be split from its CR across two of the
// client's reads (the client drops a read that begins with a line end).
//
// Arguments that come from users (names, descriptions, chat) must already be
// clean text; the ":" field is always last.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tolvar::server::Reply {

inline constexpr std::string_view kProtocolVersion = "1.31";
inline constexpr std::string_view kPublicChannel = "lobby";
// The client reads at most this many bytes at a time and loses any line that
// a read cuts, so no line (line end included) may be longer.
inline constexpr std::size_t kClientReadBytes = 999;

std::string Greeting(std::string_view description);                   // 101
std::string Moved(std::int64_t game, int ply, std::string_view move); // 114
std::string PublicChat(std::string_view user, std::string_view text); // 115
// 118: an empty name is a free seat. A challenge has one empty name.
std::string GameInfo(std::int64_t game, std::string_view black, std::string_view white,
                     std::string_view description);
std::string GameEnded(std::int64_t game, std::string_view reason); // 119
// 120: `moves` is each move followed by one blank.
std::string Watching(std::int64_t game, std::string_view black, std::string_view white,
                     std::string_view moves);
std::string GameChat(std::string_view user, std::int64_t game, std::string_view text);      // 123
std::string LoggedIn(std::string_view user);                                                // 201
std::string AccountCreated(std::string_view user);                                          // 401
std::string AccountRefused(std::string_view reason);                                        // 402
std::string LoginRefused();                                                                 // 403
std::string Refused(std::string_view reason);                                               // 404
std::string MoveRefused(std::int64_t game, std::string_view move, std::string_view reason); // 405
std::string NoSuchGame(std::string_view game);                                              // 406
std::string NotAllowed(std::string_view reason);                                            // 407
// 408: the game's result is decided but cannot be stored yet; its 119 follows once it is.
std::string ResultDelayed(std::int64_t game);
// 503: the server cannot serve the request right now; the connection goes on.
std::string Unavailable(std::string_view reason);
std::string AlreadyLoggedIn(std::string_view user); // 504
// 601: side 0 Black, 1 White, the side that aborted.
std::string Aborted(std::int64_t game, int side);
// 130: the features this connection will hear of, blank-separated.
std::string Features(std::string_view words);
// 131: a timed game's base minutes and increment seconds.
std::string TimeControlOf(std::int64_t game, int minutes, int seconds);
// 132: both clocks in milliseconds; `running` is 1 (White), 0 (Black) or -1 (none).
std::string ClockState(std::int64_t game, std::int64_t whiteMs, std::int64_t blackMs, int running);
// 133: a draw offer's news; `what` is offer, decline or cancel.
std::string DrawNews(std::int64_t game, int side, std::string_view what);
// 134: a rematch's news; `what` is offer or decline, or new with the new game's id.
std::string RematchNews(std::int64_t game, int side, std::string_view what,
                        std::int64_t newGame = 0);
// 140: are you there? The client answers PONG.
std::string Ping();
// 141: `user` lost the connection and has `seconds` left to come back.
std::string PlayerAway(std::int64_t game, std::string_view user, long long seconds);
// 141 ... back: `user` has come back to the game.
std::string PlayerBack(std::int64_t game, std::string_view user);
std::string UserOnline(std::string_view user, int rating);  // 700
std::string UserArrived(std::string_view user, int rating); // 701
std::string UserLeft(std::string_view user);                // 702

} // namespace tolvar::server::Reply
