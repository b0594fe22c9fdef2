#pragma once
// The chess rules engine: plain functions over one `game` record per game.
//
// A record is used by one thread at a time; the engine has no shared state.
// Public operations are prefixed cgc_; see movecheck.h for the internal ones.

#include <cstdint>

// Square codes. White pieces carry the colour bit 0x40 (0x42 to 0x47).
#define CGC_EMPTY 1
#define CGC_PAWN 2
#define CGC_KNIGHT 3
#define CGC_BISHOP 4
#define CGC_ROOK 5
#define CGC_QUEEN 6
#define CGC_KING 7
#define CGC_BLOCKED 8

// Colours.
#define CGC_WHITE 0x40
#define CGC_BLACK 0

// Results of cgc_make_move and cgc_valid_move.
#define CGC_MOVE_OK 0
#define CGC_STALEMATE 2
#define CGC_DRAW_FIFTY 3
#define CGC_DRAW_REPETITION 4
#define CGC_DRAW_MATERIAL 5
#define CGC_CHECK 6
#define CGC_MATE 7
#define CGC_ILLEGAL -1
#define CGC_NOT_SEATED -2
#define CGC_WRONG_SIDE -3
#define CGC_NO_GAME -5
#define CGC_TABLE_FULL -6
#define CGC_SEAT_TAKEN -7
#define CGC_NEED_PROMOTION -8
// Refusal of cgc_read_san: the text fits more than one legal move.
#define CGC_AMBIGUOUS -9

// Game-state codes of cgc_check_state.
#define CGC_NO_CHECK 3

#define CGC_POSTAB_SIZE 12
#define CGC_BOARD_TEXT_LENGTH 72
#define CGC_MOVES_LENGTH 1024
// Room for every legal move of a position reached by play (at most 218).
#define CGC_MAX_MOVES 256
// Size of a buffer that holds a move in standard algebraic notation.
#define CGC_SAN_SIZE 16

// One position of the repetition table.
struct cgc_position;

// board[file][rank]: file 0..7 = A..H, rank 0..7 = ranks 1..8.
typedef unsigned char** cgc_board;

struct game
{
    int32_t white_joined;
    int32_t black_joined;
    char moves[CGC_MOVES_LENGTH];
    cgc_board board;
    int32_t white_castle_king;
    int32_t white_castle_queen;
    int32_t black_castle_king;
    int32_t black_castle_queen;
    int32_t ep_file;
    int32_t turn;
    int32_t quiet_moves;
    cgc_position* postab[CGC_POSTAB_SIZE];
    uint8_t white_king_rank;
    uint8_t white_king_file;
    uint8_t black_king_rank;
    uint8_t black_king_file;
    char last_move[8];
};

// A new record: initial position, White to move, both seats free.
// Returns null when memory runs out.
game* cgc_create_game(void);

// A new record with both seats taken, ready for the moves of either side, as
// a client replaying or reviewing a game needs it. Null when memory runs out.
game* cgc_create_seated_game(void);

// Takes the seat of `colour` (CGC_WHITE or CGC_BLACK): 0, or CGC_NO_GAME,
// CGC_TABLE_FULL (both seats taken), CGC_SEAT_TAKEN (that seat taken).
int cgc_join_game(game* g, int colour);

// Frees a seat: side 0 White, 1 Black; -1 for any other side.
int cgc_quit_game(game* g, int side);

// Judges and applies one move. `move` is a writable buffer of at least 8
// bytes holding a move text (E2E4, E7E8Q, O-O, O-O-O; castling texts are
// rewritten in place to coordinates). Returns a result code above; a refused
// move leaves the record unchanged.
int cgc_make_move(game* g, char* move);

// Releases the record and everything it owns; null is allowed. Returns 0.
int cgc_free_game(game* g);

// Writes the 72-character board text and a NUL into `buffer` (73 bytes).
int cgc_getboard(game* g, char* buffer);

// Capacity of the move-list text.
int cgc_getmlen(void);

// Copies the move-list text into `buffer` (cgc_getmlen() bytes); returns it.
char* cgc_getmlist(game* g, char* buffer);

// A move as coordinates: files and ranks 0..7 (file 0 is A, rank 0 White's
// back rank); `promote` is 0 or the colourless code of the promotion piece
// (CGC_KNIGHT to CGC_QUEEN). Castling is the king's two-file move.
struct cgc_move
{
    int8_t from_file;
    int8_t from_rank;
    int8_t to_file;
    int8_t to_rank;
    int8_t promote;
};

// Lists the moves that cgc_make_move would accept now: every move of the side
// to move (none while a seat is free), a promotion once per piece. Stores at
// most `capacity` moves (CGC_MAX_MOVES is always enough for a position reached
// by play) and returns how many there are. The record is left as it was.
int cgc_legal_moves(game* g, cgc_move* moves, int capacity);

// The same for the piece on one square only; none for a square off the board,
// empty, or held by the side not to move.
int cgc_piece_moves(game* g, int file, int rank, cgc_move* moves, int capacity);

// Writes the move text of a move (E2E4, E7E8Q) into `text` (8 bytes).
void cgc_move_text(const cgc_move* move, char* text);

// Writes a legal move in standard algebraic notation (Nbd2, exd6, e8=Q+,
// O-O-O#) into `san` (CGC_SAN_SIZE bytes) and returns 0; a move that
// cgc_make_move would refuse gives its refusal code and an empty text.
int cgc_write_san(game* g, const cgc_move* move, char* san);

// Reads a move in standard algebraic notation, tolerating a missing or wrong
// check mark, annotation marks (!, ?), 0-0 for O-O, an "e.p." suffix and a
// promotion without "=". Returns 0 and fills `move`, or CGC_ILLEGAL (no legal
// move fits, or not a move), CGC_AMBIGUOUS (several fit), CGC_NEED_PROMOTION
// (a pawn reaches the last rank without a piece) or CGC_NOT_SEATED.
int cgc_read_san(game* g, const char* san, cgc_move* move);
