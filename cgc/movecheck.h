#pragma once
// Internal operations of the rules engine, shared by its source files and its
// tests. Coordinates are (file, rank) pairs, 0..7 each; file 0 is A, rank 0 is
// White's back rank. Nothing here locks; a record is used by one thread at a time.

#include <cstddef>

#include "cgc/cgc.h"

// Key of the position table: the 72-character board text, then the side to
// move, the four castling rights and the file of a legal en-passant capture.
#define CGC_POSITION_KEY_LENGTH 78

struct cgc_position
{
    char key[CGC_POSITION_KEY_LENGTH + 1];
    int32_t count;
    cgc_position* next;
};

// Rays as (file, rank) steps: 0 to 3 diagonal, 4 to 7 straight.
inline constexpr int ray_steps[8][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1},
                                        {1, 0}, {-1, 0}, {0, 1},  {0, -1}};

inline constexpr int knight_jumps[8][2] = {{2, 1}, {2, -1}, {-2, 1}, {-2, -1},
                                           {1, 2}, {1, -2}, {-1, 2}, {-1, -2}};

// The other colour of CGC_WHITE and CGC_BLACK.
inline int opponent(int colour)
{
    return colour == CGC_WHITE ? CGC_BLACK : CGC_WHITE;
}

// Memory. Every allocation of the engine goes through cgc_alloc (zero-filled,
// null when memory runs out) and is released with cgc_release.
void* cgc_alloc(std::size_t size);
void cgc_release(void* block);

// --- Board and record (board.cpp) ---

// A row array of eight files over 64 squares, squares not filled; null when
// memory runs out. Released with cgc_free_board, which returns 0.
cgc_board cgc_get_empty_board(void);
int cgc_free_board(cgc_board board);
// Places the initial position.
void setup_board(cgc_board board);
// A zeroed record with an empty board and an empty position table, or null.
game* new_gameslot(void);
// A record with the initial position, White to move, seats free; or null.
game* cgc_setup_table(void);
// Release the record with its board and position table; null is allowed.
int remove_game(game* g);
int cgc_game_over(game* g);
// Seats: see cgc_join_game and cgc_quit_game.
int cgc_join_table(game* g, int colour);
int cgc_leave_game(game* g, int side);
// Writes the 72-character board text and a NUL into `text` (73 bytes).
void cgc_fetch_board(cgc_board board, char* text);
// -1 for an empty square, else the colour bit of the code.
int color(int code);
// The code without its colour bit.
int cgc_piece_type(int code);

// --- Position table (postab.cpp) ---

// h = h * 31 + c over the text's bytes, modulo the number of chains.
unsigned cgc_hash(const char* text);
// Counts one occurrence of the first CGC_POSITION_KEY_LENGTH characters of
// `key`; returns its entry, or null when a new entry cannot be allocated.
cgc_position* cgc_add_pos(cgc_position** table, const char* key);
// Releases every entry and empties every chain.
void cgc_free_postab(cgc_position** table);

// --- Legality (movecheck.cpp) ---

