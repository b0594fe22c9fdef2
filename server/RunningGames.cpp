#include "server/RunningGames.h"

#include "server/EventLog.h"
#include "server/WorkerPool.h"

namespace tolvar::server {

RunningGames::RunningGames(asio::io_context& loop, Storage& store, WorkerPool& storeWorker,
                           std::chrono::milliseconds retry)
    : fLoop(loop), fStore(store), fStoreWorker(storeWorker), fRetry(retry), fRetryTimer(loop)
{
}

RunningGames::~RunningGames() = default;

void RunningGames::Started(const StoredGame& game, std::function<void()> then)
{
    fWaiting.push_back(RunningChange{RunningChange::Kind::Start, game, {}});
    fWaitingThen.push_back(std::move(then));
    _Commit();
}

void RunningGames::Moved(const StoredGame& game, const std::string& move, int ply,
                         std::function<void()> then)
{
    fWaiting.push_back(RunningChange{RunningChange::Kind::Move, game, move, ply});
    fWaitingThen.push_back(std::move(then));
    _Commit();
}

void RunningGames::Ended(std::int64_t id)
{
    StoredGame game;
    game.id = id;
    fWaiting.push_back(RunningChange{RunningChange::Kind::End, std::move(game), {}});
    _Commit();
}

void RunningGames::_Commit()
{
    if (fBusy || (fWaiting.empty() && fCommitting.empty()))
        return;
    fBusy = true;
    // Whatever failed before goes first, so that the order of the writes holds.
    fCommitting.insert(fCommitting.end(), std::make_move_iterator(fWaiting.begin()),
                       std::make_move_iterator(fWaiting.end()));
    fCommittingThen.insert(fCommittingThen.end(), std::make_move_iterator(fWaitingThen.begin()),
                           std::make_move_iterator(fWaitingThen.end()));
    fWaiting.clear();
    fWaitingThen.clear();
    std::weak_ptr<int> alive = fAlive;
    Storage* store = &fStore;
    asio::io_context* loop = &fLoop;
    fStoreWorker.Post([this, alive, store, loop, writes = fCommitting] {
        bool stored = store->StoreRunningChanges(writes);
        std::string error = stored ? std::string() : store->LastError();
        asio::post(*loop, [this, alive, stored, error] {
            if (alive.lock())
                _Committed(stored, error);
        });
    });
}

void RunningGames::_Committed(bool stored, const std::string& error)
{
    fBusy = false;
    if (!stored) {
        // The moves wait, unannounced, until they can be kept.
        LogEvent("ERROR: cannot store " + std::to_string(fCommitting.size()) +
                 " changes to running games (" + error + "); trying again in " +
                 std::to_string(fRetry.count()) + " ms");
        fBusy = true;
        fRetryTimer.expires_after(fRetry);
        std::weak_ptr<int> alive = fAlive;
        fRetryTimer.async_wait([this, alive](const asio::error_code& cancelled) {
            if (cancelled || !alive.lock())
                return;
            fBusy = false;
            _Commit();
        });
        return;
    }
    std::vector<std::function<void()>> then = std::move(fCommittingThen);
    fCommitting.clear();
    fCommittingThen.clear();
    for (auto& next : then)
        next();
    _Commit();
}

} // namespace tolvar::server
