#include "server/GameIds.h"

#include "server/EventLog.h"
#include "server/Storage.h"
#include "server/WorkerPool.h"

#include <algorithm>
#include <vector>

namespace tolvar::server {

namespace {

} // namespace

GameIds::GameIds(asio::io_context& loop, Storage& store, WorkerPool& storeWorker,
                 std::int64_t first, int batch)
    : fLoop(loop), fStore(store), fStoreWorker(storeWorker), fShared(store.SharesGameIds()),
      fBatch(std::max(1, batch)), fEnd(first), fRetryTimer(loop)
{
    if (fShared && fBatch > 1)
        _Refill();
}

std::int64_t GameIds::Take()
{
    if (!fShared) {
        while (fEnd % fStride != fOffset)
            ++fEnd;
        return fEnd++;
    }
    // A batch lasts for many challenges; a new one is fetched while half of
    // the old one is left, so that a busy lobby never waits for it.
    if (fBatch > 1 && fSpare.size() < static_cast<std::size_t>(fBatch / 2))
        _Refill();
    if (fSpare.empty())
        return 0;
    std::int64_t id = fSpare.front();
    fSpare.pop_front();
    fEnd = std::max(fEnd, id + 1);
    return id;
}

void GameIds::WhenAvailable(std::function<void()> then)
{
    fWaiting.push_back(std::move(then));
    _Refill();
}

void GameIds::Restored(std::int64_t id)
{
    fEnd = std::max(fEnd, id + 1);
}

void GameIds::_Refill()
{
    if (fFetching)
        return;
    fFetching = true;
    std::weak_ptr<int> alive = fAlive;
    fStoreWorker.Post([this, alive] {
        std::vector<std::int64_t> ids;
        bool fetched = fStore.TakeGameIds(fBatch, &ids);
        std::string error = fetched ? std::string() : fStore.LastError();
        asio::post(fLoop, [this, alive, ids = std::move(ids), error] {
            if (!alive.lock())
                return;
            fFetching = false;
            // The database hands them out rising; so do we, as the list of
            // games relies on it.
            for (std::int64_t id : ids)
                if (fSpare.empty() || id > fSpare.back())
                    fSpare.push_back(id);
            if (!error.empty()) {
                LogEvent("ERROR: cannot take game ids from the database (" + error +
                         "); trying again in a second");
                fRetryTimer.expires_after(std::chrono::seconds(1));
                fRetryTimer.async_wait([this, alive](const asio::error_code& cancelled) {
                    if (!cancelled && alive.lock() && !fWaiting.empty())
                        _Refill();
                });
                return;
            }
            std::vector<std::function<void()>> waiting = std::move(fWaiting);
            fWaiting.clear();
            for (auto& then : waiting)
                then();
        });
    });
}

} // namespace tolvar::server
