// The lobby's rated results on their way to the database. They are stored
// in order, oldest first, since each game's ratings build on the ones
// before; whatever waits is stored together, in one transaction, so that
// many games ending at once cost one sync of the disk. Only a stored result
// is announced and changes the ratings known here. One that cannot be
// stored (a full disk, a file that became unwritable) stays first in line
// and is tried again, ever less often, while its players are told that it
// is delayed.

#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/Reply.h"
#include "server/WorkerPool.h"

#include <algorithm>

namespace tolvar::server {

void Lobby::_StoreNextResult()
{
    if (fStoring > 0 || fResults.empty() || fShuttingDown)
        return;
    std::vector<FinishedGame> records;
    for (const PendingResult& waiting : fResults)
        records.push_back(waiting.record);
    fStoring = records.size();
    fStoreWorker.Post([this, records = std::move(records)]() mutable {
        bool stored = fStore.RecordGames(records);
        std::string error = stored ? std::string() : fStore.LastError();
        _OnLoop([this, stored, records, error] { _ResultsStored(stored, records, error); });
    });
}

void Lobby::_ResultsStored(bool stored, const std::vector<FinishedGame>& records,
                           const std::string& error)
{
    fStoring = 0;
    if (!stored) {
        LogEvent(
            "ERROR: cannot store the result of game " + std::to_string(records.front().id) +
            (records.size() > 1 ? " and " + std::to_string(records.size() - 1) + " more" : "") +
            " (" + error + "); it is not announced and will be tried again in " +
            std::to_string(fRetryDelay.count()) + " ms");
        for (PendingResult& waiting : fResults) {
            if (waiting.told)
                continue;
            waiting.told = true;
            std::string notice = Reply::ResultDelayed(waiting.record.id);
            for (const std::string* key : {&waiting.whiteKey, &waiting.blackKey}) {
                if (Member* player = _OnlineMember(*key))
                    _Send(*player, notice);
            }
        }
        fRetryTimer.expires_after(fRetryDelay);
        fRetryDelay = std::min(2 * fRetryDelay, std::chrono::milliseconds(60000));
        std::weak_ptr<int> alive = fAlive;
        fRetryTimer.async_wait([this, alive](const asio::error_code& cancelled) {
            if (!cancelled && alive.lock())
                _StoreNextResult();
        });
        return;
    }

    fRetryDelay = fConfig.resultRetry;
    std::vector<std::string> players;
    for (std::size_t i = 0; i < records.size(); ++i)
        players.insert(players.end(), {fResults[i].whiteKey, fResults[i].blackKey});
    for (const FinishedGame& record : records)
        _AnnounceResult(record);
    // The players hear of their game's end at once, not with the next lines
    // to everyone; all of them after the whole batch, so that the lines of
    // the batch stay one piece for every other reader.
    for (const std::string& key : players) {
        if (Member* player = _OnlineMember(key))
            player->connection->Flush();
    }
    _StoreNextResult();
}

void Lobby::_AnnounceResult(const FinishedGame& record)
{
    PendingResult result = std::move(fResults.front());
    fResults.pop_front();
    if (result.told)
        LogEvent("the result of game " + std::to_string(record.id) + " is stored at last");
    fRatings[record.whiteId] = record.whiteAfter;
    fRatings[record.blackId] = record.blackAfter;
    _Broadcast(Reply::GameEnded(record.id, record.reason));
    // Only players still online are listed again: a 700 line for someone
    // who has left would put them back in every client's list.
    for (auto [key, account] : {std::pair{&result.whiteKey, record.whiteId},
                                std::pair{&result.blackKey, record.blackId}}) {
        const Member* member = _OnlineMember(*key);
        if (member && member->accountId == account)
            _Broadcast(Reply::UserOnline(member->name, _Rating(account)));
    }
}

} // namespace tolvar::server
