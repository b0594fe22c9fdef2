#include "server/ChessGame.h"

#include "cgc/cgc.h"

#include <cstring>

namespace tolvar::server {

namespace {

int EngineColour(Side side)
{
    return side == Side::White ? CGC_WHITE : CGC_BLACK;
}

// The letter on a square of the engine's board text (rank 8 first, nine
// characters a rank), or 0 for coordinates off the board.
char PieceAt(const char* board, char file, char rank)
{
    if (file < 'A' || file > 'H' || rank < '1' || rank > '8')
        return 0;
    return board[('8' - rank) * 9 + (file - 'A')];
}

// Longest text worth handing to the engine: four squares and a letter; the
// engine's buffer holds seven characters and a NUL.
constexpr std::size_t kMaxMoveText = 7;

} // namespace

ChessGame::ChessGame(std::int64_t id, std::string description, Side creatorSide, Seat creator,
                     TimeControl control, int clockScale)
    : fId(id), fDescription(std::move(description)), fControl(control), fRecord(cgc_create_game())
{
    if (control.Timed())
        fClock.emplace(control, clockScale);
    creator.present = true;
    (creatorSide == Side::White ? fWhite : fBlack) = std::move(creator);
    if (fRecord)
        cgc_join_game(fRecord, EngineColour(creatorSide));
}

ChessGame::~ChessGame()
{
    cgc_free_game(fRecord);
}

std::optional<Side> ChessGame::SideOf(std::string_view key) const
{
    if (fWhite.present && fWhite.key == key)
        return Side::White;
    if (fBlack.present && fBlack.key == key)
        return Side::Black;
    return std::nullopt;
}

bool ChessGame::Join(Seat joiner)
{
    if (fState != GameState::Open || joiner.key == fWhite.key || joiner.key == fBlack.key)
        return false;
    Side free = fWhite.name.empty() ? Side::White : Side::Black;
    joiner.present = true;
    (free == Side::White ? fWhite : fBlack) = std::move(joiner);
    if (fRecord)
        cgc_join_game(fRecord, EngineColour(free));
    fState = GameState::Running;
    return true;
}

MoveVerdict ChessGame::Move(std::string_view text)
{
    if (fState != GameState::Running || !fRecord)
        return {CGC_NO_GAME, {}};
    if (text.empty() || text.size() > kMaxMoveText)
        return {CGC_ILLEGAL, {}};
    char buffer[kMaxMoveText + 1] = {};
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        buffer[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    char board[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(fRecord, board);
    char piece = PieceAt(board, buffer[0], buffer[1]);

    int code = cgc_make_move(fRecord, buffer);
    if (code < 0)
        return {code, {}};

    // The engine rewrote castling to coordinates. Only a pawn reaching the
    // last rank keeps its letter; anything after the squares is dropped.
    std::string move(buffer, 4);
    bool promotes = (piece == 'P' && buffer[3] == '8') || (piece == 'p' && buffer[3] == '1');
    if (promotes)
        move += buffer[4];
    fMoves.push_back(move);
    return {code, move};
}

std::string ChessGame::MoveList() const
{
    std::string list;
    for (const std::string& move : fMoves) {
        list += move;
        list += ' ';
    }
    return list;
}

bool ChessGame::CanMate(Side side) const
{
    if (!fRecord)
        return true;
    char board[CGC_BOARD_TEXT_LENGTH + 1] = {};
    cgc_getboard(fRecord, board);
    // White's pieces are upper-case letters, Black's lower-case.
    int minors = 0;
    for (char c : std::string_view(board, CGC_BOARD_TEXT_LENGTH)) {
        bool white = c >= 'A' && c <= 'Z';
        bool black = c >= 'a' && c <= 'z';
        if (!(side == Side::White ? white : black))
            continue;
        char piece = static_cast<char>(white ? c : c - 'a' + 'A');
        if (piece == 'K')
            continue;
        if ((piece != 'B' && piece != 'N') || ++minors > 1)
            return true;
    }
    return false;
}

void ChessGame::Finish()
{
    fState = GameState::Finished;
    cgc_free_game(fRecord);
    fRecord = nullptr;
}

void ChessGame::Leave(Side side)
{
    (side == Side::White ? fWhite : fBlack).present = false;
    fAway[Index(side)] = false;
}

void ChessGame::SetAway(Side side, bool away, std::chrono::steady_clock::time_point until)
{
    fAway[Index(side)] = away;
    fAwayUntil[Index(side)] = until;
}

bool ChessGame::Abandoned() const
{
    return fState == GameState::Finished && !fWhite.present && !fBlack.present;
}

} // namespace tolvar::server
