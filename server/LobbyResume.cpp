// The lobby's extension words, and players who lose the connection during a
// game: a client that announced `resume` keeps its running games for the
// grace period, gets them back when it logs in again, and loses them when
// it stays away. Games restored after a restart wait for both players so.

#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/Reply.h"
#include "server/TextRules.h"

#include <algorithm>

namespace tolvar::server {

namespace {

long long SecondsLeft(std::chrono::steady_clock::time_point until)
{
    auto left = until - std::chrono::steady_clock::now();
    return std::max<long long>(0, std::chrono::ceil<std::chrono::seconds>(left).count());
}

} // namespace

void Lobby::_FeaturesChanged(Member& member, bool returning)
{
    bool keepalive = member.features.Has(Feature::KeepAlive);
    member.connection->KeepAlive(keepalive ? fConfig.keepAliveInterval
                                           : std::chrono::milliseconds(0),
                                 fConfig.keepAliveLimit);
    // The games kept for this player go before the 130 answer, which so
    // tells the client that every game coming back has come.
    if (returning)
        _Return(member);
}

void Lobby::_Pong(Member&, const ClientLine&)
{
    // Hearing it is all that counts.
}

void Lobby::_KeepForReturn(Member& member, ChessGame& game, Side side)
{
    if (fConfig.grace.count() <= 0 || !member.features.Has(Feature::Resume)) {
        _Leave(member, game, true);
        return;
    }
    auto until = std::chrono::steady_clock::now() + fConfig.grace;
    game.SetAway(side, true, until);
    fAwayGames.insert(game.Id());
    member.playing.erase(game.Id());
    LogEvent(member.name + " may come back to game " + std::to_string(game.Id()));
    _SendToResuming(game, Reply::PlayerAway(game.Id(), member.name, SecondsLeft(until)), nullptr);
    _ArmAwayTimer();
}

void Lobby::_Return(Member& member)
{
    std::vector<std::int64_t> ids(fAwayGames.begin(), fAwayGames.end());
    for (std::int64_t id : ids) {
        auto found = fGames.find(id);
        if (found == fGames.end())
            continue;
        ChessGame& game = *found->second;
        for (Side side : {Side::White, Side::Black}) {
            const Seat& seat = game.SeatOf(side);
            if (!game.IsAway(side) || seat.key != member.key)
                continue;
            game.SetAway(side, false);
            member.playing.insert(id);
            LogEvent(member.name + " came back to game " + std::to_string(id));
            bool clock = member.features.Has(Feature::Clock);
            _Send(member, _GameInfo(game));
            if (clock && game.Control().Timed())
                _Send(member,
                      Reply::TimeControlOf(id, game.Control().minutes, game.Control().seconds));
            _SendWatching(member, game);
            if (clock)
                _SendClock(game, &member);
            _SendToResuming(game, Reply::PlayerBack(id, seat.name), &member);
            const Seat& other = game.SeatOf(Opponent(side));
            if (game.IsAway(Opponent(side)))
                _Send(member, Reply::PlayerAway(id, other.name,
                                                SecondsLeft(game.AwayUntil(Opponent(side)))));
            else
                fAwayGames.erase(id);
        }
    }
}

void Lobby::_CheckAway()
{
    auto now = std::chrono::steady_clock::now();
    std::vector<std::int64_t> ids(fAwayGames.begin(), fAwayGames.end());
    for (std::int64_t id : ids) {
        auto found = fGames.find(id);
        if (found == fGames.end()) {
            fAwayGames.erase(id);
            continue;
        }
        ChessGame& game = *found->second;
        for (Side side : {Side::White, Side::Black}) {
            if (game.State() == GameState::Running && game.IsAway(side) &&
                game.AwayUntil(side) <= now)
                _Depart(game, side);
        }
    }
    _ArmAwayTimer();
}

void Lobby::_ArmAwayTimer()
{
    std::optional<std::chrono::steady_clock::time_point> next;
    for (std::int64_t id : fAwayGames) {
        auto found = fGames.find(id);
        if (found == fGames.end())
            continue;
        for (Side side : {Side::White, Side::Black}) {
            if (!found->second->IsAway(side))
                continue;
            auto until = found->second->AwayUntil(side);
            next = next ? std::min(*next, until) : until;
        }
    }
    if (!next) {
        fAwayTimer.cancel();
        return;
    }
    fAwayTimer.expires_at(*next);
    std::weak_ptr<int> alive = fAlive;
    fAwayTimer.async_wait([this, alive](const asio::error_code& error) {
        if (!error && alive.lock())
            _CheckAway();
    });
}

void Lobby::_Depart(ChessGame& game, Side side)
{
    std::int64_t id = game.Id();
    LogEvent(game.SeatOf(side).name + " did not come back to game " + std::to_string(id));
    bool bothAway = game.IsAway(Opponent(side));
    game.Leave(side);
    if (bothAway) {
        game.Leave(Opponent(side));
        _Finish(game, EndOfAbsence());
    } else {
        _SendToGame(game, Reply::Aborted(id, static_cast<int>(side)));
        _Finish(game, EndOfAbort(side, game.BothSidesMoved(), true));
    }
    if (game.Abandoned())
        _Forget(game);
}

void Lobby::_SendWatching(Member& member, const ChessGame& game)
{
    // The client cannot take a line longer than one of its reads, so the
    // moves that do not fit follow as ordinary move lines.
    const std::string& black = game.SeatOf(Side::Black).name;
    const std::string& white = game.SeatOf(Side::White).name;
    std::size_t room =
        Reply::kClientReadBytes - Reply::Watching(game.Id(), black, white, "").size();
    const auto& moves = game.Moves();
    // Moves still being stored are left out: their move lines follow.
    const std::size_t known =
        moves.size() - std::min(moves.size(), static_cast<std::size_t>(game.Unannounced()));
    std::string list;
    std::size_t fitting = 0;
    while (fitting < known && list.size() + moves[fitting].size() + 1 <= room) {
        list += moves[fitting];
        list += ' ';
        ++fitting;
    }
    _Send(member, Reply::Watching(game.Id(), black, white, list));
    for (std::size_t ply = fitting; ply < known; ++ply)
        _Send(member, Reply::Moved(game.Id(), static_cast<int>(ply + 1), moves[ply]));
}

void Lobby::_SendToResuming(const ChessGame& game, std::string_view line, const Member* except)
{
    for (Side side : {Side::White, Side::Black}) {
        const Seat& seat = game.SeatOf(side);
        Member* player = seat.present && !game.IsAway(side) ? _OnlineMember(seat.key) : nullptr;
        if (player && player != except && player->features.Has(Feature::Resume))
            _Send(*player, line);
    }
    for (std::uint64_t watcher : game.Watchers()) {
        auto found = fMembers.find(watcher);
        if (found != fMembers.end() && found->second.features.Has(Feature::Resume) &&
            &found->second != except)
            _Send(found->second, line);
    }
}

StoredGame Lobby::_Stored(const ChessGame& game) const
{
    StoredGame stored;
    stored.id = game.Id();
    stored.description = game.Description();
    stored.whiteId = game.SeatOf(Side::White).accountId;
    stored.whiteName = game.SeatOf(Side::White).name;
    stored.blackId = game.SeatOf(Side::Black).accountId;
    stored.blackName = game.SeatOf(Side::Black).name;
    stored.minutes = game.Control().minutes;
    stored.seconds = game.Control().seconds;
    stored.owner = fOwner;
    if (const GameClock* clock = game.Clock()) {
        auto now = std::chrono::steady_clock::now();
        stored.whiteMs = clock->Left(Side::White, now);
        stored.blackMs = clock->Left(Side::Black, now);
    }
    return stored;
}

void Lobby::Restore(const std::vector<StoredGame>& games)
{
    auto until = std::chrono::steady_clock::now() + fConfig.grace;
    for (const StoredGame& stored : games) {
        auto game = std::make_unique<ChessGame>(
            stored.id, stored.description, Side::White,
            Seat{stored.whiteName, NameKey(stored.whiteName), stored.whiteId, true},
            TimeControl{stored.minutes, stored.seconds}, fConfig.clockScale);
        game->Join(Seat{stored.blackName, NameKey(stored.blackName), stored.blackId, true});
        for (const std::string& move : stored.moves) {
            if (game->Move(move).code < 0) {
                LogEvent("ERROR: game " + std::to_string(stored.id) + " does not replay at " +
                         Printable(move) + "; it goes on from the move before");
                break;
            }
        }
        // The clocks stand still until the next move.
        if (GameClock* clock = game->Clock())
            clock->Restore(stored.whiteMs, stored.blackMs);
        game->SetAway(Side::White, true, until);
        game->SetAway(Side::Black, true, until);
        fAwayGames.insert(stored.id);
        fGameIds.Restored(stored.id);
        fGames.emplace(stored.id, std::move(game));
    }
    if (!games.empty())
        LogEvent("restored " + std::to_string(games.size()) + " running games");
    _ArmAwayTimer();
}

} // namespace tolvar::server
