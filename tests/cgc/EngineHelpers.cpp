#include "EngineHelpers.h"

#include <cctype>
#include <cstring>
#include <sstream>

#include "cgc/movecheck.h"

game* game_from_fen(const std::string& fen)
{
    std::istringstream in(fen == "startpos" ? "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq"
                                            : fen);
    std::string placement, side, castling = "-", ep = "-", squares; // squares: rank 8 first
    int halfmove = 0;
    in >> placement >> side >> castling >> ep >> halfmove;
    for (char c : placement)
        squares += c >= '1' && c <= '8' ? std::string(c - '0', '-')
                   : c == '/'           ? ""
                                        : std::string(1, c);
    if (squares.size() != 64 || squares.find_first_not_of("-pnbrqkPNBRQK") != std::string::npos)
        return nullptr;
    game* g = cgc_create_seated_game();
    for (int i = 0; i < 64; ++i) {
        auto file = static_cast<uint8_t>(i % 8), rank = static_cast<uint8_t>(7 - i / 8);
        char c = squares[i];
        int type = static_cast<int>(std::strchr("-pnbrqk", c | 0x20) - "-pnbrqk") + CGC_EMPTY;
        g->board[file][rank] = static_cast<unsigned char>(type | (std::isupper(c) ? CGC_WHITE : 0));
        if (c == 'K' || c == 'k') {
            (c == 'K' ? g->white_king_file : g->black_king_file) = file;
            (c == 'K' ? g->white_king_rank : g->black_king_rank) = rank;
        }
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

std::string fen_of(game* g)
{
    char text[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(g, text);
    std::string fen;
    // The text has rank 8 first, each rank eight squares and a blank.
    for (int i = 0, empty = 0; i < CGC_BOARD_TEXT_LENGTH; ++i) {
        if (text[i] == '-') {
            ++empty;
            continue;
        }
        if (empty > 0)
            fen += static_cast<char>('0' + empty);
        empty = 0;
        fen += text[i] != ' ' ? text[i] : i + 1 < CGC_BOARD_TEXT_LENGTH ? '/' : ' ';
    }
    std::string castling = std::string(g->white_castle_king ? "K" : "") +
                           (g->white_castle_queen ? "Q" : "") + (g->black_castle_king ? "k" : "") +
                           (g->black_castle_queen ? "q" : "");
    std::string ep = "-";
    if (g->ep_file >= 0)
        ep = {static_cast<char>('a' + g->ep_file), g->turn == CGC_WHITE ? '6' : '3'};
    return fen + (g->turn == CGC_WHITE ? "w " : "b ") + (castling.empty() ? "-" : castling) + " " +
           ep + " " + std::to_string(g->quiet_moves);
}

void copy_position(game* to, const game* from)
{
    unsigned char** board = to->board;
    cgc_free_postab(to->postab);
    std::memcpy(to, from, sizeof(game));
    to->board = board;
    for (int f = 0; f < 8; ++f)
        std::memcpy(to->board[f], from->board[f], 8);
    for (cgc_position*& head : to->postab)
        head = nullptr;
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

std::string text_of(const cgc_move& move)
{
    char text[8];
    cgc_move_text(&move, text);
    return text;
}

std::vector<std::string> listed_moves(game* g)
{
    cgc_move moves[CGC_MAX_MOVES];
    int count = cgc_legal_moves(g, moves, CGC_MAX_MOVES);
    std::vector<std::string> texts;
    for (int i = 0; i < count && i < CGC_MAX_MOVES; ++i)
        texts.push_back(text_of(moves[i]));
    return texts;
}

cgc_move move_of(const std::string& text)
{
    const char* letters = "NBRQ";
    const char* promote = text.size() > 4 ? std::strchr(letters, text[4]) : nullptr;
    return {static_cast<int8_t>(text[0] - 'A'), static_cast<int8_t>(text[1] - '1'),
            static_cast<int8_t>(text[2] - 'A'), static_cast<int8_t>(text[3] - '1'),
            static_cast<int8_t>(promote != nullptr ? CGC_KNIGHT + (promote - letters) : 0)};
}
