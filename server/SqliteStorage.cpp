#include "server/SqliteStorage.h"

#include "server/Elo.h"
#include "server/EventLog.h"
#include "server/TextRules.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <iterator>
#include <sstream>

namespace tolvar::server {

namespace {

constexpr int kSchemaVersion = 2;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS accounts (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    name_key TEXT NOT NULL UNIQUE,
    password_hash TEXT NOT NULL,
    rating INTEGER NOT NULL,
    created_at INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS games (
    id INTEGER PRIMARY KEY,
    white_id INTEGER NOT NULL REFERENCES accounts(id),
    black_id INTEGER NOT NULL REFERENCES accounts(id),
    result TEXT NOT NULL,
    reason TEXT NOT NULL,
    moves TEXT NOT NULL,
    white_rating_before INTEGER NOT NULL,
    black_rating_before INTEGER NOT NULL,
    white_rating_after INTEGER NOT NULL,
    black_rating_after INTEGER NOT NULL,
    ended_at INTEGER NOT NULL
);
CREATE INDEX IF NOT EXISTS games_by_white ON games(white_id, id);
CREATE INDEX IF NOT EXISTS games_by_black ON games(black_id, id);
)sql";

// What each schema version adds to the one before, from version 1 on.
// Games stored before version 2 read as untimed.
const char* const kMigrations[] = {
    nullptr,
    nullptr,
    "ALTER TABLE games ADD COLUMN minutes INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE games ADD COLUMN seconds INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE games ADD COLUMN move_times TEXT NOT NULL DEFAULT '';",
};
static_assert(std::size(kMigrations) == kSchemaVersion + 1);

// A prepared statement that finalises itself.
class Statement
{
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &fStmt, nullptr) != SQLITE_OK)
            fStmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(fStmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return fStmt != nullptr; }
    void Bind(int index, std::int64_t value) { sqlite3_bind_int64(fStmt, index, value); }
    void Bind(int index, std::string_view text)
    {
        sqlite3_bind_text(fStmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    int Step() { return sqlite3_step(fStmt); }
    void Reset()
    {
        sqlite3_reset(fStmt);
        sqlite3_clear_bindings(fStmt);
    }
    std::int64_t Int(int column) { return sqlite3_column_int64(fStmt, column); }
    std::string Text(int column)
    {
        const unsigned char* text = sqlite3_column_text(fStmt, column);
        return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
    }

private:
    sqlite3_stmt* fStmt = nullptr;
};

const char* const kRunningSchema = R"sql(
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
    black_ms INTEGER NOT NULL,
    owner TEXT NOT NULL DEFAULT ''
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

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

std::unique_ptr<SqliteStorage> SqliteStorage::Open(const std::string& path, std::string* error)
{
    // A new database file is made here, readable by its owner only; the
    // journal files SQLite adds beside it take the same mode.
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (error)
                *error = std::strerror(errno);
            return nullptr;
        }
        ::close(fd);
        LogEvent("creating a new database in " + Printable(path));
    } else if (S_ISREG(info.st_mode) && info.st_size == 0) {
        LogEvent("the database file " + Printable(path) +
                 " is empty; starting a new database in it");
    }

    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<SqliteStorage> store(new SqliteStorage(db, path));
    sqlite3_busy_timeout(db, 5000);
    if (!store->_Check(path)) {
        if (error)
            *error = store->fLastError;
        return nullptr;
    }
    // WAL keeps readers and the one writer apart; FULL syncs every commit so
    // an acknowledged account or rating survives even a power failure.
    bool ok = store->_Exec("PRAGMA synchronous=FULL") && store->_Exec("PRAGMA foreign_keys=ON") &&
              store->_Exec(kSchema);
    if (ok) {
        Statement version(db, "PRAGMA user_version");
        int current = version.Step() == SQLITE_ROW ? static_cast<int>(version.Int(0)) : 0;
        if (current > kSchemaVersion) {
            store->fLastError = "database was written by a newer server";
            ok = false;
        } else if (current < kSchemaVersion) {
            // A new database has just been made at version 1.
            ok = store->_Exec("BEGIN IMMEDIATE");
            for (int version = std::max(current, 1) + 1; ok && version <= kSchemaVersion; ++version)
                ok = store->_Exec(kMigrations[version]);
            ok = ok &&
                 store->_Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str()) &&
                 store->_Exec("COMMIT");
            if (!ok && !sqlite3_get_autocommit(db))
                store->_Exec("ROLLBACK");
        }
    }
    if (!ok) {
        if (error)
            *error = store->fLastError;
        return nullptr;
    }
    return store;
}

