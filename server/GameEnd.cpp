#include "server/GameEnd.h"

#include "cgc/cgc.h"

namespace tolvar::server {

namespace {
const char* Name(Side side)
{
    return side == Side::White ? "White" : "Black";
}
} // namespace

std::optional<GameEnd> EndOfMove(int verdict, Side mover)
{
    switch (verdict) {
    case CGC_MATE:
        if (mover == Side::White)
            return GameEnd{Score::WhiteWins, true, "White mates. 1-0"};
        return GameEnd{Score::BlackWins, true, "Black mates. 0-1"};
    case CGC_STALEMATE:
        return GameEnd{Score::Draw, true, "Stalemate. 1/2-1/2"};
    case CGC_DRAW_FIFTY:
        return GameEnd{Score::Draw, true, "Draw by the fifty-move rule. 1/2-1/2"};
    case CGC_DRAW_REPETITION:
        return GameEnd{Score::Draw, true, "Draw by threefold repetition. 1/2-1/2"};
    case CGC_DRAW_MATERIAL:
        return GameEnd{Score::Draw, true, "Draw by insufficient material. 1/2-1/2"};
    default:
        return std::nullopt;
    }
}

GameEnd EndOfAbort(Side leaver, bool bothSidesMoved, bool disconnected)
{
    std::string who = std::string(Name(leaver)) + (disconnected ? " left the server" : " aborted");
    Score score = leaver == Side::White ? Score::BlackWins : Score::WhiteWins;
    if (!bothSidesMoved)
        return GameEnd{Score::Draw, false, who + " before both sides had moved; no result."};
    return GameEnd{score, true, who + " and loses. " + ResultText(score)};
}

GameEnd EndOfAbsence()
{
    return GameEnd{Score::Draw, false, "Both players left the server; no result."};
}

GameEnd EndOfResignation(Side resigner)
{
    Score score = resigner == Side::White ? Score::BlackWins : Score::WhiteWins;
    return GameEnd{score, true, std::string(Name(resigner)) + " resigns. " + ResultText(score)};
}

GameEnd EndOfTime(Side flagged, bool winnerCanMate)
{
    if (!winnerCanMate)
        return GameEnd{Score::Draw, true, "Draw: insufficient material to mate on time. 1/2-1/2"};
    Score score = flagged == Side::White ? Score::BlackWins : Score::WhiteWins;
    return GameEnd{score, true,
                   std::string(Name(flagged)) + " forfeits on time. " + ResultText(score)};
}

GameEnd EndOfAgreement()
{
    return GameEnd{Score::Draw, true, "Draw agreed. 1/2-1/2"};
}

GameEnd EndOfCallingOff()
{
    return GameEnd{Score::Draw, false, "Game aborted."};
}

const char* ResultText(Score score)
{
    switch (score) {
    case Score::WhiteWins:
        return "1-0";
    case Score::BlackWins:
        return "0-1";
    case Score::Draw:
        break;
    }
    return "1/2-1/2";
}

double WhiteScore(Score score)
{
    switch (score) {
    case Score::WhiteWins:
        return 1.0;
    case Score::BlackWins:
        return 0.0;
    case Score::Draw:
        break;
    }
    return 0.5;
}

} // namespace tolvar::server
