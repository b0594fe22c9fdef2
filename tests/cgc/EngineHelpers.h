#pragma once
// Test support for the rules engine: records set up from FEN and described
// in FEN, record snapshots, and the legal moves as texts.

#include <string>
#include <vector>

#include "cgc/cgc.h"

// A seated record holding the FEN position (placement, side, castling rights,
// en-passant square, and the half-move clock as `quiet_moves`), or the
// initial position for "startpos". Null when the text is malformed. Free with
// cgc_free_game.
game* game_from_fen(const std::string& fen);

// The record as FEN without the move number: the placement read from the
// board text, the en-passant square whenever `ep_file` names a file.
std::string fen_of(game* g);

// Copies the position and counters of `from` into `to`; empties the
// position table of `to`.
void copy_position(game* to, const game* from);

// Every byte the record owns: the record itself, its squares and the entries
// of its position table.
std::vector<unsigned char> snapshot(const game* g);

// The move text of a move (E2E4, E7E8Q).
std::string text_of(const cgc_move& move);

// The move texts of cgc_legal_moves.
std::vector<std::string> listed_moves(game* g);

// The move of a coordinate move text (E2E4, E7E8Q).
cgc_move move_of(const std::string& text);
