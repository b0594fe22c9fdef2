// The lobby as one node of a cluster. Nodes meet on a message bus:
//
// - Lines to everyone go to every node's clients, and from them each node
//   keeps the list of the other nodes' players and games, for USERS and
//   GAMES and for knowing which node runs a game.
// - A game runs on the node where it was made. A command of our client for a
//   game of another node goes there; that node serves the client through a
//   stand-in connection whose output comes back to us and goes out unchanged.
// - A login waits until every other node agrees that the name is not in use.
// - Every node beats twice a second; one silent for longer than kNodeSilence
//   is taken for lost, and its players leave the lists. The live node whose
//   name sorts first takes its running games up from the shared store; the
//   players come back to them as after a restart. The games nobody took up
//   leave the lists.
//
// Messages are text: a header line (kind, sending node, fields), then a body.

#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/NodeBus.h"
#include "server/Reply.h"
#include "server/TextRules.h"
#include "server/WorkerPool.h"

#include <algorithm>

namespace tolvar::server {

namespace {

const std::string kLobbySubject = "tolvar.lobby";
constexpr std::chrono::milliseconds kBeat{500};
constexpr std::chrono::milliseconds kNodeSilence{3000};
// How long a login waits for the other nodes' answers before it counts the
// silent ones as lost.
constexpr std::chrono::milliseconds kClaimWait{1000};
// Game ids are interleaved by node number: a node makes only ids whose
// remainder is its number.
constexpr std::int64_t kIdStride = 64;
// A command for a game id beyond any we know of waits this long, a few
// times, for the game's announcement, which may be on its way.
constexpr std::chrono::milliseconds kHoldStep{20};
constexpr int kHoldSteps = 10;

std::string NodeSubject(const std::string& node)
{
    return "tolvar.node." + node;
}

std::vector<std::string> Split(std::string_view text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos)
            end = text.size();
        parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::uint64_t Unsigned(const std::string& text)
{
    return ParseDecimal(text, 19).value_or(0);
}

// The number a node's name ends in.
int NodeNumber(const std::string& name)
{
    std::size_t digits = name.size();
    while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9')
        --digits;
    return static_cast<int>(ParseDecimal(name.substr(digits), 2).value_or(0));
}

} // namespace

void Lobby::JoinCluster(NodeBus& bus, std::vector<StoredGame> running)
{
    fBus = &bus;
    std::weak_ptr<int> alive = fAlive;
    auto handler = [this, alive](const std::string& subject, std::string data) {
        if (alive.lock() && !fShuttingDown)
            _BusMessage(subject, std::move(data));
    };
    if (!fStore.SharesGameIds())
        fGameIds.Interleave(kIdStride, fConfig.nodeNumber);
    // Guessing at passwords is slowed on every node alike.
    fLogins.ShareOutcomes(
        [this](const std::string& address, const std::string& account, bool failed) {
            _Publish(kLobbySubject, "W " + fConfig.nodeName + (failed ? " failed" : " ok"),
                     address + "\n" + account);
        });
    bus.Subscribe(kLobbySubject, handler);
    bus.Subscribe(NodeSubject(fConfig.nodeName), handler);
    fBeatTimer = std::make_unique<asio::steady_timer>(fLoop);
    fIncarnation = std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
    fOwner = fConfig.nodeName + " " + fIncarnation;
    LogEvent("node " + fConfig.nodeName + " joined the cluster");
    _Heartbeat();
    // The games this node ran before go on at once, unless another node
    // took them up meanwhile (the store says who did).
    std::vector<StoredGame> mine;
    std::erase_if(running, [&](StoredGame& game) {
        if (!game.owner.starts_with(fConfig.nodeName + " "))
            return false;
        mine.push_back(std::move(game));
        return true;
    });
    if (!mine.empty())
        _Claim(std::move(mine));
    if (running.empty())
        return;
    // Games of nodes that do not come back are the first node's to take up,
    // once it has heard the others.
    auto timer = std::make_shared<asio::steady_timer>(fLoop, kNodeSilence);
    timer->async_wait(
        [this, alive, timer, running = std::move(running)](const asio::error_code& error) mutable {
            if (error || !alive.lock() || fShuttingDown)
                return;
            // The running games nobody runs now are the first node's to take up.
            if (!fNodes.empty() && fNodes.begin()->first < fConfig.nodeName)
                return;
            std::erase_if(running, [this](const StoredGame& game) {
                auto found = fRemoteGames.find(game.id);
                std::string node = game.owner.substr(0, game.owner.find(' '));
                auto incarnation = fIncarnations.find(node);
                return (found != fRemoteGames.end() && !found->second.node.empty()) ||
                       (fNodes.count(node) && incarnation != fIncarnations.end() &&
                        game.owner == node + " " + incarnation->second);
            });
            _Claim(std::move(running));
        });
}

void Lobby::_Claim(std::vector<StoredGame> stored)
{
    if (stored.empty())
        return;
    fStoreWorker.Post([this, stored = std::move(stored)]() mutable {
        std::vector<std::int64_t> taken;
        if (!fStore.ClaimRunningGames(stored, fOwner, &taken)) {
            LogEvent("ERROR: cannot take up running games: " + fStore.LastError());
            return;
        }
        std::erase_if(stored, [&](const StoredGame& game) {
            return std::find(taken.begin(), taken.end(), game.id) == taken.end();
        });
        _OnLoop([this, stored = std::move(stored)]() mutable { _TakenOver(std::move(stored)); });
    });
}

void Lobby::_Publish(const std::string& subject, const std::string& header, std::string_view body)
{
    std::string message = header;
    message += '\n';
    message.append(body);
    fBus->Publish(subject, message);
}

void Lobby::_ShareLine(std::string_view line)
{
    _Publish(kLobbySubject, "L " + fConfig.nodeName, line);
    // A new rating of another node's player, from a game that ran here.
    std::vector<std::string> words = Split(line.substr(0, line.find('\n')), ' ');
    if (words.size() == 3 && words[0] == "700") {
        auto user = fRemoteUsers.find(NameKey(words[1]));
        if (user != fRemoteUsers.end())
            user->second.rating = static_cast<int>(ParseDecimal(words[2], 9).value_or(0));
    }
}

std::string Lobby::_ClientLineText(const ClientLine& line) const
{
    std::string text = line.Command();
    for (const std::string& word : line.Words())
        text += " " + word;
    if (line.HasText())
        text += " :" + line.Text();
    return text;
}

void Lobby::_BusMessage(const std::string&, std::string data)
{
    std::size_t cut = data.find('\n');
    std::string_view body =
        cut == std::string::npos ? std::string_view() : std::string_view(data).substr(cut + 1);
    std::vector<std::string> fields = Split(std::string_view(data).substr(0, cut), ' ');
    if (cut == std::string::npos || fields.size() < 2 || fields[1] == fConfig.nodeName)
        return;
    const std::string& kind = fields[0];
    const std::string& node = fields[1];
    // A node that was restarted before it was missed is a new one: what we
    // knew of the old one goes. Beats and snapshots name the run.
    if ((kind == "B" || kind == "S") && fields.size() == 3) {
        std::string& incarnation = fIncarnations[node];
        if (!incarnation.empty() && incarnation != fields[2] && fNodes.count(node))
            _NodeLost(node);
        incarnation = fields[2];
    }
    bool known = fNodes.count(node) > 0;
    fNodes[node] = std::chrono::steady_clock::now();
    if (!known) {
        // A node new to us learns what we have.
        LogEvent("node " + node + " is in the cluster");
        _Publish(NodeSubject(node), "S " + fConfig.nodeName + " " + fIncarnation, _Snapshot());
    }
    std::uint64_t number = fields.size() > 2 ? Unsigned(fields[2]) : 0;
    if (kind == "L" || kind == "K" || kind == "S") {
        _OtherNodesLines(node, body, kind == "K", kind == "S");
    } else if (kind == "F" && fields.size() == 5) {
        _ProxyCommand(node, number,
                      data.substr(cut + 1).insert(0, fields[3] + " " + fields[4] + "\n"));
    } else if (kind == "O") {
        auto found = fMembers.find(number);
        if (found != fMembers.end() && found->second.home.empty())
            found->second.connection->Send(_FromOtherNode(found->second, body));
    } else if (kind == "X" && fields.size() == 4) {
        auto proxy = fProxies.find({node, Unsigned(fields[3])});
        if (proxy != fProxies.end()) {
            auto member = fMembers.find(proxy->second);
            // At once: what its games tell the others goes before its 702,
            // and what they tell later (a result once stored) after it.
            if (member != fMembers.end()) {
                std::string key = member->second.key;
                member->second.connection->Close("left node " + node);
                OnClosed(*member->second.connection);
                _AwaitDeparture(node, key);
            }
        }
    } else if (kind == "R" && fields.size() == 6) {
        _ProxyReturn(node, Unsigned(fields[3]),
                     data.substr(cut + 1).insert(0, fields[4] + " " + fields[5] + "\n"));
    } else if (kind == "D") {
        _Answered(number, node, body);
    } else if (kind == "G" && fields.size() == 4) {
        // A new connection at that node: how many count against its limits here.
        _Publish(NodeSubject(node), "D " + fConfig.nodeName + " " + fields[2],
                 std::to_string(_ConnectionCount()) + " " + std::to_string(_GuestsFrom(fields[3])));
    } else if (kind == "W" && fields.size() == 3) {
        std::vector<std::string> parts = Split(body, '\n');
        if (parts.size() == 2)
            fLogins.Heard(parts[0], parts[1], fields[2] == "failed");
    } else if (kind == "T") {
        std::set<std::string> names;
        for (const std::string& name : Split(body, '\n'))
            names.insert(NameKey(name));
        for (auto& [id, member] : fMembers) {
            if (member.loggedIn && member.home.empty() && names.count(member.key) &&
                member.features.Has(Feature::Resume)) {
                auto [returnFields, returnBody] = _ReturnMessage(member);
                member.elsewhere = true;
                _AskOtherNodes("R", returnFields, returnBody, {});
            }
        }
    } else if (kind == "C" && fields.size() == 4) {
        _AnswerClaim(node, fields[2], Unsigned(fields[3]));
    } else if (kind == "A" && fields.size() == 4) {
        _ClaimAnswered(number, node, fields[3] == "ok");
    }
    // A question is answered once what it asked for is done, and after all
    // the lines that went before it.
    if ((kind == "P" || kind == "R" || kind == "X") && number != 0)
        _Publish(NodeSubject(node), "D " + fConfig.nodeName + " " + std::to_string(number), {});
}

void Lobby::_OtherNodesLines(const std::string& node, std::string_view lines, bool clocksOnly,
                             bool quiet)
{
    if (!quiet && !lines.empty()) {
        if (!clocksOnly)
            fStream.Append(lines);
        fClockStream.Append(lines);
        _ArmStreamTimer();
    }
    for (const std::string& line : Split(lines, '\n')) {
        std::vector<std::string> words = Split(line.substr(0, line.find(':')), ' ');
        if (words.size() < 2)
            continue;
        const std::string& code = words[0];
        if ((code == "700" || code == "701") && words.size() >= 3) {
            std::string key = NameKey(words[1]);
            int rating = static_cast<int>(ParseDecimal(words[2], 9).value_or(0));
            Member* local = _OnlineMember(key);
            if (local && local->home.empty()) {
                fRatings[local->accountId] = rating;
                continue;
            }
            RemoteUser& user = fRemoteUsers[key];
            if (code == "701" || user.node.empty())
                user.node = node;
            if (code == "701")
                fGranted.erase(key); // the login we agreed to is done
            user.name = words[1];
            user.rating = rating;
        } else if (code == "702") {
            _Departed(node, NameKey(words[1]));
            auto found = fRemoteUsers.find(NameKey(words[1]));
            if (found != fRemoteUsers.end() && found->second.node == node)
                fRemoteUsers.erase(found);
        } else if (auto id = ParseDecimal(words[1], 18); id && code == "118") {
            fHighestGameId = std::max(fHighestGameId, *id);
            RemoteGame& game = fRemoteGames[*id];
            game.node = node;
            game.info = line + "\n";
            game.listed = true;
        } else if (auto found = id ? fRemoteGames.find(*id) : fRemoteGames.end();
                   found != fRemoteGames.end()) {
            if (code == "131")
                found->second.clock = line + "\n";
            else if (code == "119") {
                found->second.listed = false;
                found->second.since = std::chrono::steady_clock::now();
            }
        }
    }
}

std::string Lobby::_Snapshot() const
{
    std::string lines;
    for (const auto& [id, member] : fMembers) {
        if (member.loggedIn && member.home.empty())
            lines += Reply::UserOnline(member.name, _Rating(member.accountId));
    }
    for (const auto& [id, game] : fGames) {
        if (game->State() == GameState::Finished)
            continue;
        lines += _GameInfo(*game);
        if (game->Control().Timed())
            lines += Reply::TimeControlOf(id, game->Control().minutes, game->Control().seconds);
    }
    return lines;
}

// ---- Games of other nodes --------------------------------------------------

bool Lobby::_Forward(Member& member, const ClientLine& line)
{
    static const std::set<std::string> kGameCommands = {
        "PLAY", "MOVE", "GAMEMSG", "OBSERVE", "ABORT", "RESIGN", "DRAW", "ABORTGAME", "REMATCH"};
    if (!member.home.empty() || line.Words().empty() || !kGameCommands.count(line.Command()))
        return false;
    std::optional<std::int64_t> id = ParseDecimal(line.Words()[0], 18);
    if (!id || fGames.count(*id))
        return false;
    std::string owner;
    if (auto game = fRemoteGames.find(*id); game != fRemoteGames.end()) {
        owner = game->second.node;
    } else if (!fStore.SharesGameIds()) {
        // A game so new that its announcement has not reached us yet: the
        // node its id belongs to made it.
        for (const auto& [node, seen] : fNodes) {
            if (NodeNumber(node) == *id % kIdStride)
                owner = node;
        }
    }
    if (owner.empty() && *id > std::max(fHighestGameId, fGameIds.End() - 1) &&
        member.held < kHoldSteps) {
        // Hold the client's lines, this one first, until the game may be known.
        ++member.held;
        member.connection->PauseInput();
        auto timer = std::make_shared<asio::steady_timer>(fLoop, kHoldStep);
        std::weak_ptr<int> alive = fAlive;
        timer->async_wait([this, alive, timer, id = member.connection->Id(),
                           line](const asio::error_code& error) {
            auto found = alive.lock() && !error ? fMembers.find(id) : fMembers.end();
            if (found == fMembers.end())
                return;
            found->second.connection->ResumeInput();
            OnLine(*found->second.connection, line);
        });
        return true;
    }
    member.held = 0;
    if (owner.empty() || !fNodes.count(owner))
        return false;
    member.elsewhere = true;
    if (line.Command() == "OBSERVE" && line.Words().size() == 2 && line.Words()[1] == "off") {
        // From now on, as one server would have it, even what the owner
        // sent before it hears this. A player's own game goes on.
        auto game = fRemoteGames.find(*id);
        std::string info = game == fRemoteGames.end() ? std::string() : game->second.info;
        std::vector<std::string> words = Split(info.substr(0, info.find(':')), ' ');
        bool plays = words.size() > 4 &&
                     std::any_of(words.begin() + 4, words.end(),
                                 [&](auto& name) { return NameKey(name) == member.key; });
        auto watched = member.watchingElsewhere.find(*id);
        if (watched != member.watchingElsewhere.end() && !plays)
            watched->second = false;
    }
    // The owner hears who asks, with what the client follows, and the line.
    _Publish(NodeSubject(owner),
             "F " + fConfig.nodeName + " " + std::to_string(member.connection->Id()) + " " +
                 std::to_string(member.accountId) + " " + std::to_string(_Rating(member.accountId)),
             member.name + "\n" + member.features.Words() + "\n" + _ClientLineText(line));
    return true;
}

Lobby::Member* Lobby::_Proxy(const std::string& node, std::uint64_t connectionId,
                             const std::string& name, std::int64_t accountId, int rating)
{
    auto known = fProxies.find({node, connectionId});
    if (known != fProxies.end()) {
        auto found = fMembers.find(known->second);
        if (found != fMembers.end())
            return &found->second;
    }
    std::string key = NameKey(name);
    if (Member* local = _OnlineMember(key); local && local->home.empty())
        return nullptr; // logged in here: the other node's client is a stale one
    std::uint64_t id = fNextProxyId++;
    std::weak_ptr<int> alive = fAlive;
    std::string subject = NodeSubject(node);
    std::string header = "O " + fConfig.nodeName + " " + std::to_string(connectionId);
    auto connection =
        std::make_shared<Connection>(fLoop, fConfig, *this, id, name + "@" + node,
                                     [this, alive, subject, header](std::string bytes) {
                                         if (alive.lock())
                                             _Publish(subject, header, bytes);
                                     });
    Member& member = fMembers[id];
    member.connection = connection;
    member.loggedIn = true;
    member.name = name;
    member.key = key;
    member.accountId = accountId;
    member.home = node;
    fRatings.emplace(accountId, rating);
    fOnline[key] = id;
    fProxies[{node, connectionId}] = id;
    return &member;
}

Lobby::Member* Lobby::_ProxyOf(const std::string& node, std::uint64_t connectionId,
                               const std::vector<std::string>& parts)
{
    if (parts.size() < 3)
        return nullptr;
    std::vector<std::string> account = Split(parts[0], ' ');
    if (account.size() != 2)
        return nullptr;
    Member* member =
        _Proxy(node, connectionId, parts[1], static_cast<std::int64_t>(Unsigned(account[0])),
               static_cast<int>(Unsigned(account[1])));
    if (member)
        member->features = FeatureSet::Announced(Split(parts[2], ' '));
    return member;
}

void Lobby::_ProxyCommand(const std::string& node, std::uint64_t connectionId,
                          std::string_view body)
{
    // "accountId rating", the name, the client's features, the line.
    std::vector<std::string> parts = Split(body, '\n');
    if (parts.size() != 4)
        return;
    Member* member = _ProxyOf(node, connectionId, parts);
    if (!member)
        return;
    OnLine(*member->connection, ClientLine::Parse(parts[3]));
}

void Lobby::_ProxyReturn(const std::string& node, std::uint64_t connectionId, std::string_view body)
{
    std::vector<std::string> parts = Split(body, '\n');
    if (parts.size() != 3)
        return;
    std::string key = NameKey(parts[1]);
    // A stand-in for the player's former connection, at a node that is gone
    // and not yet known to be, gives its games up now.
    if (Member* stale = _OnlineMember(key);
        stale && !stale->home.empty() && fProxies.count({node, connectionId}) == 0) {
        stale->connection->Close("back at node " + node);
        OnClosed(*stale->connection);
    }
    bool away = std::any_of(fAwayGames.begin(), fAwayGames.end(), [&](std::int64_t id) {
        auto game = fGames.find(id);
        if (game == fGames.end())
            return false;
        for (Side side : {Side::White, Side::Black}) {
            if (game->second->IsAway(side) && game->second->SeatOf(side).key == key)
                return true;
        }
        return false;
    });
    if (!away)
        return;
    if (Member* member = _ProxyOf(node, connectionId, parts))
        _Return(*member);
}

void Lobby::_ProxyClosed(Member& member)
{
    std::uint64_t id = member.connection->Id();
    for (auto it = fProxies.begin(); it != fProxies.end();) {
        if (it->second == id)
            it = fProxies.erase(it);
        else
            ++it;
    }
}

void Lobby::_LeftCluster(const Member& member, std::string left)
{
    std::string fields = std::to_string(member.connection->Id());
    if (!member.elsewhere) {
        _AskOtherNodes("X", fields, {}, {});
        _Broadcast(left);
        return;
    }
    // Its stand-ins at other nodes go first, and what they tell others of
    // its games goes before the departure, as on one server. Lines to
    // everyone made meanwhile wait behind it.
    std::uint64_t token = fNextToken++;
    fHeld.push_back({std::move(left), 0, false, false, token});
    _AskOtherNodes("X", fields, {}, [this, token](const std::vector<std::string>&) {
        for (HeldLine& held : fHeld) {
            if (held.token == token)
                held.ready = true;
        }
        _ReleaseHeld();
    });
}

void Lobby::_AwaitDeparture(const std::string& node, const std::string& key)
{
    std::uint64_t token = fNextToken++;
    fHeld.push_back({{}, 0, false, false, token});
    fDepartures[{node, key}] = token;
    // Its node may be lost before it says so.
    auto timer = std::make_shared<asio::steady_timer>(fLoop, kClaimWait);
    std::weak_ptr<int> alive = fAlive;
    timer->async_wait([this, alive, timer, node, key](const asio::error_code& error) {
        if (!error && alive.lock())
            _Departed(node, key);
    });
}

void Lobby::_Departed(const std::string& node, const std::string& key)
{
    auto found = fDepartures.find({node, key});
    if (found == fDepartures.end())
        return;
    for (HeldLine& held : fHeld) {
        if (held.token == found->second)
            held.ready = true;
    }
    fDepartures.erase(found);
    _ReleaseHeld();
}

std::string Lobby::_FromOtherNode(Member& member, std::string_view lines)
{
    bool watchNews = lines.starts_with("120 ") || lines.find("\n120 ") != std::string_view::npos;
    if (member.watchingElsewhere.empty() && !watchNews)
        return std::string(lines);
    std::string kept;
    for (const std::string& line : Split(lines, '\n')) {
        if (line.empty())
            continue;
        std::vector<std::string> words = Split(line.substr(0, line.find(':')), ' ');
        // A game chat line names its game third, every other game line second.
        std::size_t at = !words.empty() && words[0] == "123" ? 2 : 1;
        auto id = words.size() > at ? ParseDecimal(words[at], 18) : std::nullopt;
        if (id && words[0] == "120") {
            // Watching (or a player back at the board: the same to us,
            // since a player never sends OBSERVE off with effect).
            member.watchingElsewhere[*id] = true;
            // Games that are over need no more care.
            if (member.watchingElsewhere.size() > 16)
                std::erase_if(member.watchingElsewhere, [this](const auto& entry) {
                    auto game = fRemoteGames.find(entry.first);
                    return game == fRemoteGames.end() || !game->second.listed;
                });
        } else if (auto watched =
                       id ? member.watchingElsewhere.find(*id) : member.watchingElsewhere.end();
                   watched != member.watchingElsewhere.end() && !watched->second) {
            continue;
        }
        kept += line + "\n";
    }
    return kept;
}

void Lobby::_AskOtherNodes(const std::string& kind, const std::string& fields,
                           std::string_view body,
                           std::function<void(const std::vector<std::string>& answers)> then)
{
    std::uint64_t token = then ? fNextToken++ : 0;
    _Publish(kLobbySubject,
             kind + " " + fConfig.nodeName + " " + std::to_string(token) +
                 (fields.empty() ? "" : " " + fields),
             body);
    if (!then)
        return;
    if (fNodes.empty()) {
        then({});
        return;
    }
    Waiting& waiting = fAsked[token];
    for (const auto& [node, seen] : fNodes)
        waiting.nodes.insert(node);
    waiting.then = std::move(then);
    waiting.timer = std::make_unique<asio::steady_timer>(fLoop, kClaimWait);
    std::weak_ptr<int> alive = fAlive;
    waiting.timer->async_wait([this, alive, token](const asio::error_code& error) {
        if (!error && alive.lock())
            _Answered(token, {});
    });
}

void Lobby::_Answered(std::uint64_t token, const std::string& node, std::string_view answer)
{
    auto found = fAsked.find(token);
    if (found == fAsked.end())
        return;
    if (node.empty())
        found->second.nodes.clear(); // whoever has not answered by now is lost
    else if (found->second.nodes.erase(node) && !answer.empty())
        found->second.answers.emplace_back(answer);
    if (!found->second.nodes.empty())
        return;
    Waiting done = std::move(found->second);
    fAsked.erase(found);
    done.then(done.answers);
}

void Lobby::_AwaitOtherNodes(Member& member, const std::string& kind, const std::string& fields,
                             std::string_view body, std::function<void(Member&)> then)
{
    std::uint64_t id = member.connection->Id();
    member.connection->PauseInput();
    _AskOtherNodes(kind, fields, body, [this, id, then = std::move(then)](const auto&) {
        auto found = fMembers.find(id);
        if (found == fMembers.end())
            return;
        found->second.connection->ResumeInput();
        then(found->second);
    });
}

std::pair<std::string, std::string> Lobby::_ReturnMessage(const Member& member) const
{
    return {std::to_string(member.connection->Id()) + " " + std::to_string(member.accountId) + " " +
                std::to_string(_Rating(member.accountId)),
            member.name + "\n" + member.features.Words()};
}

// ---- Logins ----------------------------------------------------------------

// Every node answers for its own clients: a name in use there is refused.
// Two nodes asked for the same name at once both wait for each other's
// answer; the node whose name sorts first wins, the other refuses. A node
// that said yes refuses the name itself for a moment, until the winner's
// arrival reaches it. A node that does not answer in time counts as lost,
// so a player whose node died can log in again elsewhere at once.

void Lobby::_ClaimName(Member& member, const std::string& name, const Account& account)
{
    std::string key = NameKey(name);
    std::uint64_t id = member.connection->Id();
    auto granted = fGranted.find(key);
    bool claimedHere = std::any_of(fClaims.begin(), fClaims.end(), [&](const auto& claim) {
        return NameKey(claim.second.name) == key;
    });
    if (claimedHere || (granted != fGranted.end() &&
                        granted->second + kNodeSilence > std::chrono::steady_clock::now())) {
        _Send(member, Reply::AlreadyLoggedIn(name));
        member.connection->ResumeInput();
        return;
    }
    if (fNodes.empty()) {
        _Enter(member, name, account);
        return;
    }
    Claim& claim = fClaims[id];
    claim.name = name;
    claim.account = account;
    for (const auto& [node, seen] : fNodes)
        claim.waiting.insert(node);
    claim.timer = std::make_unique<asio::steady_timer>(fLoop, kClaimWait);
    std::weak_ptr<int> alive = fAlive;
    claim.timer->async_wait([this, alive, id](const asio::error_code& error) {
        if (!error && alive.lock())
            _ClaimAnswered(id, {}, true);
    });
    _Publish(kLobbySubject, "C " + fConfig.nodeName + " " + key + " " + std::to_string(id), {});
}

void Lobby::_AnswerClaim(const std::string& node, const std::string& key, std::uint64_t token)
{
    const Member* online = _OnlineMember(key);
    bool free = !online || !online->home.empty();
    for (const auto& [id, claim] : fClaims) {
        if (NameKey(claim.name) == key && fConfig.nodeName < node)
            free = false;
    }
    if (free)
        fGranted[key] = std::chrono::steady_clock::now();
    _Publish(NodeSubject(node),
             "A " + fConfig.nodeName + " " + std::to_string(token) + (free ? " ok" : " no"), {});
}

void Lobby::_ClaimAnswered(std::uint64_t id, const std::string& node, bool granted)
{
    auto found = fClaims.find(id);
    if (found == fClaims.end())
        return;
    Claim& claim = found->second;
    if (node.empty())
        claim.waiting.clear(); // whoever has not answered by now is lost
    else
        claim.waiting.erase(node);
    if (granted && !claim.waiting.empty())
        return;
    std::string name = claim.name;
    Account account = claim.account;
    fClaims.erase(found);
    auto member = fMembers.find(id);
    if (member == fMembers.end())
        return;
    std::string key = NameKey(name);
    Member* online = _OnlineMember(key);
    if (!granted || (online && online->home.empty())) {
        _Send(member->second, Reply::AlreadyLoggedIn(name));
        member->second.connection->ResumeInput();
        return;
    }
    // Whatever we knew of the name elsewhere is stale: its node is gone.
    fRemoteUsers.erase(key);
    if (online) {
        online->connection->Close("logged in again at node " + fConfig.nodeName);
        OnClosed(*online->connection);
    }
    _Enter(member->second, name, account);
}

// ---- Nodes -----------------------------------------------------------------

void Lobby::_Heartbeat()
{
    _Publish(kLobbySubject, "B " + fConfig.nodeName + " " + fIncarnation, {});
    auto now = std::chrono::steady_clock::now();
    std::vector<std::string> lost;
    for (const auto& [node, seen] : fNodes) {
        if (seen + kNodeSilence < now)
            lost.push_back(node);
    }
    for (const std::string& node : lost)
        _NodeLost(node);
    std::erase_if(fGranted, [&](const auto& entry) { return entry.second + kNodeSilence < now; });
    // Games of a lost node that nobody took up leave the lists; finished
    // ones are forgotten once their players can have nothing more to say.
    std::string ended;
    std::erase_if(fRemoteGames, [&](const auto& entry) {
        const RemoteGame& game = entry.second;
        if (game.node.empty() && game.since + 2 * kNodeSilence < now) {
            if (game.listed)
                ended += Reply::GameEnded(entry.first, "Game aborted: its server was lost.");
            return true;
        }
        return !game.listed && game.since + fConfig.finishedGameIdle < now;
    });
    if (!ended.empty()) {
        fStream.Append(ended);
        fClockStream.Append(ended);
        _ArmStreamTimer();
    }
    fBeatTimer->expires_after(kBeat);
    std::weak_ptr<int> alive = fAlive;
    fBeatTimer->async_wait([this, alive](const asio::error_code& error) {
        if (!error && alive.lock() && !fShuttingDown)
            _Heartbeat();
    });
}

void Lobby::_NodeLost(const std::string& node)
{
    LogEvent("node " + node + " is lost");
    fNodes.erase(node);
    // Our clients' lists forget what was there.
    std::string lines;
    for (auto it = fRemoteUsers.begin(); it != fRemoteUsers.end();) {
        if (it->second.node == node) {
            lines += Reply::UserLeft(it->second.name);
            it = fRemoteUsers.erase(it);
        } else {
            ++it;
        }
    }
    auto now = std::chrono::steady_clock::now();
    for (auto& [id, game] : fRemoteGames) {
        if (game.node == node) {
            game.node.clear();
            game.lost = node;
            game.since = now;
        }
    }
    if (!lines.empty()) {
        fStream.Append(lines);
        fClockStream.Append(lines);
        _ArmStreamTimer();
    }
    std::vector<std::uint64_t> proxies;
    for (const auto& [where, id] : fProxies) {
        if (where.first == node)
            proxies.push_back(id);
    }
    for (std::uint64_t id : proxies) {
        auto member = fMembers.find(id);
        if (member != fMembers.end())
            member->second.connection->Close("node " + node + " lost");
    }
    std::vector<std::uint64_t> claims;
    for (auto& [id, claim] : fClaims) {
        if (claim.waiting.count(node))
            claims.push_back(id);
    }
    for (std::uint64_t id : claims)
        _ClaimAnswered(id, node, true);
    std::vector<std::uint64_t> asked;
    for (const auto& [token, waiting] : fAsked) {
        if (waiting.nodes.count(node))
            asked.push_back(token);
    }
    for (std::uint64_t token : asked)
        _Answered(token, node);
    if (fNodes.empty() || fNodes.begin()->first > fConfig.nodeName)
        _TakeOver(node, node + " " + fIncarnations[node]);
}

void Lobby::_TakeOver(const std::string& node, const std::string& owner)
{
    std::set<std::int64_t> ids;
    for (const auto& [id, game] : fRemoteGames) {
        if (game.lost == node && game.listed)
            ids.insert(id);
    }
    if (ids.empty())
        return;
    // Only from that run of the node: a node restarted under its name has
    // taken its games up itself.
    fStoreWorker.Post([this, ids, owner] {
        std::vector<StoredGame> games;
        if (!fStore.LoadRunningGames(&games)) {
            LogEvent("ERROR: cannot read the running games to take over: " + fStore.LastError());
            return;
        }
        std::erase_if(games, [&](const StoredGame& game) {
            return !ids.count(game.id) || (game.owner != owner && !game.owner.empty());
        });
        _OnLoop([this, games = std::move(games)]() mutable { _Claim(std::move(games)); });
    });
}

void Lobby::_TakenOver(std::vector<StoredGame> games)
{
    std::erase_if(games, [this](const StoredGame& game) { return fGames.count(game.id) > 0; });
    if (games.empty())
        return;
    Restore(games);
    std::string names;
    for (const StoredGame& stored : games) {
        fRemoteGames.erase(stored.id);
        const ChessGame& game = *fGames.at(stored.id);
        _Broadcast(_GameInfo(game));
        _Announce(game);
        names += stored.whiteName + "\n" + stored.blackName + "\n";
    }
    // Players still connected to other nodes come back to their games at once.
    _Publish(kLobbySubject, "T " + fConfig.nodeName, names);
    for (auto& [id, member] : fMembers) {
        if (member.loggedIn && member.home.empty() && member.features.Has(Feature::Resume))
            _Return(member);
    }
}

} // namespace tolvar::server