bool SqliteStorage::_Check(const std::string& path)
{
    // SQLite quietly opens a file it may not write read-only; the server
    // would then announce results it cannot keep.
    if (sqlite3_db_readonly(fDb, "main") == 1 || ::access(path.c_str(), W_OK) != 0) {
        fLastError = "the database file cannot be written";
        return false;
    }
    if (!_Exec("PRAGMA journal_mode=WAL"))
        return false;
    Statement check(fDb, "PRAGMA quick_check");
    if (!check.Ok()) {
        fLastError = sqlite3_errmsg(fDb);
        return false;
    }
    int step = check.Step();
    std::string verdict = step == SQLITE_ROW ? check.Text(0) : sqlite3_errmsg(fDb);
    if (verdict != "ok") {
        fLastError = "the database is damaged (" + Printable(Shortened(verdict, 200)) +
                     "); restore it from a backup or move it away";
        return false;
    }
    // Taking the write lock proves that the journal can be written too.
    if (!_Exec("BEGIN IMMEDIATE") || !_Exec("COMMIT")) {
        fLastError = "the database cannot be written: " + fLastError;
        return false;
    }
    return true;
}

SqliteStorage::~SqliteStorage()
{
    sqlite3_close(fDb);
}

bool SqliteStorage::_Exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(fDb, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        fLastError = message ? message : sqlite3_errmsg(fDb);
        sqlite3_free(message);
        return false;
    }
    return true;
}

Storage::Found SqliteStorage::FindAccount(std::string_view name, Account* account)
{
    Statement find(fDb, "SELECT id, name, password_hash, rating FROM accounts WHERE name_key = ?");
    if (!find.Ok()) {
        fLastError = sqlite3_errmsg(fDb);
        return Found::Failed;
    }
    find.Bind(1, NameKey(name));
    int step = find.Step();
    if (step == SQLITE_DONE)
        return Found::No;
    if (step != SQLITE_ROW) {
        fLastError = sqlite3_errmsg(fDb);
        return Found::Failed;
    }
    account->id = find.Int(0);
    account->name = find.Text(1);
    account->passwordHash = find.Text(2);
    account->rating = static_cast<int>(find.Int(3));
    return Found::Yes;
}

Storage::Created SqliteStorage::CreateAccount(std::string_view name,
                                              const std::string& passwordHash, int rating)
{
    Statement insert(fDb, "INSERT INTO accounts (name, name_key, password_hash, rating, created_at)"
                          " VALUES (?, ?, ?, ?, ?)");
    if (!insert.Ok()) {
        fLastError = sqlite3_errmsg(fDb);
        return Created::Failed;
    }
    insert.Bind(1, name);
    insert.Bind(2, NameKey(name));
    insert.Bind(3, passwordHash);
    insert.Bind(4, rating);
    insert.Bind(5, Now());
    int rc = insert.Step();
    if (rc == SQLITE_DONE)
        return Created::Yes;
    fLastError = sqlite3_errmsg(fDb);
    return sqlite3_extended_errcode(fDb) == SQLITE_CONSTRAINT_UNIQUE ? Created::NameTaken
                                                                     : Created::Failed;
}

bool SqliteStorage::_Transaction(const std::function<bool()>& body)
{
    if (!_Exec("BEGIN IMMEDIATE"))
        return false;
    bool done = body();
    if (!done)
        fLastError = sqlite3_errmsg(fDb);
    if (done && _Exec("COMMIT"))
        return true;
    // A failed commit may leave the transaction open (or have ended it
    // already); either way the next try must start clean.
    std::string error = fLastError;
    if (!sqlite3_get_autocommit(fDb))
        _Exec("ROLLBACK");
    fLastError = error;
    return false;
}

