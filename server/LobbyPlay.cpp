// The lobby's extension commands: the features a client follows, timed
// games and their clocks, resignation, draw offers, calling a game off
// before it has begun, and rematches. Clients that never sent FEATURES get
// none of the notices here, only the answers to their own commands.

#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/Reply.h"
#include "server/TextRules.h"

namespace tolvar::server {

namespace {

using SteadyClock = std::chrono::steady_clock;

// A number of one to three digits, up to `max`.
std::optional<int> SmallNumber(const std::string& text, int max)
{
    std::optional<std::int64_t> value = ParseDecimal(text, 3);
    if (!value || *value > max)
        return std::nullopt;
    return static_cast<int>(*value);
}

int SideNumber(Side side)
{
    return static_cast<int>(side);
}

} // namespace

void Lobby::_Features(Member& member, const ClientLine& line)
{
    bool resumed = member.features.Has(Feature::Resume);
    bool clocks = member.features.Has(Feature::Clock);
    member.features = FeatureSet::Announced(line.Words());
    bool returning = !resumed && member.features.Has(Feature::Resume);
    _FeaturesChanged(member, returning);
    auto answer = [this, clocks](Member& asked) {
        _Send(asked, Reply::Features(asked.features.Words()));
        // The connection has taken everything of its old stream with the
        // answer, and hears the other from now on.
        if (clocks != asked.features.Has(Feature::Clock))
            asked.connection->Listen(clocks ? &fStream : &fClockStream);
    };
    // In a cluster, the games other nodes kept for the player come first too.
    if (returning && fBus) {
        auto [fields, body] = _ReturnMessage(member);
        member.elsewhere = true;
        _AwaitOtherNodes(member, "R", fields, body, answer);
    } else {
        answer(member);
    }
}

void Lobby::_MakeTimed(Member& member, const ClientLine& line)
{
    const auto& words = line.Words();
    std::optional<int> minutes, seconds;
    if (words.size() == 3) {
        minutes = SmallNumber(words[1], 180);
        seconds = SmallNumber(words[2], 180);
    }
    if (!minutes || !seconds || (words[0] != "0" && words[0] != "1")) {
        _Send(member, Reply::Refused("usage: MAKETIMED colour minutes seconds :description"));
        return;
    }
    _OpenGame(member, words[0] == "1" ? Side::White : Side::Black, line.Text(),
              TimeControl{*minutes, *seconds});
}

std::optional<Side> Lobby::_RunningSeat(Member& member, const ClientLine& line, const char* usage,
                                        std::size_t words, ChessGame** game)
{
    if (line.Words().size() != words || line.HasText()) {
        _Send(member, Reply::Refused(usage));
        return std::nullopt;
    }
    ChessGame* found = _FindGame(member, line.Words()[0]);
    if (!found)
        return std::nullopt;
    std::optional<Side> side = found->SideOf(member.key);
    if (!side) {
        _Send(member, Reply::NotAllowed("not your game"));
        return std::nullopt;
    }
    // A flag that has fallen, its timer not yet run, ends the game first.
    if (found->State() != GameState::Running || _CheckFlag(*found)) {
        _Send(member, Reply::NotAllowed("game " + std::to_string(found->Id()) + " is not running"));
        return std::nullopt;
    }
    *game = found;
    return side;
}

bool Lobby::_TakeOffer(Member& member, const char* what)
{
    auto now = SteadyClock::now();
    if (!member.offers)
        member.offers.emplace(fConfig.offerBurst, fConfig.offersPerSecond, now);
    if (member.offers->Take(now))
        return true;
    _Send(member, Reply::NotAllowed(std::string("too many ") + what + " offers; wait a little"));
    return false;
}

void Lobby::_Resign(Member& member, const ClientLine& line)
{
    ChessGame* game = nullptr;
    if (std::optional<Side> side = _RunningSeat(member, line, "usage: RESIGN id", 1, &game))
        _Finish(*game, EndOfResignation(*side));
}

void Lobby::_Draw(Member& member, const ClientLine& line)
{
    const char* usage = "usage: DRAW id offer|accept|decline";
    const auto& words = line.Words();
    std::string what = words.size() == 2 ? NameKey(words[1]) : std::string();
    if (what != "offer" && what != "accept" && what != "decline") {
        _Send(member, Reply::Refused(usage));
        return;
    }
    ChessGame* game = nullptr;
    std::optional<Side> side = _RunningSeat(member, line, usage, 2, &game);
    if (!side)
        return;
    Side other = Opponent(*side);
    std::int64_t id = game->Id();
    if (what != "offer") {
        if (game->drawOffer != other) {
            _Send(member,
                  Reply::NotAllowed("no draw offer to answer in game " + std::to_string(id)));
            return;
        }
        if (what == "accept") {
            _Finish(*game, EndOfAgreement());
            return;
        }
        game->drawOffer.reset();
        _SendToSeat(*game, other, Feature::Draw, Reply::DrawNews(id, SideNumber(*side), "decline"));
        return;
    }
    // Offers from both sides meet: the second accepts the first, and is no
    // offer of its own to count.
    if (game->drawOffer == other) {
        _Finish(*game, EndOfAgreement());
        return;
    }
    if (!_TakeOffer(member, "draw") || game->drawOffer == *side)
        return;
    game->drawOffer = *side;
    _SendToSeat(*game, other, Feature::Draw, Reply::DrawNews(id, SideNumber(*side), "offer"));
}

void Lobby::_AbortGame(Member& member, const ClientLine& line)
{
    ChessGame* game = nullptr;
    if (!_RunningSeat(member, line, "usage: ABORTGAME id", 1, &game))
        return;
    if (game->BothSidesMoved()) {
        _Send(member, Reply::NotAllowed("game " + std::to_string(game->Id()) +
                                        " can no longer be aborted"));
        return;
    }
    _Finish(*game, EndOfCallingOff());
}

void Lobby::_Rematch(Member& member, const ClientLine& line)
{
    const auto& words = line.Words();
    bool decline = words.size() == 2 && NameKey(words[1]) == "decline";
    if ((words.size() != 1 && !decline) || line.HasText()) {
        _Send(member, Reply::Refused("usage: REMATCH id [decline]"));
        return;
    }
    ChessGame* game = _FindGame(member, words[0]);
    if (!game)
        return;
    std::string id = std::to_string(game->Id());
    std::optional<Side> side = game->SideOf(member.key);
    if (!side) {
        _Send(member, Reply::NotAllowed("not your game"));
        return;
    }
    if (game->State() != GameState::Finished) {
        bool open = game->State() == GameState::Open;
        _Send(member,
              Reply::NotAllowed("game " + id + (open ? " is not running" : " is not over")));
        return;
    }
    Side other = Opponent(*side);
    const Seat& otherSeat = game->SeatOf(other);
    Member* opponent = otherSeat.present ? _OnlineMember(otherSeat.key) : nullptr;
    if (!opponent) {
        _Send(member, Reply::NotAllowed("your opponent has left"));
        return;
    }
    if (decline) {
        if (game->rematchOffer != other) {
            _Send(member, Reply::NotAllowed("no rematch offer to answer in game " + id));
            return;
        }
        game->rematchOffer.reset();
        _SendToSeat(*game, other, Feature::Rematch,
                    Reply::RematchNews(game->Id(), SideNumber(*side), "decline"));
        return;
    }
    if (game->rematchOffer != other) {
        if (!_TakeOffer(member, "rematch") || game->rematchOffer == *side)
            return;
        game->rematchOffer = *side;
        _SendToSeat(*game, other, Feature::Rematch,
                    Reply::RematchNews(game->Id(), SideNumber(*side), "offer"));
        return;
    }

    // Both players asked: a new running game with the colours swapped.
    for (Member* player : {&member, opponent}) {
        if (_ActiveGames(*player, false) >= fConfig.maxGamesPerUser) {
            _Send(member, Reply::NotAllowed("at most " + std::to_string(fConfig.maxGamesPerUser) +
                                            " games at a time"));
            return;
        }
    }
    std::int64_t newId = _NewGameId(member, [this, line](Member& again) { _Rematch(again, line); });
    if (newId == 0)
        return;
    game->rematchOffer.reset();
    Seat white = game->SeatOf(Side::Black);
    Seat black = game->SeatOf(Side::White);
    auto made = std::make_unique<ChessGame>(newId, game->Description(), Side::White, white,
                                            game->Control(), fConfig.clockScale);
    made->Join(black);
    StoredGame stored = _Stored(*made);
    fGames.emplace(newId, std::move(made));
    member.playing.insert(newId);
    opponent->playing.insert(newId);
    LogEvent("game " + std::to_string(newId) + " is a rematch of game " + id);
    // The players learn which game is their rematch just before its 118.
    fRunning.Started(stored, [this, newId,
                              news = Reply::RematchNews(game->Id(), SideNumber(*side), "new",
                                                        newId)] { _Started(newId, news); });
}

void Lobby::_Started(std::int64_t id, const std::string& news)
{
    auto found = fGames.find(id);
    if (found == fGames.end() || found->second->State() != GameState::Running)
        return;
    const ChessGame& game = *found->second;
    std::vector<Member*> players;
    for (Side side : {Side::White, Side::Black}) {
        if (Member* player = _OnlineMember(game.SeatOf(side).key))
            players.push_back(player);
    }
    for (Member* player : players) {
        if (!news.empty() && player->features.Has(Feature::Rematch))
            _Send(*player, news);
    }
    _Broadcast(_GameInfo(game));
    _Announce(game);
    for (Member* player : players) {
        if (player->features.Has(Feature::Clock))
            _SendClock(game, player);
    }
}

// ---- Clocks ----------------------------------------------------------------

void Lobby::_Announce(const ChessGame& game)
{
    if (!game.Control().Timed())
        return;
    _BroadcastToClocks(
        Reply::TimeControlOf(game.Id(), game.Control().minutes, game.Control().seconds));
}

void Lobby::_SendClock(const ChessGame& game, Member* only)
{
    const GameClock* clock = game.Clock();
    if (!clock)
        return;
    auto now = SteadyClock::now();
    std::optional<Side> running = clock->Running();
    std::string line =
        Reply::ClockState(game.Id(), clock->Left(Side::White, now), clock->Left(Side::Black, now),
                          running ? SideNumber(*running) : -1);
    if (only) {
        _Send(*only, line);
        return;
    }
    for (Side side : {Side::White, Side::Black})
        _SendToSeat(game, side, Feature::Clock, line);
    for (std::uint64_t watcher : game.Watchers()) {
        auto found = fMembers.find(watcher);
        if (found != fMembers.end() && found->second.features.Has(Feature::Clock))
            _Send(found->second, line);
    }
}

void Lobby::_SendToSeat(const ChessGame& game, Side side, Feature feature, std::string_view line)
{
    const Seat& seat = game.SeatOf(side);
    if (!seat.present)
        return;
    Member* player = _OnlineMember(seat.key);
    if (player && player->features.Has(feature))
        _Send(*player, line);
}

void Lobby::_AfterMove(ChessGame& game, Side mover)
{
    if (GameClock* clock = game.Clock()) {
        // The clock took the move when it arrived (_Move); the other side's
        // time runs from the announcement.
        clock->StartFrom(SteadyClock::now());
        _SendClock(game);
        _ArmFlag(game);
    }
    if (!game.drawOffer)
        return;
    Side offerer = *game.drawOffer;
    game.drawOffer.reset();
    // The offerer's own move withdraws the offer; the other side's move
    // declines it.
    if (offerer == mover)
        _SendToSeat(game, Opponent(mover), Feature::Draw,
                    Reply::DrawNews(game.Id(), SideNumber(mover), "cancel"));
    else
        _SendToSeat(game, offerer, Feature::Draw,
                    Reply::DrawNews(game.Id(), SideNumber(mover), "decline"));
}

bool Lobby::_CheckFlag(ChessGame& game)
{
    GameClock* clock = game.Clock();
    if (game.State() != GameState::Running || !clock || !clock->Running())
        return false;
    Side running = *clock->Running();
    if (clock->Left(running, SteadyClock::now()) > 0)
        return false;
    bool winnerCanMate = game.CanMate(Opponent(running));
    _Finish(game, EndOfTime(running, winnerCanMate));
    return true;
}

void Lobby::_ArmFlag(const ChessGame& game)
{
    std::int64_t id = game.Id();
    const GameClock* clock = game.Clock();
    if (!clock || !clock->Running()) {
        fFlagTimers.erase(id);
        return;
    }
    std::unique_ptr<asio::steady_timer>& timer = fFlagTimers[id];
    if (!timer)
        timer = std::make_unique<asio::steady_timer>(fLoop);
    timer->expires_at(clock->Deadline());
    std::weak_ptr<int> alive = fAlive;
    timer->async_wait([this, alive, id](const asio::error_code& error) {
        if (error || !alive.lock())
            return;
        auto found = fGames.find(id);
        // A wait that completed just as the clock moved on is only early.
        if (found != fGames.end() && !_CheckFlag(*found->second))
            _ArmFlag(*found->second);
    });
}

} // namespace tolvar::server
