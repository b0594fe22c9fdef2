#include "game/PgnExport.h"

#include "cgc/pgn.h"

#include <ctime>

namespace {

// "YYYY.MM.DD" of a "YYYY-MM-DD" date, or of today (UTC) when there is none.
std::string PgnDate(const std::string& date)
{
    if (date.size() == 10 && date[4] == '-' && date[7] == '-')
        return date.substr(0, 4) + "." + date.substr(5, 2) + "." + date.substr(8, 2);
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    char text[16] = "????.??.??";
    if (gmtime_r(&now, &utc))
        std::strftime(text, sizeof text, "%Y.%m.%d", &utc);
    return text;
}

bool Contains(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

std::string PgnResult(const std::string& winner)
{
    if (winner == "white")
        return "1-0";
    if (winner == "black")
        return "0-1";
    if (winner == "draw")
        return "1/2-1/2";
    return "*";
}

std::string PgnTermination(const std::string& reason)
{
    if (reason.empty())
        return "";
    if (Contains(reason, "on time"))
        return "time forfeit";
    if (Contains(reason, "left") || Contains(reason, "abort") || Contains(reason, "Abort"))
        return "abandoned";
    return "normal";
}

std::string PgnText(const PgnFacts& facts, const std::vector<std::string>& moves)
{
    cgc_pgn_game pgn;
    pgn.event = "Tolvar Chess game";
    pgn.site = facts.site.empty() ? "?" : facts.site;
    pgn.date = PgnDate(facts.date);
    pgn.white = facts.white.empty() ? "?" : facts.white;
    pgn.black = facts.black.empty() ? "?" : facts.black;
    pgn.result = PgnResult(facts.winner);
    pgn.white_elo = facts.whiteElo;
    pgn.black_elo = facts.blackElo;
    if (facts.minutes > 0 || facts.seconds > 0)
        pgn.time_control = std::to_string(facts.minutes * 60) + "+" + std::to_string(facts.seconds);
    if (pgn.result != "*")
        pgn.termination = PgnTermination(facts.reason);
    pgn.moves = moves;
    std::string text;
    cgc_write_pgn(&pgn, &text);
    return text;
}
