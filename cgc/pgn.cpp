#include "cgc/pgn.h"

#include <cstring>

#include "cgc/movecheck.h"

namespace {

// PGN export lines hold at most 79 characters.
const std::size_t line_limit = 79;

const char* const roster[] = {"Event", "Site", "Date", "Round", "White", "Black", "Result"};
const char* const optional_tags[] = {"WhiteElo", "BlackElo", "TimeControl", "Termination"};

// A seated record with the initial position, released with its owner.
struct replay
{
    game* g = cgc_create_seated_game();
    ~replay() { cgc_free_game(g); }
};

bool is_result(std::string_view token)
{
    return token == "1-0" || token == "0-1" || token == "1/2-1/2" || token == "*";
}

bool is_standard_tag(std::string_view name)
{
    for (const char* known : roster)
        if (name == known)
            return true;
    for (const char* known : optional_tags)
        if (name == known)
            return true;
    return false;
}

bool is_symbol_char(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

bool is_tag_name(std::string_view name)
{
    if (name.empty())
        return false;
    for (char c : name)
        if (!is_symbol_char(c))
            return false;
    return true;
}

// Backslash and quote are escaped; control characters, line breaks among
// them, become blanks so that a value never leaves its line.
void put_tag(std::string& out, std::string_view name, std::string_view value)
{
    out += '[';
    out += name;
    out += " \"";
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"')
            out += '\\';
        out += byte < 0x20 || byte == 0x7f ? ' ' : c;
    }
    out += "\"]\n";
}

void put_token(std::string& out, std::size_t& line, std::string_view token)
{
    if (line > 0 && line + 1 + token.size() > line_limit) {
        out += '\n';
        line = 0;
    } else if (line > 0) {
        out += ' ';
        ++line;
    }
    out += token;
    line += token.size();
}

// The move a move text names, read as cgc_make_move reads it.
bool decode(const game* g, std::string_view text, cgc_move* m)
{
    if (text == "O-O" || text == "O-O-O") {
        int back = g->turn == CGC_WHITE ? 0 : 7;
        *m = {4, static_cast<int8_t>(back), static_cast<int8_t>(text == "O-O" ? 6 : 2),
              static_cast<int8_t>(back), 0};
        return true;
    }
    if (text.size() < 4)
        return false;
    int ff = text[0] - 'A', fr = text[1] - '1', tf = text[2] - 'A', tr = text[3] - '1';
    if (!onboard(ff, fr) || !onboard(tf, tr))
        return false;
    const char* letters = "NBRQ";
    const char* promote =
        text.size() > 4 && text[4] != '\0' ? std::strchr(letters, text[4]) : nullptr;
    *m = {static_cast<int8_t>(ff), static_cast<int8_t>(fr), static_cast<int8_t>(tf),
          static_cast<int8_t>(tr),
          static_cast<int8_t>(promote != nullptr ? CGC_KNIGHT + (promote - letters) : 0)};
    return true;
}

int elo_value(std::string_view text)
{
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 100000)
            return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

void assign_tag(cgc_pgn_game* pgn, const std::string& name, const std::string& value)
{
    std::string* fields[] = {&pgn->event, &pgn->site,  &pgn->date,  &pgn->round,
                             &pgn->white, &pgn->black, &pgn->result};
    for (int i = 0; i < 7; ++i) {
        if (name == roster[i]) {
            *fields[i] = value;
            return;
        }
    }
    if (name == "WhiteElo")
        pgn->white_elo = elo_value(value);
    else if (name == "BlackElo")
        pgn->black_elo = elo_value(value);
    else if (name == "TimeControl")
        pgn->time_control = value;
    else if (name == "Termination")
        pgn->termination = value;
    else
        pgn->other_tags.emplace_back(name, value);
}

// Reads the tag pair at `at`, which holds '['; a malformed pair is skipped
// to the end of its line.
void read_tag(std::string_view text, std::size_t& at, cgc_pgn_game* pgn)
{
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos)
        end = text.size();
    std::size_t i = at + 1;
    while (i < end && text[i] == ' ')
        ++i;
    std::size_t name_start = i;
    while (i < end && is_symbol_char(text[i]))
        ++i;
    std::string name(text.substr(name_start, i - name_start));
    while (i < end && text[i] == ' ')
        ++i;
    at = end;
    if (name.empty() || i >= end || text[i] != '"')
        return;
    std::string value;
    for (++i; i < end && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < end)
            ++i;
        value += text[i];
    }
    if (i < end)
        assign_tag(pgn, name, value);
}

// Skips a comment, a variation (with whatever it holds) or a rest-of-line
// comment starting at `at`.
void skip_aside(std::string_view text, std::size_t& at)
{
    int depth = 0;
    do {
        char c = text[at];
        std::size_t close = at + 1;
        if (c == '{')
            close = text.find('}', at) + 1;
        else if (c == ';')
            close = text.find('\n', at);
        else if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        at = close == 0 || close == std::string_view::npos ? text.size() : close;
    } while (depth > 0 && at < text.size());
}

