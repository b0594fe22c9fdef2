#include "server/Lobby.h"

#include "server/AccountStore.h"
#include "server/Elo.h"
#include "server/EventLog.h"
#include "server/PasswordHash.h"
#include "server/Reply.h"
#include "server/TextRules.h"
#include "server/WorkerPool.h"

#include <algorithm>
#include <vector>

namespace tolvar::server {

Lobby::Lobby(asio::io_context& loop, const ServerConfig& config, AccountStore& store,
             WorkerPool& storeWorker, WorkerPool& hashWorkers, std::int64_t firstGameId)
    : fLoop(loop), fConfig(config), fStore(store), fStoreWorker(storeWorker),
      fHashWorkers(hashWorkers), fNextGameId(firstGameId)
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

void Lobby::Add(const std::shared_ptr<Connection>& connection)
{
    Member& member = fMembers[connection->Id()];
    member.connection = connection;
    LogEvent("connection from " + connection->Peer());
    _Send(member, Reply::Greeting(fConfig.description));
}

void Lobby::OnLine(Connection& connection, const ClientLine& line)
{
    auto found = fMembers.find(connection.Id());
    if (found == fMembers.end())
        return;
    Member& member = found->second;

    static const std::map<std::string, std::pair<Handler, bool>> kCommands = {
        {"CREATE", {&Lobby::_Create, false}},     {"USER", {&Lobby::_User, false}},
        {"GAMES", {&Lobby::_Games, true}},        {"USERS", {&Lobby::_Users, true}},
        {"PUBLMSG", {&Lobby::_PublicChat, true}}, {"GAMEMSG", {&Lobby::_GameChat, true}},
        {"MAKE", {&Lobby::_Make, true}},          {"PLAY", {&Lobby::_Play, true}},
        {"OBSERVE", {&Lobby::_Observe, true}},    {"MOVE", {&Lobby::_Move, true}},
        {"ABORT", {&Lobby::_Abort, true}},
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
    (this->*handler)(member, line);
}

void Lobby::OnClosed(Connection& connection)
{
    auto found = fMembers.find(connection.Id());
    if (found == fMembers.end())
        return;
    Member& member = found->second;
    if (fShuttingDown || !member.loggedIn) {
        fMembers.erase(found);
        return;
    }
    std::set<std::int64_t> playing = member.playing;
    for (std::int64_t id : playing) {
        auto game = fGames.find(id);
        if (game != fGames.end())
            _Leave(member, *game->second, true);
    }
    for (std::int64_t id : member.watching) {
        auto game = fGames.find(id);
        if (game != fGames.end())
            game->second->RemoveWatcher(connection.Id());
    }
    std::string name = member.name;
    fOnline.erase(member.key);
    fMembers.erase(found);
    LogEvent(name + " logged out");
    _Broadcast(Reply::UserLeft(name));
}

void Lobby::Shutdown()
{
    fShuttingDown = true;
    for (auto& [id, member] : fMembers)
        member.connection->Close("server stopping");
    fGames.clear();
    fOnline.clear();
}

// ---- Accounts --------------------------------------------------------------

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
    member.connection->PauseInput();
    std::uint64_t id = member.connection->Id();
    HashCost cost = fConfig.hashCost;
    fHashWorkers.Post([this, id, name, password, cost] {
        std::optional<std::string> hash = HashPassword(password, cost);
        if (!hash) {
            _OnLoop([this, id, name] {
                _AccountCreated(id, name, static_cast<int>(AccountStore::Created::Failed));
            });
            return;
        }
        fStoreWorker.Post([this, id, name, hash = *hash] {
            auto created = fStore.CreateAccount(name, hash, kStartRating);
            if (created == AccountStore::Created::Failed)
                LogEvent("cannot store account " + name + ": " + fStore.LastError());
            _OnLoop([this, id, name, created] {
                _AccountCreated(id, name, static_cast<int>(created));
            });
        });
    });
}

void Lobby::_AccountCreated(std::uint64_t id, const std::string& name, int outcome)
{
    auto found = fMembers.find(id);
    if (outcome == static_cast<int>(AccountStore::Created::Yes))
        LogEvent("account " + name + " created");
    if (found == fMembers.end())
        return;
    Member& member = found->second;
    switch (static_cast<AccountStore::Created>(outcome)) {
    case AccountStore::Created::Yes:
        _Send(member, Reply::AccountCreated(name));
        break;
    case AccountStore::Created::NameTaken:
        _Send(member, Reply::AccountRefused("the name " + name + " is taken"));
        break;
    case AccountStore::Created::Failed:
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
    member.connection->PauseInput();
    std::uint64_t id = member.connection->Id();
    fStoreWorker.Post([this, id, name, password] {
        std::optional<Account> account = fStore.FindAccount(name);
        if (!account) {
            _OnLoop([this, id, name] { _LoginChecked(id, name, std::nullopt, false); });
            return;
        }
        fHashWorkers.Post([this, id, name, password, account] {
            bool verified = VerifyPassword(account->passwordHash, password);
            _OnLoop([this, id, name, account, verified] {
                _LoginChecked(id, name, account, verified);
            });
        });
    });
}

void Lobby::_LoginChecked(std::uint64_t id, const std::string& name,
                          const std::optional<Account>& account, bool verified)
{
    auto found = fMembers.find(id);
    if (found == fMembers.end())
        return;
    Member& member = found->second;
    if (!account || !verified) {
        LogEvent("failed login as " + name + " from " + member.connection->Peer());
        _LoginFailed(member);
        return;
    }
    // Only the right password learns that the account is in use.
    std::string key = NameKey(name);
    if (fOnline.count(key)) {
        _Send(member, Reply::AlreadyLoggedIn(name));
        member.connection->ResumeInput();
        return;
    }
    // The connection keeps the name as typed: the client recognises its own
    // games by comparing names exactly.
    member.loggedIn = true;
    member.name = name;
    member.key = key;
    member.accountId = account->id;
    fRatings.emplace(account->id, account->rating);
    fOnline[key] = id;
    member.connection->StopLoginTimer();
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

void Lobby::_Games(Member& member, const ClientLine&)
{
    for (const auto& [id, game] : fGames) {
        if (game->State() != GameState::Finished)
            _Send(member, _GameInfo(*game));
    }
}

void Lobby::_Users(Member& member, const ClientLine&)
{
    std::vector<const Member*> online;
    for (const auto& [key, id] : fOnline)
        online.push_back(&fMembers.at(id));
    std::sort(online.begin(), online.end(),
              [](const Member* a, const Member* b) { return a->key < b->key; });
    for (const Member* other : online)
        _Send(member, Reply::UserOnline(other->name, _Rating(other->accountId)));
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

void Lobby::_Send(Member& member, std::string line)
{
    member.connection->Send(std::move(line));
}

void Lobby::_Broadcast(const std::string& line, const Member* except)
{
    for (auto& [id, member] : fMembers) {
        if (member.loggedIn && &member != except)
            member.connection->Send(line);
    }
}

void Lobby::_SendToGame(const ChessGame& game, const std::string& line)
{
    for (Side side : {Side::White, Side::Black}) {
        const Seat& seat = game.SeatOf(side);
        if (!seat.present)
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
