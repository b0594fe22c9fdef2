// The lobby's rated results on their way to the database. They are stored
// one at a time, oldest first, since each game's ratings build on the ones
// before; only a stored result is announced and changes the ratings known
// here. One that cannot be stored (a full disk, a file that became
// unwritable) stays first in line and is tried again, ever less often, while
// its players are told that it is delayed.

#include "server/EventLog.h"
#include "server/Lobby.h"
#include "server/Reply.h"
#include "server/WorkerPool.h"

#include <algorithm>

namespace tolvar::server {

void Lobby::_StoreNextResult()
{
    if (fStoring || fResults.empty() || fShuttingDown)
        return;
    fStoring = true;
    fStoreWorker.Post([this, record = fResults.front().record]() mutable {
        bool stored = fStore.RecordGame(record);
        std::string error = stored ? std::string() : fStore.LastError();
        _OnLoop([this, stored, record, error] { _ResultStored(stored, record, error); });
    });
}

void Lobby::_ResultStored(bool stored, const FinishedGame& record, const std::string& error)
{
    fStoring = false;
    if (!stored) {
        LogEvent("ERROR: cannot store the result of game " + std::to_string(record.id) + " (" +
                 error + "); it is not announced and will be tried again in " +
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

    PendingResult result = std::move(fResults.front());
    fResults.pop_front();
    fRetryDelay = fConfig.resultRetry;
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
    // The players hear of the end at once, not with the next lines to everyone.
    for (const std::string* key : {&result.whiteKey, &result.blackKey}) {
        if (Member* player = _OnlineMember(*key))
            player->connection->Flush();
    }
    _StoreNextResult();
}

} // namespace tolvar::server
