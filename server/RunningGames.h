#pragma once
// The games in progress, kept in the database move by move so that a crash
// or a restart loses none of them. Writes are grouped: whatever is asked for
// while one transaction commits goes into the next, and each move's
// continuation (sending its 114 lines) runs on the loop only once its move
// is committed; so does a started game's. Network thread only, except Load, which runs before the
// loop does; the database is touched only on the store worker.

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace tolvar::server {

class AccountStore;
class WorkerPool;

struct StoredGame
{
    std::int64_t id = 0;
    std::string description;
    std::int64_t whiteId = 0;
    std::string whiteName;
    std::int64_t blackId = 0;
    std::string blackName;
    std::vector<std::string> moves;
    // A timed game's time control and, as of its last move, both clocks.
    int minutes = 0;
    int seconds = 0;
    std::int64_t whiteMs = 0;
    std::int64_t blackMs = 0;
};

class RunningGames
{
public:
    RunningGames(asio::io_context& loop, AccountStore& store, WorkerPool& storeWorker,
                 std::chrono::milliseconds retry);
    ~RunningGames();

    // Makes the table if needed and reads every stored game that has no
    // result yet. Blocks on the disk; call before the store worker runs jobs.
    static bool Load(AccountStore& store, std::vector<StoredGame>* games, std::string* error);

    // A game began: its seats and description. `then` runs on the loop once
    // the game is committed, so that no player hears of a game a crash could
    // lose.
    void Started(const StoredGame& game, std::function<void()> then);
    // A move was judged legal; `game` holds its id and the clocks after it.
    // `then` runs on the loop once it is committed.
    void Moved(const StoredGame& game, const std::string& move, std::function<void()> then);
    // The game is over (its result, if any, is kept elsewhere).
    void Ended(std::int64_t id);

private:
    struct Write
    {
        enum class Kind
        {
            Start,
            Move,
            End
        } kind;
        StoredGame game; // Start: the whole game; otherwise its id
        std::string move;
    };
    void _Commit();
    void _Committed(bool stored, const std::string& error);
    static bool _Apply(sqlite3* db, const std::vector<Write>& writes, std::string* error);

    asio::io_context& fLoop;
    AccountStore& fStore;
    WorkerPool& fStoreWorker;
    std::chrono::milliseconds fRetry;
    asio::steady_timer fRetryTimer;

    std::vector<Write> fWaiting; // for the next transaction
    std::vector<std::function<void()>> fWaitingThen;
    std::vector<Write> fCommitting; // in the transaction under way
    std::vector<std::function<void()>> fCommittingThen;
    bool fBusy = false;
    std::shared_ptr<int> fAlive = std::make_shared<int>(0);
};

} // namespace tolvar::server
