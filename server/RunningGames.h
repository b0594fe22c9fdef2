#pragma once
// The games in progress, kept in the database move by move so that a crash
// or a restart loses none of them. Writes are grouped: whatever is asked for
// while one transaction commits goes into the next, and each move's
// continuation (sending its 114 lines) runs on the loop only once its move
// is committed; so does a started game's. Network thread only; the
// database is touched only on the store worker.

#include "server/Storage.h"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvar::server {

class WorkerPool;

class RunningGames
{
public:
    RunningGames(asio::io_context& loop, Storage& store, WorkerPool& storeWorker,
                 std::chrono::milliseconds retry);
    ~RunningGames();

    // A game began: its seats and description. `then` runs on the loop once
    // the game is committed, so that no player hears of a game a crash could
    // lose.
    void Started(const StoredGame& game, std::function<void()> then);
    // A move was judged legal; `game` holds its id and the clocks after it,
    // `ply` the number of moves with it.
    // `then` runs on the loop once it is committed.
    void Moved(const StoredGame& game, const std::string& move, int ply,
               std::function<void()> then);
    // The game is over (its result, if any, is kept elsewhere).
    void Ended(std::int64_t id);

private:
    void _Commit();
    void _Committed(bool stored, const std::string& error);

    asio::io_context& fLoop;
    Storage& fStore;
    WorkerPool& fStoreWorker;
    std::chrono::milliseconds fRetry;
    asio::steady_timer fRetryTimer;

    std::vector<RunningChange> fWaiting; // for the next transaction
    std::vector<std::function<void()>> fWaitingThen;
    std::vector<RunningChange> fCommitting; // in the transaction under way
    std::vector<std::function<void()>> fCommittingThen;
    bool fBusy = false;
    std::shared_ptr<int> fAlive = std::make_shared<int>(0);
};

} // namespace tolvar::server
