#pragma once
// How a game ended: the score, whether it counts for the ratings, and the
// reason the lobby is told. Pure functions; any thread.

#include <optional>
#include <string>

namespace tolvar::server {

// Protocol numbering of the sides: 0 Black, 1 White.
enum class Side
{
    Black = 0,
    White = 1
};

inline Side Opponent(Side side)
{
    return side == Side::White ? Side::Black : Side::White;
}

enum class Score
{
    WhiteWins,
    BlackWins,
    Draw
};

struct GameEnd
{
    Score score;
    bool rated;
    std::string reason;
};

// The end a move's engine verdict brings, if any: mate, stalemate and the
// three draws.
std::optional<GameEnd> EndOfMove(int verdict, Side mover);

// A player left a running game. Only once both sides have moved does the
// game count, and then as a loss for the side that left.
GameEnd EndOfAbort(Side leaver, bool bothSidesMoved, bool disconnected);

// Both players lost the connection and neither came back in time.
GameEnd EndOfAbsence();
// A player resigned a running game.
GameEnd EndOfResignation(Side resigner);
// `flagged` ran out of time. A loss, unless the other side could not mate
// anyway (`winnerCanMate` false), which makes it a draw.
GameEnd EndOfTime(Side flagged, bool winnerCanMate);
// The players agreed a draw.
GameEnd EndOfAgreement();
// A player called the game off before both sides had moved: no result.
GameEnd EndOfCallingOff();

// "1-0", "0-1" or "1/2-1/2".
const char* ResultText(Score score);
// White's score: 1, 0 or 0.5.
double WhiteScore(Score score);

} // namespace tolvar::server
