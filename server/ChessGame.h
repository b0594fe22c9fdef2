#pragma once
// One game on the server: its seats, watchers, moves and the engine record
// that judges them. Owned by the lobby; network thread only; never blocks.
//
// Open (a challenge, one seat taken) -> Running (both seats taken) ->
// Finished (mate, draw or abort). A finished game stays until neither
// player holds a part in it any more, so its players can still chat.

#include "server/GameClock.h"
#include "server/GameEnd.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct game;

namespace tolvar::server {

enum class GameState
{
    Open,
    Running,
    Finished
};

struct Seat
{
    std::string name; // as shown to everyone
    std::string key;  // NameKey(name)
    std::int64_t accountId = 0;
    bool present = false; // still holds a part in the game
};

struct MoveVerdict
{
    int code;         // the engine's move result; negative when refused
    std::string move; // as applied: castling as coordinates, promotion letter kept
};

class ChessGame
{
public:
    // A timed game's clock runs `clockScale` times faster than real time.
    ChessGame(std::int64_t id, std::string description, Side creatorSide, Seat creator,
              TimeControl control = {}, int clockScale = 1);
    ~ChessGame();
    ChessGame(const ChessGame&) = delete;
    ChessGame& operator=(const ChessGame&) = delete;

    std::int64_t Id() const { return fId; }
    const std::string& Description() const { return fDescription; }
    const TimeControl& Control() const { return fControl; }
    // The clocks of a timed game; null for an untimed one.
    GameClock* Clock() { return fClock ? &*fClock : nullptr; }
    const GameClock* Clock() const { return fClock ? &*fClock : nullptr; }
    GameState State() const { return fState; }
    // An empty name means the seat is free.
    const Seat& SeatOf(Side side) const { return side == Side::White ? fWhite : fBlack; }
    // The side `key` sits on while still present.
    std::optional<Side> SideOf(std::string_view key) const;

    // Takes the free seat of an open game; the game then runs.
    bool Join(Seat joiner);

    Side ToMove() const { return fMoves.size() % 2 == 0 ? Side::White : Side::Black; }
    int Ply() const { return static_cast<int>(fMoves.size()); }
    bool BothSidesMoved() const { return fMoves.size() >= 2; }
    // Judges a move of the side to move (the caller checks who sends it).
    // Lower-case letters are accepted and raised.
    MoveVerdict Move(std::string_view text);
    const std::vector<std::string>& Moves() const { return fMoves; }
    // Moves made but not yet announced (each goes out once it is stored):
    // a game sent whole meanwhile leaves them out, as their move lines follow.
    int Unannounced() const { return fUnannounced; }
    void SetUnannounced(int moves) { fUnannounced = moves; }
    // Each move followed by one blank.
    std::string MoveList() const;

    // False when `side` has only a bare king, or a king and one bishop or
    // knight, on the board of a running game.
    bool CanMate(Side side) const;

    // Offers standing in this game: a draw (running), a rematch (finished).
    std::optional<Side> drawOffer;
    std::optional<Side> rematchOffer;

    // Ends the game and releases the engine record.
    void Finish();
    // The player on `side` gives up their part.
    void Leave(Side side);
    // The player on `side` lost the connection and may come back until
    // `until`, or has come back (`away` false).
    void SetAway(Side side, bool away, std::chrono::steady_clock::time_point until = {});
    // A present seat whose player may still come back, and until when; it
    // hears nothing of the game meanwhile.
    bool IsAway(Side side) const { return fAway[Index(side)]; }
    std::chrono::steady_clock::time_point AwayUntil(Side side) const
    {
        return fAwayUntil[Index(side)];
    }
    // Finished and nobody holds a part any more.
    bool Abandoned() const;
    // The last sign of life of a finished game: its end, or a chat line.
    void Touch(std::chrono::steady_clock::time_point now) { fQuietSince = now; }
    std::chrono::steady_clock::time_point QuietSince() const { return fQuietSince; }

    bool AddWatcher(std::uint64_t connection) { return fWatchers.insert(connection).second; }
    bool RemoveWatcher(std::uint64_t connection) { return fWatchers.erase(connection) > 0; }
    bool IsWatching(std::uint64_t connection) const { return fWatchers.count(connection) > 0; }
    const std::set<std::uint64_t>& Watchers() const { return fWatchers; }

private:
    static int Index(Side side) { return side == Side::White ? 1 : 0; }

    std::int64_t fId;
    std::string fDescription;
    TimeControl fControl;
    std::optional<GameClock> fClock;
    GameState fState = GameState::Open;
    Seat fWhite;
    Seat fBlack;
    std::vector<std::string> fMoves;
    int fUnannounced = 0;
    std::set<std::uint64_t> fWatchers;
    bool fAway[2] = {false, false};
    std::chrono::steady_clock::time_point fAwayUntil[2];
    std::chrono::steady_clock::time_point fQuietSince;
    game* fRecord;
};

} // namespace tolvar::server
