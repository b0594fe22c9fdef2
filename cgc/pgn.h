#pragma once
// Games in Portable Game Notation: the tag pairs and the moves in standard
// algebraic notation, written from move texts and read back into them. Games
// start from the initial position. Plain functions, no shared state.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct cgc_pgn_game
{
    std::string event = "?";
    std::string site = "?";
    std::string date = "????.??.??";
    std::string round = "-";
    std::string white = "?";
    std::string black = "?";
    // "1-0", "0-1", "1/2-1/2", or "*" for a game in progress.
    std::string result = "*";
    int white_elo = 0; // 0 when unknown
    int black_elo = 0;
    std::string time_control; // empty when not given
    std::string termination;  // empty when unknown
    // Further tags, in the order they are written or were read.
    std::vector<std::pair<std::string, std::string>> other_tags;
    // The moves as cgc_make_move takes them (E2E4, E7E8Q, O-O).
    std::vector<std::string> moves;
};

// Writes the game as PGN into `text`: the seven tag roster, the Elo ratings
// when known, TimeControl and Termination when given, then the moves with
// their numbers in lines of at most 79 characters, and the result. Returns 0;
// or, when a move is refused, its refusal code, the text then holding the
// game up to that move with the result "*".
int cgc_write_pgn(const cgc_pgn_game* pgn, std::string* text);

// Reads the game that starts at `*offset` in `text` and moves `*offset` past
// it. Tags, move numbers, comments, variations and annotation glyphs are
// taken or skipped as PGN allows. Returns 1 for a game read to its end and 0
// when no game is left. When a move cannot be played the rest of that game is
// skipped: the result is the move's refusal code (CGC_ILLEGAL, CGC_AMBIGUOUS,
// CGC_NEED_PROMOTION), `pgn->moves` holds the game up to it and `problem`
// says which move it was and why ("move 12... Nf3: ambiguous").
int cgc_read_pgn(std::string_view text, std::size_t* offset, cgc_pgn_game* pgn,
                 std::string* problem);