bool is_delimiter(char c)
{
    return std::strchr(" \t\r\n{}();[]", c) != nullptr || c == '\0';
}

const char* refusal_reason(int code)
{
    switch (code) {
    case CGC_AMBIGUOUS:
        return "ambiguous";
    case CGC_NEED_PROMOTION:
        return "no promotion piece";
    default:
        return "not a legal move";
    }
}

} // namespace

int cgc_write_pgn(const cgc_pgn_game* pgn, std::string* text)
{
    text->clear();
    replay board;
    if (board.g == nullptr)
        return CGC_NO_GAME;
    std::string movetext;
    std::size_t line = 0;
    int status = 0;
    for (std::size_t i = 0; i < pgn->moves.size(); ++i) {
        cgc_move m;
        char san[CGC_SAN_SIZE];
        status = decode(board.g, pgn->moves[i], &m) ? cgc_write_san(board.g, &m, san) : CGC_ILLEGAL;
        if (status != 0)
            break;
        if (i % 2 == 0)
            put_token(movetext, line, std::to_string(i / 2 + 1) + ".");
        put_token(movetext, line, san);
        char move_text[8];
        cgc_move_text(&m, move_text);
        cgc_make_move(board.g, move_text);
    }
    std::string result = status == 0 && is_result(pgn->result) ? pgn->result : "*";
    put_token(movetext, line, result);

    const std::string* values[] = {&pgn->event, &pgn->site,  &pgn->date, &pgn->round,
                                   &pgn->white, &pgn->black, &result};
    for (int i = 0; i < 7; ++i)
        put_tag(*text, roster[i], *values[i]);
    if (pgn->white_elo > 0)
        put_tag(*text, "WhiteElo", std::to_string(pgn->white_elo));
    if (pgn->black_elo > 0)
        put_tag(*text, "BlackElo", std::to_string(pgn->black_elo));
    if (!pgn->time_control.empty())
        put_tag(*text, "TimeControl", pgn->time_control);
    if (!pgn->termination.empty())
        put_tag(*text, "Termination", pgn->termination);
    for (const auto& [name, value] : pgn->other_tags) {
        if (is_tag_name(name) && !is_standard_tag(name))
            put_tag(*text, name, value);
    }
    *text += '\n';
    *text += movetext;
    *text += "\n\n";
    return status;
}

int cgc_read_pgn(std::string_view text, std::size_t* offset, cgc_pgn_game* pgn,
                 std::string* problem)
{
    *pgn = cgc_pgn_game{};
    pgn->result.clear();
    problem->clear();
    std::size_t at = *offset;
    bool found = false;
    auto skip_space = [&] {
        while (at < text.size()) {
            char c = text[at];
            // A line that starts with '%' is an escape for other programs.
            if (c == '%' && (at == 0 || text[at - 1] == '\n'))
                at = text.find('\n', at);
            else if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                ++at;
            else
                break;
        }
        if (at > text.size())
            at = text.size();
    };

    for (skip_space(); at < text.size() && text[at] == '['; skip_space()) {
        read_tag(text, at, pgn);
        found = true;
    }
    replay board;
    int status = board.g == nullptr ? CGC_NO_GAME : 1;
    for (const auto& [name, value] : pgn->other_tags) {
        if (name == "FEN" && status == 1) {
            status = CGC_ILLEGAL;
            *problem = "the game starts from a set-up position";
        }
    }
    std::string result;
    for (skip_space(); at < text.size() && text[at] != '[' && result.empty(); skip_space()) {
        found = true;
        if (std::strchr("{;()", text[at]) != nullptr) {
            skip_aside(text, at);
            continue;
        }
        std::size_t start = at;
        while (at < text.size() && !is_delimiter(text[at]))
            ++at;
        if (at == start) {
            ++at; // a stray closing bracket
            continue;
        }
        std::string token(text.substr(start, at - start));
        if (is_result(token)) {
            result = token;
            continue;
        }
        // A move number ("12." or "12...") may stand alone or lead its move.
        std::size_t digits = token.find_first_not_of("0123456789");
        if (digits != std::string::npos && digits > 0 && token[digits] == '.')
            token.erase(0, token.find_first_not_of('.', digits));
        if (status != 1 || token.empty() || token[0] == '$' ||
            token.find_first_not_of("!?") == std::string::npos || token == "e.p.")
            continue;
        cgc_move m;
        int code = cgc_read_san(board.g, token.c_str(), &m);
        if (code != 0) {
            std::size_t ply = pgn->moves.size();
            *problem = "move " + std::to_string(ply / 2 + 1) + (ply % 2 == 0 ? ". " : "... ") +
                       token + ": " + refusal_reason(code);
            status = code;
            continue;
        }
        char move_text[8];
        cgc_move_text(&m, move_text);
        cgc_make_move(board.g, move_text);
        pgn->moves.push_back(move_text);
    }
    *offset = at;
    if (!result.empty() || !is_result(pgn->result))
        pgn->result = result.empty() ? "*" : result;
    return found ? status : 0;
}
