// The archive commands: ARCHIVE (a user's finished games, a page at a time)
// and RECORD (one game's moves). Both read the database on the store worker
// and answer from the loop, to the connection that asked if it is still
// there. Requests draw on a budget of their own, so that nobody can keep
// the store worker busy with them.

#include "server/Archive.h"
#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/Reply.h"
#include "server/TextRules.h"
#include "server/WorkerPool.h"

#include <algorithm>

namespace tolvar::server {

namespace {

// A number of at most nine digits.
std::optional<std::int64_t> ParseNumber(const std::string& text)
{
    return ParseDecimal(text, 9);
}

} // namespace

bool Lobby::_TakeArchiveRequest(Member& member)
{
    const auto now = LineBudget::Clock::now();
    if (!member.archiveBudget)
        member.archiveBudget.emplace(fConfig.archiveBurst, fConfig.archivePerSecond, now);
    if (member.archiveBudget->Take(now))
        return true;
    _Send(member, Reply::NotAllowed("too many archive requests; wait a little"));
    return false;
}

void Lobby::_SendToConnection(std::uint64_t connectionId, const std::vector<std::string>& lines)
{
    auto found = fMembers.find(connectionId);
    if (found == fMembers.end() || !found->second.loggedIn)
        return;
    for (const std::string& line : lines)
        _Send(found->second, line);
}

void Lobby::_Archive(Member& member, const ClientLine& line)
{
    const auto& words = line.Words();
    std::optional<std::int64_t> page = words.size() == 2 ? ParseNumber(words[1]) : std::nullopt;
    if (!page || line.HasText() || !IsValidUserName(words[0])) {
        // A name that cannot exist is no user, once the line is well formed.
        if (page && !line.HasText())
            _Send(member, Reply::NotAllowed("no such user " + Shortened(words[0], 20)));
        else
            _Send(member, Reply::Refused("usage: ARCHIVE name page"));
        return;
    }
    if (!_TakeArchiveRequest(member))
        return;
    const std::uint64_t asker = member.connection->Id();
    const std::string name = words[0];
    const int pageNumber = static_cast<int>(*page);
    fStoreWorker.Post([this, asker, name, pageNumber] {
        std::vector<std::string> lines;
        Account account;
        ArchivePage games;
        Storage::Found found = fStore.FindAccount(name, &account);
        if (found == Storage::Found::No) {
            lines.push_back(Reply::NotAllowed("no such user " + name));
        } else if (found == Storage::Found::Failed ||
                   !fStore.ReadArchivePage(account.id, pageNumber, &games)) {
            LogEvent("ERROR: cannot read the archive of " + name + " (" + fStore.LastError() + ")");
            lines.push_back(Reply::Unavailable("the archive cannot be read right now"));
        } else if (pageNumber < 1 || pageNumber > std::max(1, ArchivePages(games.total))) {
            lines.push_back(Reply::NotAllowed("no page " + std::to_string(pageNumber) + " for " +
                                              account.name));
        } else {
            for (const ArchiveEntry& entry : games.games)
                lines.push_back(Reply::ArchiveGame(entry));
            lines.push_back(Reply::ArchiveEnd(account.name, pageNumber, ArchivePages(games.total),
                                              games.total));
        }
        _OnLoop([this, asker, lines = std::move(lines)] { _SendToConnection(asker, lines); });
    });
}

void Lobby::_Record(Member& member, const ClientLine& line)
{
    const auto& words = line.Words();
    if (words.size() != 1 || line.HasText() || words[0].empty()) {
        _Send(member, Reply::Refused("usage: RECORD id"));
        return;
    }
    std::optional<std::int64_t> id = ParseNumber(words[0]);
    if (!id) {
        _Send(member, Reply::NoSuchGame(words[0]));
        return;
    }
    if (!_TakeArchiveRequest(member))
        return;
    const std::uint64_t asker = member.connection->Id();
    const std::int64_t gameId = *id;
    fStoreWorker.Post([this, asker, gameId] {
        std::vector<std::string> lines;
        ArchiveRecord record;
        Storage::Found found = fStore.ReadArchiveRecord(gameId, &record);
        if (found == Storage::Found::Yes) {
            lines.push_back(Reply::RecordHeader(record));
            for (std::string& moves : Reply::RecordMoves(record))
                lines.push_back(std::move(moves));
        } else if (found == Storage::Found::No) {
            lines.push_back(Reply::NoSuchGame(std::to_string(gameId)));
        } else {
            LogEvent("ERROR: cannot read game " + std::to_string(gameId) + " (" +
                     fStore.LastError() + ")");
            lines.push_back(Reply::Unavailable("the archive cannot be read right now"));
        }
        _OnLoop([this, asker, lines = std::move(lines)] { _SendToConnection(asker, lines); });
    });
}

} // namespace tolvar::server
