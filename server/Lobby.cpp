#include "server/Lobby.h"

#include "server/Elo.h"
#include "server/EventLog.h"
#include "server/PasswordHash.h"
#include "server/Reply.h"
#include "server/TextRules.h"
#include "server/WorkerPool.h"

#include <algorithm>

namespace tolvar::server {

Lobby::Lobby(asio::io_context& loop, const ServerConfig& config, Storage& store,
             WorkerPool& storeWorker, WorkerPool& hashWorkers, std::int64_t firstGameId)
    : fLoop(loop), fConfig(config), fStore(store), fStoreWorker(storeWorker),
      fHashWorkers(hashWorkers), fLogins(loop, config),
      fGameIds(loop, store, storeWorker, firstGameId, config.gameIdBatch), fRetryTimer(loop),
      fRetryDelay(config.resultRetry), fQuietTimer(loop), fStreamTimer(loop),
      fRunning(loop, store, storeWorker, config.resultRetry), fAwayTimer(loop)
{
}

Lobby::~Lobby() = default;

void Lobby::_OnLoop(std::function<void()> job)
{
    std::weak_ptr<int> alive = fAlive;
    asio::post(fLoop, [alive, job = std::move(job)] {
        if (alive.lock())
            job();
    });
}

void Lobby::Admit(const std::shared_ptr<Connection>& connection, bool counted)
{
    if (!counted)
        fUncounted.insert(connection->Id());
    if (!fBus || !counted) {
        _Admit(connection, 0, 0);
        return;
    }
    // What this node alone has refuses it at once; so no more connections
    // wait for the others' counts than the limits let in.
    if (_Refused(*connection, 0, 0))
        return;
    // Counted here meanwhile, so that two nodes admitting at once see each other.
    std::string address = connection->Address();
    ++fAdmitting;
    ++fAdmittingFrom[address];
    _AskOtherNodes(
        "G", address, {}, [this, connection, address](const std::vector<std::string>& answers) {
            --fAdmitting;
            if (--fAdmittingFrom[address] <= 0)
                fAdmittingFrom.erase(address);
            std::size_t others = 0;
            int otherGuests = 0;
            for (const std::string& answer : answers) {
                std::size_t cut = answer.find(' ');
                others += ParseDecimal(answer.substr(0, cut), 9).value_or(0);
                if (cut != std::string::npos)
                    otherGuests +=
                        static_cast<int>(ParseDecimal(answer.substr(cut + 1), 9).value_or(0));
            }
            _Admit(connection, others, otherGuests);
        });
}

void Lobby::_Admit(const std::shared_ptr<Connection>& connection, std::size_t others,
                   int otherGuests)
{
    bool counted = !fUncounted.count(connection->Id());
    if (counted && _Refused(*connection, others, otherGuests))
        return;
    Member& member = fMembers[connection->Id()];
    member.connection = connection;
    if (counted) {
        ++fGuests[connection->Address()];
        LogEvent("connection from " + connection->Peer());
    } else {
        connection->Quiet();
    }
    _Send(member, Reply::Greeting(fConfig.description));
    connection->Start();
}

bool Lobby::_Refused(Connection& connection, std::size_t others, int otherGuests)
{
    if (_ConnectionCount() + others >= static_cast<std::size_t>(fConfig.maxConnections)) {
        connection.Send(Reply::Refused("server full; try again later"));
        connection.CloseAfterSending("server full");
        return true;
    }
    if (_GuestsFrom(connection.Address()) + otherGuests >= fConfig.maxGuestsPerAddress) {
        // Or one address could take every connection without logging in.
        connection.Send(Reply::Refused("too many connections from your address; try again later"));
        connection.CloseAfterSending("too many connections from " + connection.Address());
        return true;
    }
    return false;
}

std::size_t Lobby::_ConnectionCount() const
{
    return fMembers.size() - fProxies.size() - fUncounted.size() + fAdmitting;
}

int Lobby::_GuestsFrom(const std::string& address) const
{
    auto found = fGuests.find(address);
    auto admitting = fAdmittingFrom.find(address);
    return (found == fGuests.end() ? 0 : found->second) +
           (admitting == fAdmittingFrom.end() ? 0 : admitting->second);
}

void Lobby::_ReleaseGuest(Member& member)
{
    if (fUncounted.count(member.connection->Id()))
        return;
    auto found = fGuests.find(member.connection->Address());
    if (found != fGuests.end() && --found->second <= 0)
        fGuests.erase(found);
}

void Lobby::OnLine(Connection& connection, const ClientLine& line)
{
    auto found = fMembers.find(connection.Id());
    if (found == fMembers.end())
        return;
    Member& member = found->second;

    static const std::map<std::string, std::pair<Handler, bool>> kCommands = {
        {"CREATE", {&Lobby::_Create, false}},      {"USER", {&Lobby::_User, false}},
        {"GAMES", {&Lobby::_Games, true}},         {"USERS", {&Lobby::_Users, true}},
        {"PUBLMSG", {&Lobby::_PublicChat, true}},  {"GAMEMSG", {&Lobby::_GameChat, true}},
        {"MAKE", {&Lobby::_Make, true}},           {"PLAY", {&Lobby::_Play, true}},
        {"OBSERVE", {&Lobby::_Observe, true}},     {"MOVE", {&Lobby::_Move, true}},
        {"ABORT", {&Lobby::_Abort, true}},         {"FEATURES", {&Lobby::_Features, true}},
        {"MAKETIMED", {&Lobby::_MakeTimed, true}}, {"RESIGN", {&Lobby::_Resign, true}},
        {"DRAW", {&Lobby::_Draw, true}},           {"ABORTGAME", {&Lobby::_AbortGame, true}},
        {"REMATCH", {&Lobby::_Rematch, true}},     {"ARCHIVE", {&Lobby::_Archive, true}},
        {"RECORD", {&Lobby::_Record, true}},       {"PONG", {&Lobby::_Pong, true}},
    };
    auto command = kCommands.find(line.Command());
    if (command == kCommands.end()) {
        _Send(member, Reply::Refused("unknown command " + Shortened(line.Command(), 20)));
        return;
    }
    auto [handler, needsLogin] = command->second;
    if (needsLogin && !member.loggedIn) {
        _Send(member, Reply::Refused("log in first"));
        return;
    }
    if (!needsLogin && member.loggedIn) {
        _Send(member, Reply::Refused("already logged in"));
        return;
    }
    if (fBus && _Forward(member, line))
        return;
    if (fBus && (handler == &Lobby::_Users || handler == &Lobby::_Games)) {
        // What the other nodes told everyone before the question, the asker
        // hears before the answer, as from one server.
        _AwaitOtherNodes(member, "P", {}, {}, [this, answer = handler, line](Member& asker) {
            (this->*answer)(asker, line);
        });
        return;
    }
    (this->*handler)(member, line);
}

void Lobby::OnClosed(Connection& connection)
{
    auto found = fMembers.find(connection.Id());
    if (found == fMembers.end())
        return;
    Member& member = found->second;
    fLogins.Drop(connection.Id());
    fClaims.erase(connection.Id()); // a login the cluster was asked about
    if (fShuttingDown || !member.loggedIn) {
        if (!member.loggedIn)
            _ReleaseGuest(member);
        fUncounted.erase(connection.Id());
        fMembers.erase(found);
        return;
    }
    std::set<std::int64_t> playing = member.playing;
    for (std::int64_t id : playing) {
        auto game = fGames.find(id);
        if (game == fGames.end())
            continue;
        std::optional<Side> side = game->second->SideOf(member.key);
        if (member.features.Has(Feature::Resume) && side &&
            game->second->State() == GameState::Running)
            _KeepForReturn(member, *game->second, *side);
        else
            _Leave(member, *game->second, true);
    }
    for (std::int64_t id : member.watching) {
        auto game = fGames.find(id);
        if (game != fGames.end())
            game->second->RemoveWatcher(connection.Id());
    }
    std::string name = member.name;
    fUncounted.erase(connection.Id());
    if (auto online = fOnline.find(member.key);
        online != fOnline.end() && online->second == connection.Id())
        fOnline.erase(online);
    if (!member.home.empty()) {
        // A client of another node: it is that node's to announce.
        _ProxyClosed(member);
        fMembers.erase(found);
        return;
    }
    LogEvent(name + " logged out");
    if (fBus)
        _LeftCluster(member, Reply::UserLeft(name));
    else
        _Broadcast(Reply::UserLeft(name));
    fMembers.erase(found);
}

void Lobby::Shutdown()
{
    fShuttingDown = true;
    for (auto& [id, member] : fMembers)
        member.connection->Close("server stopping");
    fFlagTimers.clear();
    fGames.clear();
    fOnline.clear();
    fRetryTimer.cancel();
    fQuietTimer.cancel();
    fStreamTimer.cancel();
    fAwayTimer.cancel();
    if (fBeatTimer)
        fBeatTimer->cancel();
    fClaims.clear();
    fAsked.clear();
    // The results being stored have their own job on the worker already.
    for (std::size_t i = fStoring; i < fResults.size(); ++i) {
        fStoreWorker.Post([this, record = fResults[i].record]() mutable {
            if (!fStore.RecordGame(record))
                LogEvent("ERROR: the result of game " + std::to_string(record.id) +
                         " is lost: it could not be stored (" + fStore.LastError() + ")");
        });
    }
    fResults.clear();
}

// ---- Accounts --------------------------------------------------------------

bool Lobby::_Queue(Member& member, const std::string& name, std::function<void()> start)
{
    Connection& connection = *member.connection;
    connection.PauseInput();
    if (fLogins.Add(connection.Id(), connection.Address(), NameKey(name), std::move(start)))
        return true;
    _Send(member, Reply::Unavailable("server busy; try again later"));
    connection.ResumeInput();
    return false;
}

void Lobby::_Create(Member& member, const ClientLine& line)
{
    std::string name = line.CredentialName();
    std::string password = line.CredentialPassword();
    if (!IsValidUserName(name)) {
        _Send(member, Reply::AccountRefused("a name has 2 to 16 letters, digits, _ or -"));
        return;
    }
    if (password.empty()) {
        _Send(member, Reply::AccountRefused("the password must not be empty"));
        return;
    }
    if (password.size() > fConfig.maxPasswordBytes) {
        _Send(member, Reply::AccountRefused("the password is longer than " +
                                            std::to_string(fConfig.maxPasswordBytes) + " bytes"));
        return;
    }
    std::uint64_t id = member.connection->Id();
    _Queue(member, name, [this, id, name, password] {
        HashCost cost = fConfig.hashCost;
        fHashWorkers.Post([this, id, name, password, cost] {
            std::optional<std::string> hash = HashPassword(password, cost);
            if (!hash) {
                _OnLoop([this, id, name] { _AccountCreated(id, name, Storage::Created::Failed); });
                return;
            }
            fStoreWorker.Post([this, id, name, hash = *hash] {
                auto created = fStore.CreateAccount(name, hash, kStartRating);
                if (created == Storage::Created::Failed)
                    LogEvent("cannot store account " + name + ": " + fStore.LastError());
                _OnLoop([this, id, name, created] { _AccountCreated(id, name, created); });
            });
        });
    });
}

void Lobby::_AccountCreated(std::uint64_t id, const std::string& name, Storage::Created outcome)
{
    fLogins.Done(id, LoginQueue::Outcome::Neither);
    if (outcome == Storage::Created::Yes)
        LogEvent("account " + name + " created");
    auto found = fMembers.find(id);
    if (found == fMembers.end())
        return;
    Member& member = found->second;
    switch (outcome) {
    case Storage::Created::Yes:
        _Send(member, Reply::AccountCreated(name));
        break;
    case Storage::Created::NameTaken:
        _Send(member, Reply::AccountRefused("the name " + name + " is taken"));
        break;
    case Storage::Created::Failed:
        _Send(member, Reply::AccountRefused("the account could not be stored; try again later"));
        break;
    }
    member.connection->ResumeInput();
}

void Lobby::_User(Member& member, const ClientLine& line)
{
    std::string name = line.CredentialName();
    std::string password = line.CredentialPassword();
    if (!IsValidUserName(name) || password.empty() || password.size() > fConfig.maxPasswordBytes) {
        _LoginFailed(member);
        return;
    }
    std::uint64_t id = member.connection->Id();
    std::string peer = member.connection->Peer();
    member.connection->PauseInput();
    // The account is looked up at once; only the hash waits its turn.
    fStoreWorker.Post([this, id, peer, name, password] {
        Account account;
        Storage::Found found = fStore.FindAccount(name, &account);
        if (found == Storage::Found::Failed)
            LogEvent("ERROR: cannot read the accounts: " + fStore.LastError());
        _OnLoop([this, id, peer, name, password, found, account] {
            _AccountFound(id, peer, name, password, found, account);
        });
    });
}

const std::string& Lobby::_DummyHash()
{
    std::call_once(fDummyOnce, [this] {
        fDummyHash = HashPassword("no account has this password", fConfig.hashCost).value_or("");
    });
    return fDummyHash;
}

void Lobby::_AccountFound(std::uint64_t id, const std::string& peer, const std::string& name,
                          const std::string& password, Storage::Found found, const Account& account)
{
    auto it = fMembers.find(id);
    if (it == fMembers.end())
        return;
    Member& member = it->second;
    if (found == Storage::Found::Failed) {
        _Send(member, Reply::Unavailable("the accounts cannot be read; try again later"));
        member.connection->ResumeInput();
        return;
    }
    _Queue(member, name, [this, id, peer, name, password, found, account] {
        fHashWorkers.Post([this, id, peer, name, password, found, account] {
            // An unknown name costs the same hash as a known one, so that
            // the time of the answer does not tell which names exist.
            bool known = found == Storage::Found::Yes;
            bool right =
                VerifyPassword(known ? account.passwordHash : _DummyHash(), password) && known;
            _OnLoop([this, id, peer, name, account, right] {
                _LoginChecked(id, peer, name, account, right);
            });
        });
    });
}

void Lobby::_LoginChecked(std::uint64_t id, const std::string& peer, const std::string& name,
                          const Account& account, bool right)
{
    fLogins.Done(id, right ? LoginQueue::Outcome::Success : LoginQueue::Outcome::Failure);
    if (!right)
        LogEvent("failed login as " + name + " from " + peer);
    auto found = fMembers.find(id);
    if (found == fMembers.end())
        return;
    Member& member = found->second;
    if (!right) {
        _LoginFailed(member);
        return;
    }
    // Only the right password learns that the account is in use.
    std::string key = NameKey(name);
    // In a cluster, a stand-in for another node's client does not count
    // here: that node answers for its clients.
    const Member* online = _OnlineMember(key);
    if (online && online->home.empty()) {
        _Send(member, Reply::AlreadyLoggedIn(name));
        member.connection->ResumeInput();
        return;
    }
    if (fBus) {
        _ClaimName(member, name, account);
        return;
    }
    _Enter(member, name, account);
}

void Lobby::_Enter(Member& member, const std::string& name, const Account& account)
{
    std::uint64_t id = member.connection->Id();
    std::string key = NameKey(name);
    // The connection keeps the name as typed: the client recognises its own
    // games by comparing names exactly.
    _ReleaseGuest(member);
    member.loggedIn = true;
    member.name = name;
    member.key = key;
    member.accountId = account.id;
    // A rating already known here may be newer than the one read with the
    // account: a result can have been stored meanwhile. In a cluster, other
    // nodes store results of players who are not here, and the database
    // knows better.
    if (fBus)
        fRatings[account.id] = account.rating;
    else
        fRatings.emplace(account.id, account.rating);
    fOnline[key] = id;
    member.connection->StopLoginTimer();
    member.connection->Listen(&fStream);
    LogEvent(name + " logged in from " + member.connection->Peer());
    _Send(member, Reply::LoggedIn(name));
    _Broadcast(Reply::UserArrived(name, _Rating(member.accountId)), &member);
    member.connection->ResumeInput();
}

void Lobby::_LoginFailed(Member& member)
{
    _Send(member, Reply::LoginRefused());
    if (++member.failedLogins >= fConfig.maxFailedLogins) {
        member.connection->CloseAfterSending("too many failed logins");
        return;
    }
    member.connection->ResumeInput();
}

// ---- Lists and public chat -------------------------------------------------

// Both lists go out as the client reads them: a lobby of thousands of games
// is more than a slow reader may have waiting. Each line is made when its
// turn comes, from the state of that moment.

void Lobby::_Games(Member& member, const ClientLine&)
{
    std::weak_ptr<int> alive = fAlive;
    std::int64_t next = 0;
    std::int64_t end = fGameIds.End(); // games made meanwhile are announced anyway
    bool clocks = member.features.Has(Feature::Clock);
    // In a cluster, the games of the other nodes too, as they are now, each
    // in its place by id.
    auto remote = std::make_shared<std::map<std::int64_t, std::string>>();
    for (const auto& [id, game] : fRemoteGames) {
        if (game.listed && !fGames.count(id))
            remote->emplace(id, game.info + (clocks ? game.clock : std::string()));
    }
    member.connection->SendAll([this, alive, next, end, clocks, remote](std::string& out) mutable {
        if (!alive.lock())
            return false;
        auto it = fGames.lower_bound(next);
        while (it != fGames.end() && it->first < end && it->second->State() == GameState::Finished)
            ++it;
        bool local = it != fGames.end() && it->first < end;
        if (!remote->empty() && (!local || remote->begin()->first < it->first)) {
            out += remote->begin()->second;
            remote->erase(remote->begin());
            return true;
        }
        if (!local)
            return false;
        next = it->first + 1;
        const ChessGame& game = *it->second;
        out += _GameInfo(game);
        if (clocks && game.Control().Timed())
            out += Reply::TimeControlOf(game.Id(), game.Control().minutes, game.Control().seconds);
        return true;
    });
}

void Lobby::_Users(Member& member, const ClientLine&)
{
    // The names as they are now, by name; whoever leaves meanwhile is left out.
    auto keys = std::make_shared<std::vector<std::string>>();
    keys->reserve(fOnline.size() + fRemoteUsers.size());
    for (const auto& [key, id] : fOnline)
        keys->push_back(key);
    // With the players of the other nodes of a cluster.
    for (const auto& [key, user] : fRemoteUsers)
        keys->push_back(key);
    std::sort(keys->begin(), keys->end());
    keys->erase(std::unique(keys->begin(), keys->end()), keys->end());
    std::weak_ptr<int> alive = fAlive;
    std::size_t next = 0;
    member.connection->SendAll([this, alive, keys, next](std::string& out) mutable {
        if (!alive.lock())
            return false;
        while (next < keys->size()) {
            const std::string& key = (*keys)[next++];
            const Member* other = _OnlineMember(key);
            if (other && other->home.empty()) {
                out += Reply::UserOnline(other->name, _Rating(other->accountId));
                return true;
            }
            if (auto remote = fRemoteUsers.find(key); remote != fRemoteUsers.end()) {
                out += Reply::UserOnline(remote->second.name, remote->second.rating);
                return true;
            }
        }
        return false;
    });
}

void Lobby::_PublicChat(Member& member, const ClientLine& line)
{
    if (!line.Words().empty() || !line.HasText()) {
        _Send(member, Reply::Refused("usage: PUBLMSG :text"));
        return;
    }
    if (!_AcceptChatText(member, line.Text()))
        return;
    _Broadcast(Reply::PublicChat(member.name, line.Text()));
}

bool Lobby::_AcceptChatText(Member& member, const std::string& text)
{
    if (text.empty()) {
        _Send(member, Reply::NotAllowed("empty message"));
        return false;
    }
    if (text.size() > fConfig.maxChatBytes) {
        _Send(member, Reply::NotAllowed("message longer than " +
                                        std::to_string(fConfig.maxChatBytes) + " bytes"));
        return false;
    }
    return true;
}

// ---- Delivery --------------------------------------------------------------

void Lobby::_Send(Member& member, std::string_view line)
{
    member.connection->Send(line);
}

void Lobby::_Broadcast(std::string_view line, const Member* except)
{
    std::uint64_t exceptId = except ? except->connection->Id() : 0;
    if (fHeld.empty())
        _Emit(line, exceptId, false);
    else
        fHeld.push_back({std::string(line), exceptId});
}

void Lobby::_Emit(std::string_view line, std::uint64_t exceptId, bool clocksOnly)
{
    if (clocksOnly) {
        fClockStream.Append(line);
        if (fBus)
            _Publish("tolvar.lobby", "K " + fConfig.nodeName, line);
        _ArmStreamTimer();
        return;
    }
    auto found = exceptId ? fMembers.find(exceptId) : fMembers.end();
    const Member* except = found == fMembers.end() ? nullptr : &found->second;
    // Every arrival, challenge or chat line goes to everyone. It is kept
    // once, in the stream, and written out a moment later together with
    // those that follow: with thousands logged in, a copy and a write per
    // line and client would swamp the server. A client's own replies and its
    // game's moves still go at once, and take what the stream holds along.
    if (except)
        except->connection->Flush();
    fStream.Append(line);
    fClockStream.Append(line);
    if (fBus)
        _ShareLine(line);
    if (except)
        except->connection->SkipHeard();
    _ArmStreamTimer();
}

void Lobby::_BroadcastToClocks(std::string_view line)
{
    if (fHeld.empty())
        _Emit(line, 0, true);
    else
        fHeld.push_back({std::string(line), 0, true});
}

void Lobby::_ReleaseHeld()
{
    while (!fHeld.empty() && fHeld.front().ready) {
        HeldLine held = std::move(fHeld.front());
        fHeld.pop_front();
        if (!held.line.empty()) // not a mere place in the order
            _Emit(held.line, held.except, held.clocksOnly);
    }
}

void Lobby::_ArmStreamTimer()
{
    if (fStreamTimerArmed)
        return;
    fStreamTimerArmed = true;
    // The wait grows with the audience (a write costs a few microseconds),
    // so that these writes never take more than a small part of the loop.
    auto share = std::chrono::microseconds(50) * fOnline.size();
    fStreamTimer.expires_after(std::max<std::chrono::steady_clock::duration>(
        fConfig.broadcastDelay,
        std::min<std::chrono::steady_clock::duration>(share, std::chrono::milliseconds(200))));
    std::weak_ptr<int> alive = fAlive;
    fStreamTimer.async_wait([this, alive](const asio::error_code& error) {
        if (error || !alive.lock())
            return;
        fStreamTimerArmed = false;
        for (auto& [id, member] : fMembers) {
            if (member.loggedIn)
                member.connection->Flush();
        }
        fStream.Forget();
        fClockStream.Forget();
    });
}

void Lobby::_SendToGame(const ChessGame& game, std::string_view line)
{
    for (Side side : {Side::White, Side::Black}) {
        const Seat& seat = game.SeatOf(side);
        if (!seat.present || game.IsAway(side))
            continue;
        if (Member* player = _OnlineMember(seat.key))
            _Send(*player, line);
    }
    for (std::uint64_t watcher : game.Watchers()) {
        auto found = fMembers.find(watcher);
        if (found != fMembers.end())
            _Send(found->second, line);
    }
}

Lobby::Member* Lobby::_OnlineMember(const std::string& key)
{
    auto found = fOnline.find(key);
    if (found == fOnline.end())
        return nullptr;
    auto member = fMembers.find(found->second);
    return member == fMembers.end() ? nullptr : &member->second;
}

int Lobby::_Rating(std::int64_t accountId) const
{
    auto found = fRatings.find(accountId);
    return found == fRatings.end() ? kStartRating : found->second;
}

} // namespace tolvar::server
