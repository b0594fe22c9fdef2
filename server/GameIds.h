#pragma once
// The ids of new games; a challenge keeps its id when it becomes a game.
// Where one server owns the database it counts on from the highest id it
// found. Where servers share the database, ids come from it in small
// batches, fetched on the store worker before the batch runs out, so that
// no two servers ever hand out the same one. Network thread only.

#include <asio.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace tolvar::server {

class Storage;
class WorkerPool;

class GameIds
{
public:
    // `batch`: how many ids to take from a shared database at a time; 1
    // takes each only when it is needed.
    GameIds(asio::io_context& loop, Storage& store, WorkerPool& storeWorker, std::int64_t first,
            int batch);

    // The next id; 0 when the database has none to give right now.
    std::int64_t Take();
    // Runs `then` on the loop once more ids have come from the database.
    void WhenAvailable(std::function<void()> then);
    // Above every id handed out here so far.
    std::int64_t End() const { return fEnd; }
    // A game restored from the database keeps its id.
    void Restored(std::int64_t id);
    // Servers that share a database which gives no ids (nodes of one
    // machine on one SQLite file) take turns: this one takes only the ids
    // whose remainder by `stride` is `offset`.
    void Interleave(int stride, int offset)
    {
        fStride = stride;
        fOffset = offset;
    }

private:
    void _Refill();

    asio::io_context& fLoop;
    Storage& fStore;
    WorkerPool& fStoreWorker;
    bool fShared;
    int fBatch;
    std::int64_t fEnd;
    int fStride = 1;
    int fOffset = 0;
    std::deque<std::int64_t> fSpare; // shared ids fetched but not handed out
    bool fFetching = false;
    std::vector<std::function<void()>> fWaiting;
    asio::steady_timer fRetryTimer;
    std::shared_ptr<int> fAlive = std::make_shared<int>(0);
};

} // namespace tolvar::server
