#include "server/AccountStore.h"

#include "server/TextRules.h"

#include <sqlite3.h>

#include <ctime>

namespace tolvar::server {

namespace {

constexpr int kSchemaVersion = 1;

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
)sql";

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

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

std::unique_ptr<AccountStore> AccountStore::Open(const std::string& path, std::string* error)
{
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<AccountStore> store(new AccountStore(db));
    sqlite3_busy_timeout(db, 5000);
    // WAL keeps readers and the one writer apart; FULL syncs every commit so
    // an acknowledged account or rating survives even a power failure.
    bool ok = store->_Exec("PRAGMA journal_mode=WAL") && store->_Exec("PRAGMA synchronous=FULL") &&
              store->_Exec("PRAGMA foreign_keys=ON") && store->_Exec(kSchema);
    if (ok) {
        Statement version(db, "PRAGMA user_version");
        int current = version.Step() == SQLITE_ROW ? static_cast<int>(version.Int(0)) : 0;
        if (current > kSchemaVersion) {
            store->fLastError = "database was written by a newer server";
            ok = false;
        } else if (current < kSchemaVersion) {
            ok = store->_Exec("PRAGMA user_version=1");
        }
    }
    if (!ok) {
        if (error)
            *error = store->fLastError;
        return nullptr;
    }
    return store;
}

AccountStore::~AccountStore()
{
    sqlite3_close(fDb);
}

bool AccountStore::_Exec(const char* sql)
{
    char* message = nullptr;
    if (sqlite3_exec(fDb, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        fLastError = message ? message : sqlite3_errmsg(fDb);
        sqlite3_free(message);
        return false;
    }
    return true;
}

std::optional<Account> AccountStore::FindAccount(std::string_view name)
{
    Statement find(fDb, "SELECT id, name, password_hash, rating FROM accounts WHERE name_key = ?");
    if (!find.Ok()) {
        fLastError = sqlite3_errmsg(fDb);
        return std::nullopt;
    }
    find.Bind(1, NameKey(name));
    if (find.Step() != SQLITE_ROW)
        return std::nullopt;
    Account account;
    account.id = find.Int(0);
    account.name = find.Text(1);
    account.passwordHash = find.Text(2);
    account.rating = static_cast<int>(find.Int(3));
    return account;
}

AccountStore::Created AccountStore::CreateAccount(std::string_view name,
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

bool AccountStore::RecordGame(const FinishedGame& game)
{
    if (!_Exec("BEGIN IMMEDIATE"))
        return false;
    bool ok;
    {
        Statement insert(fDb,
                         "INSERT INTO games (id, white_id, black_id, result, reason, moves,"
                         " white_rating_before, black_rating_before, white_rating_after,"
                         " black_rating_after, ended_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        Statement rate(fDb, "UPDATE accounts SET rating = ? WHERE id = ?");
        ok = insert.Ok() && rate.Ok();
        if (ok) {
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
    if (!ok) {
        std::string error = fLastError;
        _Exec("ROLLBACK");
        fLastError = error;
        return false;
    }
    return _Exec("COMMIT");
}

std::optional<FinishedGame> AccountStore::FindGame(std::int64_t id)
{
    Statement find(fDb, "SELECT white_id, black_id, result, reason, moves, white_rating_before,"
                        " black_rating_before, white_rating_after, black_rating_after"
                        " FROM games WHERE id = ?");
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
    return game;
}

std::int64_t AccountStore::HighestGameId()
{
    Statement highest(fDb, "SELECT COALESCE(MAX(id), 0) FROM games");
    if (!highest.Ok() || highest.Step() != SQLITE_ROW)
        return 0;
    return highest.Int(0);
}

} // namespace tolvar::server