int onboard(int file, int rank);
// 0 when the pawn on the from-square leaves its seventh rank without a
// promotion piece, else 1. Only called for pawns.
int check_promote(game* g, int ff, int fr, int tf, int tr, int promote);
// Piece rules: nonzero when the move fits the piece, ignoring the own king's
// safety. The target is empty or holds an opposing piece.
int valid_knight(game* g, int ff, int fr, int tf, int tr, int promote);
int valid_bishop(game* g, int ff, int fr, int tf, int tr, int promote);
int valid_rook(game* g, int ff, int fr, int tf, int tr, int promote);
int valid_queen(game* g, int ff, int fr, int tf, int tr, int promote);
int valid_king(game* g, int ff, int fr, int tf, int tr, int promote);
int valid_pawn(game* g, int ff, int fr, int tf, int tr, int promote);
// Castling conditions other than the safety of the king's target square.
int check_castle(game* g, int ff, int fr, int tf, int tr);
// Nonzero when a knight of `colour` stands a knight's jump from the square;
// its square goes to the out pointers when both are given.
int check_knight_attackers(game* g, int file, int rank, int* af, int* ar, int colour);
// Nonzero when a piece of `colour` attacks the square (mode 0) or can move
// onto it (mode 1); the piece's square goes to the out pointers when both are given.
int check_attackers(game* g, int file, int rank, int* af, int* ar, int colour, int mode);
// Nonzero when no piece of `colour` attacks the square.
int safe_from_color(game* g, int file, int rank, int colour);
// Nonzero when the square is not attacked by the side opposite to its piece
// (by Black when it is empty).
int safe_square(game* g, int file, int rank);
// Nonzero when the piece on the square is attacked; reports one attacker.
int find_attacker(game* g, int file, int rank, int* af, int* ar);
// Nonzero when the move, which fits its piece's rules, leaves the mover's own
// king unattacked. The board is restored before it returns.
int king_safe_after(game* g, int ff, int fr, int tf, int tr);
// 1 when legal, else CGC_ILLEGAL, CGC_NOT_SEATED, CGC_WRONG_SIDE,
// CGC_NEED_PROMOTION (CGC_NO_GAME for a null record). Changes nothing.
int cgc_valid_move(game* g, int ff, int fr, int tf, int tr, int promote);

// --- Execution and game state (gamestate.cpp) ---

// Judges and applies a move text; see cgc_make_move.
int cgc_handle_move(game* g, char* move);
// Before a legal move is applied: clears the position table and the quiet
// counter on a pawn move or capture, and records the move text.
void cgc_register_move(game* g, const char* move, int ff, int fr, int tf, int tr);
// Applies a legal move (castling, en passant, promotion, rights); returns 1.
int cgc_do_move(game* g, int ff, int fr, int tf, int tr, int promote);
// For the king of the side to move: CGC_NO_CHECK, CGC_CHECK or CGC_MATE.
int cgc_check_state(game* g, int kf, int kr);
// Nonzero when the king on (kf, kr) can step to a square that is not attacked.
int king_has_move(game* g, int kf, int kr);
// Nonzero when the side to move has at least one legal move.
int has_legal_move(game* g);
// Nonzero when the side of the king on (kf, kr), not in check, has no legal move.
int cgc_is_stale(game* g, int kf, int kr);
// 0 when `colour` cannot take part in a mate; the position is dead exactly
// when both colours give 0.
int cgc_has_sufficient(game* g, int colour);
// 1 for a dark square (A1 is dark), 0 for a light one.
int bishop_type(int file, int rank);
// Writes the position-table key of the record (CGC_POSITION_KEY_LENGTH
// characters and a NUL) into `key`.
void position_key(game* g, char* key);

// --- Looking ahead (movelist.cpp) ---

// A copy of a record's position that lives on the stack, so that a move can
// be tried without allocating: its board points into `squares` and its
// position table stays empty.
struct cgc_scratch
{
    game record;
    unsigned char* rows[8];
    unsigned char squares[64];
};
// Fills `scratch` with the position of `g` (not its position table).
void copy_to_scratch(cgc_scratch* scratch, const game* g);

// --- Consistency (consistency.cpp) ---

// Null when the record is consistent, else what is wrong: each king once and
// where the record says, castling rights only with king and rook at home, an
// en-passant file only behind a pawn that has just stepped two squares, no
// pawn on the first or last rank, no square code but the pieces and empty.
const char* position_fault(const game* g);
// Prints the fault with the board and aborts when the record is inconsistent.
void assert_position(const game* g);

// Checked after every applied move in debug builds and in the engine's tests
// and fuzzers, which compile the engine with CGC_CHECK_POSITIONS; a release
// build pays nothing.
#if !defined(NDEBUG) || defined(CGC_CHECK_POSITIONS)
#define CGC_ASSERT_POSITION(g) assert_position(g)
#else
#define CGC_ASSERT_POSITION(g) ((void)0)
#endif
