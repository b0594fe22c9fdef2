// The lobby's game commands: challenges, joining, watching, moves, game
// chat, aborts, and the end of a game with its ratings.

#include "server/Elo.h"
#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/Reply.h"
#include "server/Storage.h"
#include "server/TextRules.h"
#include "server/WorkerPool.h"

#include "cgc/cgc.h"

#include <algorithm>

namespace tolvar::server {

namespace {

const char* RefusalReason(int code)
{
    switch (code) {
    case CGC_NEED_PROMOTION:
        return "a pawn reaching the last rank needs a promotion letter (Q, R, B or N)";
    case CGC_WRONG_SIDE:
        return "no piece of yours on that square";
    case CGC_NOT_SEATED:
    case CGC_NO_GAME:
        return "the game is not running";
    default:
        return "illegal move";
    }
}

std::optional<std::int64_t> ParseGameId(const std::string& text)
{
    return ParseDecimal(text, 18);
}

} // namespace

std::string Lobby::_GameInfo(const ChessGame& game) const
{
    // Every client, whether it follows clocks or not, sees a timed game's
    // time control at the end of its description.
    std::string description = game.Description();
    if (game.Control().Timed()) {
        description += description.empty() ? "[" : " [";
        description += std::to_string(game.Control().minutes) + "+" +
                       std::to_string(game.Control().seconds) + "]";
    }
    return Reply::GameInfo(game.Id(), game.SeatOf(Side::Black).name, game.SeatOf(Side::White).name,
                           description);
}

ChessGame* Lobby::_FindGame(Member& member, const std::string& idText)
{
    std::optional<std::int64_t> id = ParseGameId(idText);
    auto found = id ? fGames.find(*id) : fGames.end();
    if (found == fGames.end()) {
        _Send(member, Reply::NoSuchGame(idText));
        return nullptr;
    }
    return found->second.get();
}

int Lobby::_ActiveGames(const Member& member, bool openOnly) const
{
    int count = 0;
    for (std::int64_t id : member.playing) {
        auto found = fGames.find(id);
        if (found == fGames.end())
            continue;
        GameState state = found->second->State();
        if (state == GameState::Open || (!openOnly && state == GameState::Running))
            ++count;
    }
    return count;
}

void Lobby::_Make(Member& member, const ClientLine& line)
{
    const auto& words = line.Words();
    if (words.size() != 1 || (words[0] != "0" && words[0] != "1")) {
        _Send(member, Reply::Refused("usage: MAKE colour :description (0 Black, 1 White)"));
        return;
    }
    _OpenGame(member, words[0] == "1" ? Side::White : Side::Black, line.Text(), TimeControl{});
}

std::int64_t Lobby::_NewGameId(Member& member, std::function<void(Member&)> retry)
{
    std::int64_t id = fGameIds.Take();
    if (id != 0)
        return id;
    // The client's next lines wait with this one, so that they keep their order.
    std::uint64_t connection = member.connection->Id();
    member.connection->PauseInput();
    fGameIds.WhenAvailable([this, connection, retry = std::move(retry)] {
        auto found = fMembers.find(connection);
        if (found == fMembers.end())
            return;
        found->second.connection->ResumeInput();
        retry(found->second);
    });
    return 0;
}

void Lobby::_OpenGame(Member& member, Side side, const std::string& description,
                      TimeControl control)
{
    if (description.size() > fConfig.maxDescriptionBytes) {
        _Send(member, Reply::NotAllowed("description longer than " +
                                        std::to_string(fConfig.maxDescriptionBytes) + " bytes"));
        return;
    }
    if (_ActiveGames(member, true) >= fConfig.maxOpenChallenges) {
        _Send(member, Reply::NotAllowed("at most " + std::to_string(fConfig.maxOpenChallenges) +
                                        " open challenges"));
        return;
    }
    if (_ActiveGames(member, false) >= fConfig.maxGamesPerUser) {
        _Send(member, Reply::NotAllowed("at most " + std::to_string(fConfig.maxGamesPerUser) +
                                        " games at a time"));
        return;
    }
    std::int64_t id = _NewGameId(member, [this, side, description, control](Member& again) {
        _OpenGame(again, side, description, control);
    });
    if (id == 0)
        return;
    auto game = std::make_unique<ChessGame>(id, description, side,
                                            Seat{member.name, member.key, member.accountId, true},
                                            control, fConfig.clockScale);
    ChessGame& made = *game;
    fGames.emplace(id, std::move(game));
    member.playing.insert(id);
    LogEvent(member.name + " opened game " + std::to_string(id));
    _Broadcast(_GameInfo(made));
    _Announce(made);
}

void Lobby::_Play(Member& member, const ClientLine& line)
{
    if (line.Words().size() != 1 || line.HasText()) {
        _Send(member, Reply::Refused("usage: PLAY id"));
        return;
    }
    ChessGame* game = _FindGame(member, line.Words()[0]);
    if (!game)
        return;
    std::string id = std::to_string(game->Id());
    if (game->State() == GameState::Finished) {
        _Send(member, Reply::NoSuchGame(line.Words()[0]));
        return;
    }
    if (game->SideOf(member.key)) {
        _Send(member, Reply::NotAllowed("you already play in game " + id));
        return;
    }
    if (game->State() == GameState::Running) {
        _Send(member, Reply::NotAllowed("game " + id + " is full"));
        return;
    }
    if (_ActiveGames(member, false) >= fConfig.maxGamesPerUser) {
        _Send(member, Reply::NotAllowed("at most " + std::to_string(fConfig.maxGamesPerUser) +
                                        " games at a time"));
        return;
    }
    game->Join(Seat{member.name, member.key, member.accountId, true});
    member.playing.insert(game->Id());
    LogEvent(member.name + " joined game " + id);
    fRunning.Started(_Stored(*game), [this, gameId = game->Id()] { _Started(gameId); });
}

void Lobby::_Observe(Member& member, const ClientLine& line)
{
    const auto& words = line.Words();
    if (words.size() != 2 || line.HasText() || (words[1] != "on" && words[1] != "off")) {
        _Send(member, Reply::Refused("usage: OBSERVE id on|off"));
        return;
    }
    ChessGame* game = _FindGame(member, words[0]);
    if (!game)
        return;
    std::string id = std::to_string(game->Id());
    std::uint64_t me = member.connection->Id();
    if (words[1] == "off") {
        if (!game->RemoveWatcher(me)) {
            _Send(member, Reply::NotAllowed("you are not watching game " + id));
            return;
        }
        member.watching.erase(game->Id());
        return;
    }
    if (game->State() != GameState::Running) {
        _Send(member, Reply::NotAllowed("only running games can be watched"));
        return;
    }
    if (game->SideOf(member.key)) {
        _Send(member, Reply::NotAllowed("you play in game " + id));
        return;
    }
    if (!game->AddWatcher(me)) {
        _Send(member, Reply::NotAllowed("you already watch game " + id));
        return;
    }
    member.watching.insert(game->Id());
    _SendWatching(member, *game);
    if (member.features.Has(Feature::Clock))
        _SendClock(*game, &member);
}

void Lobby::_Move(Member& member, const ClientLine& line)
{
    const auto& words = line.Words();
    if (words.size() != 2 || line.HasText()) {
        _Send(member, Reply::Refused("usage: MOVE id move"));
        return;
    }
    ChessGame* game = _FindGame(member, words[0]);
    if (!game)
        return;
    std::string id = std::to_string(game->Id());
    std::optional<Side> side = game->SideOf(member.key);
    if (!side) {
        _Send(member, Reply::NotAllowed("you do not play in game " + id));
        return;
    }
    if (game->State() == GameState::Open) {
        _Send(member, Reply::NotAllowed("game " + id + " has not started"));
        return;
    }
    if (game->State() == GameState::Finished) {
        _Send(member, Reply::NotAllowed("game " + id + " is over"));
        return;
    }
    if (_CheckFlag(*game)) {
        _Send(member, Reply::NotAllowed("game " + id + " is over"));
        return;
    }
    if (*side != game->ToMove()) {
        _Send(member, Reply::MoveRefused(game->Id(), words[1], "not your turn"));
        return;
    }
    MoveVerdict verdict = game->Move(words[1]);
    if (verdict.code < 0) {
        _Send(member, Reply::MoveRefused(game->Id(), words[1], RefusalReason(verdict.code)));
        return;
    }
    // The move is announced once it is stored, so that no restart can take
    // back a move that anyone has seen. The clock counts from its arrival.
    std::int64_t gameId = game->Id();
    int ply = game->Ply();
    Side mover = *side;
    if (GameClock* clock = game->Clock())
        clock->Moved(mover, ply, std::chrono::steady_clock::now());
    std::optional<GameEnd> end = EndOfMove(verdict.code, mover);
    game->SetUnannounced(game->Unannounced() + 1);
    fRunning.Moved(_Stored(*game), verdict.move, ply,
                   [this, gameId, ply, mover, move = verdict.move, end] {
                       auto found = fGames.find(gameId);
                       if (found == fGames.end())
                           return;
                       ChessGame& played = *found->second;
                       played.SetUnannounced(std::max(0, played.Unannounced() - 1));
                       _SendToGame(played, Reply::Moved(gameId, ply, move));
                       if (played.State() != GameState::Running)
                           return;
                       _AfterMove(played, mover);
                       if (end)
                           _Finish(played, *end);
                   });
}

void Lobby::_GameChat(Member& member, const ClientLine& line)
{
    if (line.Words().size() != 1 || !line.HasText()) {
        _Send(member, Reply::Refused("usage: GAMEMSG id :text"));
        return;
    }
    ChessGame* game = _FindGame(member, line.Words()[0]);
    if (!game)
        return;
    if (!game->SideOf(member.key) && !game->IsWatching(member.connection->Id())) {
        _Send(member,
              Reply::NotAllowed("you neither play nor watch game " + std::to_string(game->Id())));
        return;
    }
    if (!_AcceptChatText(member, line.Text()))
        return;
    game->Touch(std::chrono::steady_clock::now());
    _SendToGame(*game, Reply::GameChat(member.name, game->Id(), line.Text()));
}

void Lobby::_Abort(Member& member, const ClientLine& line)
{
    if (line.Words().size() != 1 || line.HasText()) {
        _Send(member, Reply::Refused("usage: ABORT id"));
        return;
    }
    ChessGame* game = _FindGame(member, line.Words()[0]);
    if (!game)
        return;
    if (!game->SideOf(member.key)) {
        _Send(member, Reply::NotAllowed("you do not play in game " + std::to_string(game->Id())));
        return;
    }
    _Leave(member, *game, false);
}

void Lobby::_Leave(Member& member, ChessGame& game, bool disconnected)
{
    std::optional<Side> side = game.SideOf(member.key);
    if (!side)
        return;
    std::int64_t id = game.Id();
    switch (game.State()) {
    case GameState::Open:
        if (!disconnected)
            _SendToGame(game, Reply::Aborted(id, static_cast<int>(*side)));
        game.Finish();
        LogEvent("game " + std::to_string(id) + " withdrawn");
        _Broadcast(Reply::GameEnded(id, "Challenge withdrawn."));
        break;
    case GameState::Running: {
        game.Leave(*side); // the leaver hears nothing more of it
        if (!disconnected)
            _Send(member, Reply::Aborted(id, static_cast<int>(*side)));
        _SendToGame(game, Reply::Aborted(id, static_cast<int>(*side)));
        _Finish(game, EndOfAbort(*side, game.BothSidesMoved(), disconnected));
        break;
    }
    case GameState::Finished:
        break;
    }
    game.Leave(*side);
    member.playing.erase(id);
    if (game.Abandoned())
        _Forget(game);
}

void Lobby::_Finish(ChessGame& game, const GameEnd& end)
{
    std::int64_t id = game.Id();
    if (GameClock* clock = game.Clock())
        clock->Stop(std::chrono::steady_clock::now());
    fFlagTimers.erase(id);
    game.drawOffer.reset();
    game.Finish();
    game.Touch(std::chrono::steady_clock::now());
    fRunning.Ended(id);
    // A player still away hears nothing of it; the game is theirs no more.
    fAwayGames.erase(id);
    for (Side side : {Side::White, Side::Black}) {
        if (game.IsAway(side))
            game.Leave(side);
    }
    LogEvent("game " + std::to_string(id) + " ended: " + end.reason);
    if (!fQuietTimerArmed)
        _ForgetQuietGames();
    if (!end.rated) {
        _Broadcast(Reply::GameEnded(id, end.reason));
        // The players hear of the end at once, not with the next lines to everyone.
        for (Side side : {Side::White, Side::Black}) {
            if (Member* player = _OnlineMember(game.SeatOf(side).key))
                player->connection->Flush();
        }
        return;
    }
    // Announced once stored (LobbyResults.cpp).
    const Seat& white = game.SeatOf(Side::White);
    const Seat& black = game.SeatOf(Side::Black);
    PendingResult result;
    result.record.id = id;
    result.record.whiteId = white.accountId;
    result.record.blackId = black.accountId;
    result.record.result = ResultText(end.score);
    result.record.reason = end.reason;
    result.record.moves = game.MoveList();
    result.record.whiteScore = WhiteScore(end.score);
    result.record.minutes = game.Control().minutes;
    result.record.seconds = game.Control().seconds;
    if (const GameClock* clock = game.Clock())
        result.record.moveTimes = clock->MoveTimes();
    result.whiteKey = white.key;
    result.blackKey = black.key;
    fResults.push_back(std::move(result));
    _StoreNextResult();
}

void Lobby::_Forget(ChessGame& game)
{
    std::int64_t id = game.Id();
    for (std::uint64_t watcher : game.Watchers()) {
        auto found = fMembers.find(watcher);
        if (found != fMembers.end())
            found->second.watching.erase(id);
    }
    for (Side side : {Side::White, Side::Black}) {
        if (Member* player = _OnlineMember(game.SeatOf(side).key))
            player->playing.erase(id);
    }
    fGames.erase(id);
}

void Lobby::_ForgetQuietGames()
{
    // Players who never close a finished game's window would otherwise keep
    // it for as long as they stay.
    auto now = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> next;
    for (auto it = fGames.begin(); it != fGames.end();) {
        ChessGame& game = *(it++)->second;
        if (game.State() != GameState::Finished)
            continue;
        auto due = game.QuietSince() + fConfig.finishedGameIdle;
        if (due <= now)
            _Forget(game);
        else
            next = next ? std::min(*next, due) : due;
    }
    fQuietTimerArmed = next.has_value();
    if (!next)
        return;
    // Games that end close together are forgotten together.
    fQuietTimer.expires_at(std::max(*next, now + fConfig.finishedGameIdle / 60));
    std::weak_ptr<int> alive = fAlive;
    fQuietTimer.async_wait([this, alive](const asio::error_code& error) {
        if (!error && alive.lock())
            _ForgetQuietGames();
    });
}

} // namespace tolvar::server
