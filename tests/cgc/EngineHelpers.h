#pragma once
// Test support for the rules engine: records set up from FEN texts, record
// snapshots and perft counting through the public move function.

#include <cstdint>
#include <string>
#include <vector>

#include "cgc/cgc.h"

// A seated record holding the FEN position (placement, side, castling rights,
// en-passant square and half-move clock, which becomes `quiet_moves`). Null
// when the text is malformed. Free with cgc_free_game.
game* game_from_fen(const std::string& fen);

// A seated record with the initial position.
game* new_seated_game();

// Copies the position and counters of `from` into `to`; empties the
// position table of `to`.
void copy_position(game* to, const game* from);

// Every byte the record owns: the record itself, its squares and the entries
// of its position table.
std::vector<unsigned char> snapshot(const game* g);

// The board text of the record.
std::string board_text(game* g);

// Plays the move texts in order; returns the result of each.
std::vector<int> play(game* g, const std::vector<std::string>& moves);

struct PerftCounts
{
    uint64_t nodes = 0;
    uint64_t checks = 0; // leaves reached with result CGC_CHECK or CGC_MATE
    uint64_t mates = 0;
    // Positions where the verdict on "any legal move left" (stalemate or
    // mate against move or check) disagrees with the moves actually found.
    uint64_t verdict_errors = 0;
};

// Counts the leaves `depth` moves deep by offering cgc_make_move every
// from-to text (and each promotion letter where a promotion is asked for).
PerftCounts perft(const game* root, int depth);

// The legal move texts of the side to move, found the same way.
std::vector<std::string> legal_moves(const game* g);
