#include "server/RunningGames.h"

#include "server/AccountStore.h"
#include "server/EventLog.h"
#include "server/WorkerPool.h"

#include <sqlite3.h>

#include <sstream>

namespace tolvar::server {

namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS running_games (
    id INTEGER PRIMARY KEY,
    description TEXT NOT NULL,
    white_id INTEGER NOT NULL,
    white_name TEXT NOT NULL,
    black_id INTEGER NOT NULL,
    black_name TEXT NOT NULL,
    moves TEXT NOT NULL,
    minutes INTEGER NOT NULL,
    seconds INTEGER NOT NULL,
    white_ms INTEGER NOT NULL,
    black_ms INTEGER NOT NULL
);
)sql";

// Runs one statement with its parameters bound in order.
bool Run(sqlite3* db, const char* sql, std::initializer_list<std::string> texts, std::int64_t id)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return false;
    int index = 1;
    for (const std::string& text : texts)
        sqlite3_bind_text(statement, index++, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    sqlite3_bind_int64(statement, index, id);
    int step = sqlite3_step(statement);
    sqlite3_finalize(statement);
    return step == SQLITE_DONE;
}

} // namespace

RunningGames::RunningGames(asio::io_context& loop, AccountStore& store, WorkerPool& storeWorker,
                           std::chrono::milliseconds retry)
    : fLoop(loop), fStore(store), fStoreWorker(storeWorker), fRetry(retry), fRetryTimer(loop)
{
}

RunningGames::~RunningGames() = default;

bool RunningGames::Load(AccountStore& store, std::vector<StoredGame>* games, std::string* error)
{
    sqlite3* db = store.Database();
    char* message = nullptr;
    // A game whose result was committed but whose row was not yet removed
    // when the server stopped is over.
    if (sqlite3_exec(db, kSchema, nullptr, nullptr, &message) != SQLITE_OK ||
        sqlite3_exec(db, "DELETE FROM running_games WHERE id IN (SELECT id FROM games)", nullptr,
                     nullptr, &message) != SQLITE_OK) {
        *error = message ? message : sqlite3_errmsg(db);
        sqlite3_free(message);
        return false;
    }
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT id, description, white_id, white_name, black_id, black_name,"
                           " moves, minutes, seconds, white_ms, black_ms FROM running_games"
                           " ORDER BY id",
                           -1, &select, nullptr) != SQLITE_OK) {
        *error = sqlite3_errmsg(db);
        return false;
    }
    auto text = [select](int column) {
        const unsigned char* value = sqlite3_column_text(select, column);
        return value ? std::string(reinterpret_cast<const char*>(value)) : std::string();
    };
    while (sqlite3_step(select) == SQLITE_ROW) {
        StoredGame game;
        game.id = sqlite3_column_int64(select, 0);
        game.description = text(1);
        game.whiteId = sqlite3_column_int64(select, 2);
        game.whiteName = text(3);
        game.blackId = sqlite3_column_int64(select, 4);
        game.blackName = text(5);
        std::istringstream moves(text(6));
        for (std::string move; moves >> move;)
            game.moves.push_back(move);
        game.minutes = sqlite3_column_int(select, 7);
        game.seconds = sqlite3_column_int(select, 8);
        game.whiteMs = sqlite3_column_int64(select, 9);
        game.blackMs = sqlite3_column_int64(select, 10);
        games->push_back(std::move(game));
    }
    sqlite3_finalize(select);
    return true;
}

void RunningGames::Started(const StoredGame& game, std::function<void()> then)
{
    fWaiting.push_back(Write{Write::Kind::Start, game, {}});
    fWaitingThen.push_back(std::move(then));
    _Commit();
}

void RunningGames::Moved(const StoredGame& game, const std::string& move,
                         std::function<void()> then)
{
    fWaiting.push_back(Write{Write::Kind::Move, game, move});
    fWaitingThen.push_back(std::move(then));
    _Commit();
}

void RunningGames::Ended(std::int64_t id)
{
    StoredGame game;
    game.id = id;
    fWaiting.push_back(Write{Write::Kind::End, std::move(game), {}});
    _Commit();
}

bool RunningGames::_Apply(sqlite3* db, const std::vector<Write>& writes, std::string* error)
{
    bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (std::size_t i = 0; ok && i < writes.size(); ++i) {
        const Write& write = writes[i];
        const StoredGame& game = write.game;
        switch (write.kind) {
        case Write::Kind::Start:
            ok = Run(db,
                     "INSERT OR REPLACE INTO running_games (description, white_id, white_name,"
                     " black_id, black_name, minutes, seconds, white_ms, black_ms, moves, id)"
                     " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, '', ?)",
                     {game.description, std::to_string(game.whiteId), game.whiteName,
                      std::to_string(game.blackId), game.blackName, std::to_string(game.minutes),
                      std::to_string(game.seconds), std::to_string(game.whiteMs),
                      std::to_string(game.blackMs)},
                     game.id);
            break;
        case Write::Kind::Move:
            ok = Run(db,
                     "UPDATE running_games SET moves = moves || ? || ' ', white_ms = ?,"
                     " black_ms = ? WHERE id = ?",
                     {write.move, std::to_string(game.whiteMs), std::to_string(game.blackMs)},
                     game.id);
            break;
        case Write::Kind::End:
            ok = Run(db, "DELETE FROM running_games WHERE id = ?", {}, game.id);
            break;
        }
    }
    if (ok)
        ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        *error = sqlite3_errmsg(db);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return ok;
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
    AccountStore* store = &fStore;
    asio::io_context* loop = &fLoop;
    fStoreWorker.Post([this, alive, store, loop, writes = fCommitting] {
        std::string error;
        bool stored = _Apply(store->Database(), writes, &error);
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