bool SqliteStorage::RecordGames(std::vector<FinishedGame>& games)
{
    return _Transaction([&] {
        bool ok = true;
        for (std::size_t i = 0; ok && i < games.size(); ++i)
            ok = _Insert(games[i]);
        return ok;
    });
}

bool SqliteStorage::_Insert(FinishedGame& game)
{
    bool ok;
    {
        Statement read(fDb, "SELECT rating FROM accounts WHERE id = ?");
        Statement insert(fDb, "INSERT INTO games (id, white_id, black_id, result, reason, moves,"
                              " white_rating_before, black_rating_before, white_rating_after,"
                              " black_rating_after, ended_at, minutes, seconds, move_times)"
                              " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        Statement rate(fDb, "UPDATE accounts SET rating = ? WHERE id = ?");
        ok = read.Ok() && insert.Ok() && rate.Ok();
        int* before[] = {&game.whiteBefore, &game.blackBefore};
        std::int64_t ids[] = {game.whiteId, game.blackId};
        for (int side = 0; side < 2 && ok; ++side) {
            read.Reset();
            read.Bind(1, ids[side]);
            ok = read.Step() == SQLITE_ROW;
            if (ok)
                *before[side] = static_cast<int>(read.Int(0));
        }
        if (ok) {
            RatingPair after = NewRatings({game.whiteBefore, game.blackBefore}, game.whiteScore);
            game.whiteAfter = after.white;
            game.blackAfter = after.black;
            insert.Bind(1, game.id);
            insert.Bind(2, game.whiteId);
            insert.Bind(3, game.blackId);
            insert.Bind(4, game.result);
            insert.Bind(5, game.reason);
            insert.Bind(6, game.moves);
            insert.Bind(7, game.whiteBefore);
            insert.Bind(8, game.blackBefore);
            insert.Bind(9, game.whiteAfter);
            insert.Bind(10, game.blackAfter);
            insert.Bind(11, Now());
            insert.Bind(12, game.minutes);
            insert.Bind(13, game.seconds);
            insert.Bind(14, game.moveTimes);
            ok = insert.Step() == SQLITE_DONE;
        }
        if (ok) {
            rate.Bind(1, game.whiteAfter);
            rate.Bind(2, game.whiteId);
            ok = rate.Step() == SQLITE_DONE && sqlite3_changes(fDb) == 1;
        }
        if (ok) {
            rate.Reset();
            rate.Bind(1, game.blackAfter);
            rate.Bind(2, game.blackId);
            ok = rate.Step() == SQLITE_DONE && sqlite3_changes(fDb) == 1;
        }
        if (!ok)
            fLastError = sqlite3_errmsg(fDb);
    }
    return ok;
}

std::optional<FinishedGame> SqliteStorage::FindGame(std::int64_t id)
{
    Statement find(fDb, "SELECT white_id, black_id, result, reason, moves, white_rating_before,"
                        " black_rating_before, white_rating_after, black_rating_after,"
                        " minutes, seconds, move_times FROM games WHERE id = ?");
    if (!find.Ok())
        return std::nullopt;
    find.Bind(1, id);
    if (find.Step() != SQLITE_ROW)
        return std::nullopt;
    FinishedGame game;
    game.id = id;
    game.whiteId = find.Int(0);
    game.blackId = find.Int(1);
    game.result = find.Text(2);
    game.reason = find.Text(3);
    game.moves = find.Text(4);
    game.whiteBefore = static_cast<int>(find.Int(5));
    game.blackBefore = static_cast<int>(find.Int(6));
    game.whiteAfter = static_cast<int>(find.Int(7));
    game.blackAfter = static_cast<int>(find.Int(8));
    game.minutes = static_cast<int>(find.Int(9));
    game.seconds = static_cast<int>(find.Int(10));
    game.moveTimes = find.Text(11);
    return game;
}

std::int64_t SqliteStorage::HighestGameId()
{
    Statement highest(fDb, "SELECT COALESCE(MAX(id), 0) FROM games");
    if (!highest.Ok() || highest.Step() != SQLITE_ROW)
        return 0;
    return highest.Int(0);
}

bool SqliteStorage::LoadRunningGames(std::vector<StoredGame>* games)
{
    // A game whose result was committed but whose row was not yet removed
    // when the server stopped is over.
    if (!_Exec(kRunningSchema) ||
        !_Exec("DELETE FROM running_games WHERE id IN (SELECT id FROM games)"))
        return false;
    // Files from before games had owners get the column.
    if (!Statement(fDb, "SELECT owner FROM running_games").Ok() &&
        !_Exec("ALTER TABLE running_games ADD COLUMN owner TEXT NOT NULL DEFAULT ''"))
        return false;
    Statement select(fDb, "SELECT id, description, white_id, white_name, black_id, black_name,"
                          " moves, minutes, seconds, white_ms, black_ms, owner FROM running_games"
                          " ORDER BY id");
    if (!select.Ok()) {
        fLastError = sqlite3_errmsg(fDb);
        return false;
    }
    while (select.Step() == SQLITE_ROW) {
        StoredGame game;
        game.id = select.Int(0);
        game.description = select.Text(1);
        game.whiteId = select.Int(2);
        game.whiteName = select.Text(3);
        game.blackId = select.Int(4);
        game.blackName = select.Text(5);
        std::istringstream moves(select.Text(6));
        for (std::string move; moves >> move;)
            game.moves.push_back(move);
        game.minutes = static_cast<int>(select.Int(7));
        game.seconds = static_cast<int>(select.Int(8));
        game.whiteMs = select.Int(9);
        game.blackMs = select.Int(10);
        game.owner = select.Text(11);
        games->push_back(std::move(game));
    }
    return true;
}

bool SqliteStorage::StoreRunningChanges(const std::vector<RunningChange>& changes)
{
    return _Transaction([&] { return _StoreRunningChanges(changes); });
}

bool SqliteStorage::_StoreRunningChanges(const std::vector<RunningChange>& changes)
{
    bool ok = true;
    for (std::size_t i = 0; ok && i < changes.size(); ++i) {
        const RunningChange& change = changes[i];
        const StoredGame& game = change.game;
        switch (change.kind) {
        case RunningChange::Kind::Start:
            ok = Run(fDb,
                     "INSERT OR REPLACE INTO running_games (description, white_id, white_name,"
                     " black_id, black_name, minutes, seconds, white_ms, black_ms, owner, moves,"
                     " id) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, '', ?)",
                     {game.description, std::to_string(game.whiteId), game.whiteName,
                      std::to_string(game.blackId), game.blackName, std::to_string(game.minutes),
                      std::to_string(game.seconds), std::to_string(game.whiteMs),
                      std::to_string(game.blackMs), game.owner},
                     game.id);
            break;
        case RunningChange::Kind::Move:
            ok = Run(fDb,
                     (std::string("UPDATE running_games SET moves = moves || ? || ' ',"
                                  " white_ms = ?, black_ms = ? WHERE ") +
                      kStoredMoveCount + " = CAST(? AS INTEGER) AND id = ?")
                         .c_str(),
                     {change.move, std::to_string(game.whiteMs), std::to_string(game.blackMs),
                      std::to_string(change.ply - 1)},
                     game.id);
            break;
        case RunningChange::Kind::End:
            ok = Run(fDb, "DELETE FROM running_games WHERE id = ?", {}, game.id);
            break;
        }
    }
    return ok;
}

bool SqliteStorage::ClaimRunningGames(const std::vector<StoredGame>& games,
                                      const std::string& owner, std::vector<std::int64_t>* taken)
{
    std::vector<std::int64_t> claimed;
    bool done = _Transaction([&] {
        for (const StoredGame& game : games) {
            if (!Run(fDb, "UPDATE running_games SET owner = ? WHERE owner = ? AND id = ?",
                     {owner, game.owner}, game.id))
                return false;
            if (sqlite3_changes(fDb) == 1)
                claimed.push_back(game.id);
        }
        return true;
    });
    if (done)
        *taken = std::move(claimed);
    return done;
}

} // namespace tolvar::server
