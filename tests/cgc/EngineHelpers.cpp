#include "EngineHelpers.h"

#include <cstring>
#include <memory>
#include <sstream>

#include "cgc/movecheck.h"

namespace {

int piece_code(char letter)
{
    const char* letters = "pnbrqk";
    const char* found = std::strchr(letters, letter | 0x20);
    if (found == nullptr || letter == '\0')
        return 0;
    int code = CGC_PAWN + static_cast<int>(found - letters);
    return (letter >= 'A' && letter <= 'Z') ? (code | CGC_WHITE) : code;
}

struct Scratch
{
    std::vector<game*> records;
    ~Scratch()
    {
        for (game* g : records)
            cgc_free_game(g);
    }
};

void move_text(char* text, int ff, int fr, int tf, int tr)
{
    text[0] = static_cast<char>('A' + ff);
    text[1] = static_cast<char>('1' + fr);
    text[2] = static_cast<char>('A' + tf);
    text[3] = static_cast<char>('1' + tr);
    text[4] = '\0';
}

// Visits every legal move of `node`, calling visit(child, result) with the
// position after it; returns the number of legal moves.
template <typename Visit> int for_each_move(const game* node, game* child, Visit visit)
{
    int legal = 0;
    copy_position(child, node);
    char text[8];
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            move_text(text, from / 8, from % 8, to / 8, to % 8);
            int result = cgc_make_move(child, text);
            if (result == CGC_NEED_PROMOTION) {
                for (char letter : {'Q', 'R', 'B', 'N'}) {
                    text[4] = letter;
                    text[5] = '\0';
                    result = cgc_make_move(child, text);
                    if (result >= 0) {
                        ++legal;
                        visit(child, result);
                        copy_position(child, node);
                    }
                }
                continue;
            }
            if (result >= 0) {
                ++legal;
                visit(child, result);
                copy_position(child, node);
            }
        }
    }
    return legal;
}

// Returns the number of legal moves of `node`.
int perft_node(const game* node, int depth, Scratch& scratch, PerftCounts& counts)
{
    game* child = scratch.records[depth];
    return for_each_move(node, child, [&](game* position, int result) {
        if (depth == 1) {
            ++counts.nodes;
            if (result == CGC_CHECK || result == CGC_MATE)
                ++counts.checks;
            if (result == CGC_MATE)
                ++counts.mates;
            return;
        }
        int replies = perft_node(position, depth - 1, scratch, counts);
        bool no_move_verdict = result == CGC_STALEMATE || result == CGC_MATE;
        bool move_verdict = result == CGC_MOVE_OK || result == CGC_CHECK;
        if ((no_move_verdict && replies != 0) || (move_verdict && replies == 0))
            ++counts.verdict_errors;
    });
}

} // namespace

game* game_from_fen(const std::string& fen)
{
    std::istringstream in(fen);
    std::string placement, side, castling = "-", ep = "-";
    int halfmove = 0;
    in >> placement >> side >> castling >> ep >> halfmove;
    game* g = cgc_create_game();
    if (g == nullptr)
        return nullptr;
    cgc_join_game(g, CGC_WHITE);
    cgc_join_game(g, CGC_BLACK);
    for (int f = 0; f < 8; ++f)
        for (int r = 0; r < 8; ++r)
            g->board[f][r] = CGC_EMPTY;
    int file = 0, rank = 7;
    bool ok = side == "w" || side == "b";
    for (char c : placement) {
        if (c == '/') {
            ok = ok && file == 8;
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
        } else {
            int code = piece_code(c);
            if (code == 0 || file > 7 || rank < 0) {
                ok = false;
                break;
            }
            g->board[file][rank] = static_cast<unsigned char>(code);
            if (code == (CGC_WHITE | CGC_KING)) {
                g->white_king_file = static_cast<uint8_t>(file);
                g->white_king_rank = static_cast<uint8_t>(rank);
            } else if (code == CGC_KING) {
                g->black_king_file = static_cast<uint8_t>(file);
                g->black_king_rank = static_cast<uint8_t>(rank);
            }
            ++file;
        }
    }
    if (!ok || rank != 0 || file != 8) {
        cgc_free_game(g);
        return nullptr;
    }
    g->turn = side == "w" ? CGC_WHITE : CGC_BLACK;
    g->white_castle_king = castling.find('K') != std::string::npos;
    g->white_castle_queen = castling.find('Q') != std::string::npos;
    g->black_castle_king = castling.find('k') != std::string::npos;
    g->black_castle_queen = castling.find('q') != std::string::npos;
    g->ep_file = ep.size() == 2 ? ep[0] - 'a' : -1;
    g->quiet_moves = halfmove;
    return g;
}

game* new_seated_game()
{
    game* g = cgc_create_game();
    cgc_join_game(g, CGC_WHITE);
    cgc_join_game(g, CGC_BLACK);
    return g;
}

void copy_position(game* to, const game* from)
{
    for (int f = 0; f < 8; ++f)
        std::memcpy(to->board[f], from->board[f], 8);
    to->white_joined = from->white_joined;
    to->black_joined = from->black_joined;
    to->white_castle_king = from->white_castle_king;
    to->white_castle_queen = from->white_castle_queen;
    to->black_castle_king = from->black_castle_king;
    to->black_castle_queen = from->black_castle_queen;
    to->ep_file = from->ep_file;
    to->turn = from->turn;
    to->quiet_moves = from->quiet_moves;
    to->white_king_rank = from->white_king_rank;
    to->white_king_file = from->white_king_file;
    to->black_king_rank = from->black_king_rank;
    to->black_king_file = from->black_king_file;
    std::memcpy(to->last_move, from->last_move, sizeof to->last_move);
    cgc_free_postab(to->postab);
}

std::vector<unsigned char> snapshot(const game* g)
{
    std::vector<unsigned char> bytes(sizeof(game));
    std::memcpy(bytes.data(), g, sizeof(game));
    for (int f = 0; f < 8; ++f)
        bytes.insert(bytes.end(), g->board[f], g->board[f] + 8);
    for (const cgc_position* head : g->postab) {
        for (const cgc_position* entry = head; entry != nullptr; entry = entry->next) {
            auto* raw = reinterpret_cast<const unsigned char*>(entry);
            bytes.insert(bytes.end(), raw, raw + sizeof(cgc_position));
        }
    }
    return bytes;
}

std::string board_text(game* g)
{
    char text[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(g, text);
    return text;
}

std::vector<int> play(game* g, const std::vector<std::string>& moves)
{
    std::vector<int> results;
    for (const std::string& move : moves) {
        char text[16] = {};
        std::strncpy(text, move.c_str(), sizeof text - 1);
        results.push_back(cgc_make_move(g, text));
    }
    return results;
}

PerftCounts perft(const game* root, int depth)
{
    PerftCounts counts;
    if (depth < 1)
        return counts;
    Scratch scratch;
    for (int i = 0; i <= depth; ++i)
        scratch.records.push_back(new_seated_game());
    perft_node(root, depth, scratch, counts);
    return counts;
}

std::vector<std::string> legal_moves(const game* g)
{
    std::vector<std::string> moves;
    game* child = new_seated_game();
    for_each_move(g, child, [&](game* position, int) { moves.push_back(position->last_move); });
    cgc_free_game(child);
    return moves;
}
