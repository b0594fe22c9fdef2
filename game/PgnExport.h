#pragma once
// A game window's game as PGN text: what the window knows about the game
// turned into tags, and its moves. Pure functions; any thread.

#include <string>
#include <vector>

struct PgnFacts
{
    std::string site;  // the server's host name
    std::string date;  // YYYY-MM-DD, or empty when unknown
    std::string white; // empty while a seat is free
    std::string black;
    // "white", "black", "draw", or empty while the game goes on (or when
    // its end is not known).
    std::string winner;
    std::string reason; // how it ended, as told; empty when not known
    int whiteElo = 0;   // 0 when unknown
    int blackElo = 0;
    int minutes = 0; // the time control; 0 0 when untimed
    int seconds = 0;
};

// The PGN text of the game; `moves` are move texts (E2E4, E7E8Q, O-O). A
// move the engine refuses ends the moves there, with the result "*".
std::string PgnText(const PgnFacts& facts, const std::vector<std::string>& moves);

// The PGN Termination tag for an end reason: "normal", "time forfeit" or
// "abandoned"; empty for none.
std::string PgnTermination(const std::string& reason);

// The PGN Result of a winner ("white" 1-0, "black" 0-1, "draw" 1/2-1/2, "*").
std::string PgnResult(const std::string& winner);
