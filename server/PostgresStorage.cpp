#include "server/PostgresStorage.h"

#include "server/Archive.h"
#include "server/Elo.h"
#include "server/EventLog.h"
#include "server/TextRules.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace tolvar::server {

namespace {

constexpr int kSchemaVersion = 1;

// The meaning of the SQLite schema; ids come from the database. Servers
// that start together make it one at a time, under an advisory lock.
const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS accounts (
    id BIGSERIAL PRIMARY KEY,
    name TEXT NOT NULL,
    name_key TEXT NOT NULL UNIQUE,
    password_hash TEXT NOT NULL,
    rating INTEGER NOT NULL,
    created_at BIGINT NOT NULL
);
CREATE TABLE IF NOT EXISTS games (
    id BIGINT PRIMARY KEY,
    white_id BIGINT NOT NULL REFERENCES accounts(id),
    black_id BIGINT NOT NULL REFERENCES accounts(id),
    result TEXT NOT NULL,
    reason TEXT NOT NULL,
    moves TEXT NOT NULL,
    white_rating_before INTEGER NOT NULL,
    black_rating_before INTEGER NOT NULL,
    white_rating_after INTEGER NOT NULL,
    black_rating_after INTEGER NOT NULL,
    ended_at BIGINT NOT NULL,
    minutes INTEGER NOT NULL DEFAULT 0,
    seconds INTEGER NOT NULL DEFAULT 0,
    move_times TEXT NOT NULL DEFAULT ''
);
CREATE INDEX IF NOT EXISTS games_by_white ON games(white_id, id);
CREATE INDEX IF NOT EXISTS games_by_black ON games(black_id, id);
CREATE TABLE IF NOT EXISTS running_games (
    id BIGINT PRIMARY KEY,
    description TEXT NOT NULL,
    white_id BIGINT NOT NULL,
    white_name TEXT NOT NULL,
    black_id BIGINT NOT NULL,
    black_name TEXT NOT NULL,
    moves TEXT NOT NULL,
    minutes INTEGER NOT NULL,
    seconds INTEGER NOT NULL,
    white_ms BIGINT NOT NULL,
    black_ms BIGINT NOT NULL
);
ALTER TABLE running_games ADD COLUMN IF NOT EXISTS owner TEXT NOT NULL DEFAULT '';
CREATE SEQUENCE IF NOT EXISTS game_ids;
)sql";

// An arbitrary key for the advisory lock that serialises schema changes.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7468021)";

// libpq's messages may run over several lines; the log keeps them on one.
std::string Trimmed(const char* message)
{
    std::string text;
    for (const char* c = message ? message : ""; *c; ++c) {
        bool blank = *c == ' ' || *c == '\n' || *c == '\t' || *c == '\r';
        if (!blank)
            text += *c;
        else if (!text.empty() && text.back() != ' ')
            text += ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return Printable(text);
}

std::int64_t Number(const char* text)
{
    return text ? std::strtoll(text, nullptr, 10) : 0;
}

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

// A result that clears itself.
class PostgresStorage::Result
{
public:
    explicit Result(PGresult* result = nullptr) : fResult(result) {}
    ~Result() { PQclear(fResult); }
    Result(Result&& other) noexcept : fResult(other.fResult) { other.fResult = nullptr; }
    Result& operator=(Result&& other) noexcept
    {
        std::swap(fResult, other.fResult);
        return *this;
    }

    bool Ok() const
    {
        ExecStatusType status = PQresultStatus(fResult);
        return fResult && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
    }
    int Rows() const { return fResult ? PQntuples(fResult) : 0; }
    int Changed() const { return fResult ? std::atoi(PQcmdTuples(fResult)) : 0; }
    std::string Text(int row, int column) const { return PQgetvalue(fResult, row, column); }
    std::int64_t Int(int row, int column) const { return Number(PQgetvalue(fResult, row, column)); }
    // The SQLSTATE of a failure ("23505" for a unique key already there).
    std::string State() const
    {
        const char* state = fResult ? PQresultErrorField(fResult, PG_DIAG_SQLSTATE) : nullptr;
        return state ? state : "";
    }

private:
    PGresult* fResult;
};

std::string PostgresStorage::DescribeConnection(const std::string& connection)
{
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &message);
    PQfreemem(message);
    std::string database, host, port;
    for (PQconninfoOption* option = options; option && option->keyword; ++option) {
        std::string key = option->keyword;
        std::string value = option->val ? option->val : "";
        (key == "dbname" ? database : key == "host" ? host : key == "port" ? port : key) = value;
    }
    PQconninfoFree(options);
    std::string text = "PostgreSQL database " + (database.empty() ? "(default)" : database);
    if (!host.empty())
        text += " on " + host;
    if (!port.empty())
        text += " port " + port;
    return Printable(text);
}

std::unique_ptr<PostgresStorage> PostgresStorage::Open(const std::string& connection,
                                                       std::string* error)
{
    // A database host that does not answer must not hold the store worker
    // for ever; a connect_timeout in the string itself comes later and wins.
    const char* const keys[] = {"connect_timeout", "dbname", nullptr};
    const char* const values[] = {"10", connection.c_str(), nullptr};
    PGconn* raw = PQconnectdbParams(keys, values, 1);
    if (!raw || PQstatus(raw) != CONNECTION_OK) {
        if (error)
            *error = raw ? Trimmed(PQerrorMessage(raw)) : "out of memory";
        PQfinish(raw);
        return nullptr;
    }
    std::unique_ptr<PostgresStorage> store(new PostgresStorage(raw, connection));
    auto fail = [&](const std::string& reason) {
        if (error)
            *error = reason;
        return nullptr;
    };
    // Notices (a table that exists already) are not for the server's log.
    PQsetNoticeProcessor(
        raw, [](void*, const char*) {}, nullptr);
    Result standby = store->_Run("SELECT pg_is_in_recovery() OR"
                                 " current_setting('default_transaction_read_only') = 'on'",
                                 {});
    if (!standby.Ok())
        return fail(store->fLastError);
    if (standby.Text(0, 0) == "t")
        return fail("the database cannot be written (a standby or read-only)");
    int version = 0;
    bool made = store->_Transaction([&] {
        if (!store->_Exec(kSchemaLock) || !store->_Exec(kSchema))
            return false;
        Result found = store->_Run("SELECT COALESCE(MAX(version), 0) FROM schema_version", {});
        if (!found.Ok())
            return false;
        version = static_cast<int>(found.Int(0, 0));
        if (version == 0)
            return store
                ->_Run("INSERT INTO schema_version VALUES ($1)", {std::to_string(kSchemaVersion)})
                .Ok();
        return true;
    });
    if (!made)
        return fail(store->fLastError);
    if (version > kSchemaVersion)
        return fail("database was written by a newer server");
    return store;
}

PostgresStorage::~PostgresStorage()
{
    PQfinish(fConnection);
}

std::string PostgresStorage::Describe() const
{
    return DescribeConnection(fInfo);
}

bool PostgresStorage::_Ready()
{
    if (PQstatus(fConnection) == CONNECTION_OK)
        return true;
    // A new connection would run the rest of a transaction without its start.
    if (fInTransaction) {
        fLastError = "the connection to the database was lost";
        return false;
    }
    if (!fLost)
        LogEvent("ERROR: lost the connection to the " + Describe() + "; reconnecting");
    fLost = true;
    PQreset(fConnection);
    if (PQstatus(fConnection) != CONNECTION_OK) {
        fLastError = "no connection to the database: " + Trimmed(PQerrorMessage(fConnection));
        return false;
    }
    PQsetNoticeProcessor(
        fConnection, [](void*, const char*) {}, nullptr);
    fLost = false;
    LogEvent("reconnected to the " + Describe());
    return true;
}

PostgresStorage::Result
PostgresStorage::_Run(const char* sql, std::initializer_list<std::string> parameters, bool retry)
{
    std::vector<const char*> values;
    for (const std::string& parameter : parameters)
        values.push_back(parameter.c_str());
    for (int attempt = 0;; ++attempt) {
        if (!_Ready())
            return Result();
        Result result(PQexecParams(fConnection, sql, static_cast<int>(values.size()), nullptr,
                                   values.data(), nullptr, nullptr, 0));
        if (result.Ok())
            return result;
        fLastError = Trimmed(PQerrorMessage(fConnection));
        if (!retry || attempt > 0 || PQstatus(fConnection) == CONNECTION_OK)
            return result;
    }
}

bool PostgresStorage::_Exec(const char* sql)
{
    if (!_Ready())
        return false;
    Result result(PQexec(fConnection, sql));
    if (!result.Ok())
        fLastError = Trimmed(PQerrorMessage(fConnection));
    return result.Ok();
}

bool PostgresStorage::_Transaction(const std::function<bool()>& body)
{
    // A connection lost while idle shows only now: nothing is lost by
    // beginning again on a new one.
    if (!_Exec("BEGIN") && (PQstatus(fConnection) == CONNECTION_OK || !_Exec("BEGIN")))
        return false;
    fInTransaction = true;
    bool done = body() && _Exec("COMMIT");
    fInTransaction = false;
    if (done)
        return true;
    std::string error = fLastError;
    if (PQstatus(fConnection) == CONNECTION_OK && PQtransactionStatus(fConnection) != PQTRANS_IDLE)
        _Exec("ROLLBACK");
    fLastError = error;
    return false;
}

Storage::Found PostgresStorage::FindAccount(std::string_view name, Account* account)
{
    Result found = _Run("SELECT id, name, password_hash, rating FROM accounts WHERE name_key = $1",
                        {NameKey(name)}, true);
    if (!found.Ok())
        return Found::Failed;
    if (found.Rows() == 0)
        return Found::No;
    account->id = found.Int(0, 0);
    account->name = found.Text(0, 1);
    account->passwordHash = found.Text(0, 2);
    account->rating = static_cast<int>(found.Int(0, 3));
    return Found::Yes;
}

Storage::Created PostgresStorage::CreateAccount(std::string_view name,
                                                const std::string& passwordHash, int rating)
{
    Result made = _Run("INSERT INTO accounts (name, name_key, password_hash, rating, created_at)"
                       " VALUES ($1, $2, $3, $4, $5)",
                       {std::string(name), NameKey(name), passwordHash, std::to_string(rating),
                        std::to_string(Now())},
                       true);
    if (made.Ok())
        return Created::Yes;
    if (made.State() != "23505")
        return Created::Failed;
    // Tried again on a new connection, the insert may find its own first
    // try, whose answer was lost: the salted hash tells it apart.
    Result found = _Run("SELECT password_hash FROM accounts WHERE name_key = $1", {NameKey(name)});
    return found.Ok() && found.Rows() == 1 && found.Text(0, 0) == passwordHash ? Created::Yes
                                                                               : Created::NameTaken;
}

bool PostgresStorage::RecordGames(std::vector<FinishedGame>& games)
{
    std::vector<FinishedGame> stored = games;
    bool done = _Transaction([&] {
        for (FinishedGame& game : stored)
            if (!_Insert(game))
                return false;
        return true;
    });
    if (done)
        games = std::move(stored);
    return done;
}

bool PostgresStorage::_Insert(FinishedGame& game)
{
    // A commit whose answer was lost with the connection may have gone
    // through: a game stored already keeps the ratings it was stored with.
    Result earlier = _Run("SELECT white_rating_before, black_rating_before, white_rating_after,"
                          " black_rating_after FROM games WHERE id = $1",
                          {std::to_string(game.id)});
    if (!earlier.Ok())
        return false;
    if (earlier.Rows() == 1) {
        game.whiteBefore = static_cast<int>(earlier.Int(0, 0));
        game.blackBefore = static_cast<int>(earlier.Int(0, 1));
        game.whiteAfter = static_cast<int>(earlier.Int(0, 2));
        game.blackAfter = static_cast<int>(earlier.Int(0, 3));
        return true;
    }
    // Locked in the order of their ids, so that two servers rating games of
    // the same players wait for each other instead of deadlocking.
    Result ratings = _Run("SELECT id, rating FROM accounts WHERE id IN ($1, $2) ORDER BY id"
                          " FOR UPDATE",
                          {std::to_string(game.whiteId), std::to_string(game.blackId)});
    if (!ratings.Ok())
        return false;
    bool white = false, black = false;
    for (int row = 0; row < ratings.Rows(); ++row) {
        if (ratings.Int(row, 0) == game.whiteId)
            game.whiteBefore = static_cast<int>(ratings.Int(row, 1)), white = true;
        if (ratings.Int(row, 0) == game.blackId)
            game.blackBefore = static_cast<int>(ratings.Int(row, 1)), black = true;
    }
    if (!white || !black) {
        fLastError = "a player of game " + std::to_string(game.id) + " has no account";
        return false;
    }
    RatingPair after = NewRatings({game.whiteBefore, game.blackBefore}, game.whiteScore);
    game.whiteAfter = after.white;
    game.blackAfter = after.black;
    auto text = [](auto value) { return std::to_string(value); };
    return _Run("INSERT INTO games (id, white_id, black_id, result, reason, moves,"
                " white_rating_before, black_rating_before, white_rating_after,"
                " black_rating_after, ended_at, minutes, seconds, move_times)"
                " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14)",
                {text(game.id), text(game.whiteId), text(game.blackId), game.result, game.reason,
                 game.moves, text(game.whiteBefore), text(game.blackBefore), text(game.whiteAfter),
                 text(game.blackAfter), text(Now()), text(game.minutes), text(game.seconds),
                 game.moveTimes})
               .Ok() &&
           _Run("UPDATE accounts SET rating = $1 WHERE id = $2",
                {text(game.whiteAfter), text(game.whiteId)})
                   .Changed() == 1 &&
           _Run("UPDATE accounts SET rating = $1 WHERE id = $2",
                {text(game.blackAfter), text(game.blackId)})
                   .Changed() == 1;
}

std::optional<FinishedGame> PostgresStorage::FindGame(std::int64_t id)
{
    Result found = _Run("SELECT white_id, black_id, result, reason, moves, white_rating_before,"
                        " black_rating_before, white_rating_after, black_rating_after,"
                        " minutes, seconds, move_times FROM games WHERE id = $1",
                        {std::to_string(id)}, true);
    if (!found.Ok() || found.Rows() == 0)
        return std::nullopt;
    FinishedGame game;
    game.id = id;
    game.whiteId = found.Int(0, 0);
    game.blackId = found.Int(0, 1);
    game.result = found.Text(0, 2);
    game.reason = found.Text(0, 3);
    game.moves = found.Text(0, 4);
    game.whiteBefore = static_cast<int>(found.Int(0, 5));
    game.blackBefore = static_cast<int>(found.Int(0, 6));
    game.whiteAfter = static_cast<int>(found.Int(0, 7));
    game.blackAfter = static_cast<int>(found.Int(0, 8));
    game.minutes = static_cast<int>(found.Int(0, 9));
    game.seconds = static_cast<int>(found.Int(0, 10));
    game.moveTimes = found.Text(0, 11);
    return game;
}

std::int64_t PostgresStorage::HighestGameId()
{
    Result highest = _Run("SELECT COALESCE(MAX(id), 0) FROM games", {}, true);
    return highest.Ok() ? highest.Int(0, 0) : 0;
}

bool PostgresStorage::TakeGameIds(int count, std::vector<std::int64_t>* ids)
{
    Result taken = _Run("SELECT nextval('game_ids') FROM generate_series(1, $1) ORDER BY 1",
                        {std::to_string(count)}, true);
    if (!taken.Ok())
        return false;
    for (int row = 0; row < taken.Rows(); ++row)
        ids->push_back(taken.Int(row, 0));
    return true;
}

bool PostgresStorage::ReadArchivePage(std::int64_t accountId, int page, ArchivePage* out)
{
    std::string account = std::to_string(accountId);
    Result count = _Run("SELECT (SELECT COUNT(*) FROM games WHERE white_id = $1)"
                        " + (SELECT COUNT(*) FROM games WHERE black_id = $1)",
                        {account}, true);
    if (!count.Ok())
        return false;
    Result list =
        _Run("SELECT g.id, g.ended_at, g.white_id = $1, a.name, g.result, g.reason,"
             " CASE WHEN g.white_id = $1 THEN g.white_rating_after - g.white_rating_before"
             " ELSE g.black_rating_after - g.black_rating_before END, g.minutes, g.seconds"
             " FROM games g JOIN accounts a"
             " ON a.id = CASE WHEN g.white_id = $1 THEN g.black_id ELSE g.white_id END"
             " WHERE g.white_id = $1 OR g.black_id = $1 ORDER BY g.id DESC LIMIT $2 OFFSET $3",
             {account, std::to_string(kArchivePageSize),
              std::to_string(static_cast<std::int64_t>(std::max(page - 1, 0)) * kArchivePageSize)},
             true);
    if (!list.Ok())
        return false;
    out->total = static_cast<int>(count.Int(0, 0));
    out->games.clear();
    for (int row = 0; row < list.Rows(); ++row) {
        ArchiveEntry entry;
        entry.id = list.Int(row, 0);
        entry.date = ArchiveDate(list.Int(row, 1));
        entry.colour = list.Text(row, 2) == "t" ? 1 : 0;
        entry.opponent = list.Text(row, 3);
        entry.result = list.Text(row, 4);
        entry.reason = ReasonWithoutResult(list.Text(row, 5));
        entry.change = static_cast<int>(list.Int(row, 6));
        entry.minutes = static_cast<int>(list.Int(row, 7));
        entry.seconds = static_cast<int>(list.Int(row, 8));
        out->games.push_back(std::move(entry));
    }
    return true;
}

Storage::Found PostgresStorage::ReadArchiveRecord(std::int64_t id, ArchiveRecord* out)
{
    Result found = _Run("SELECT w.name, b.name, g.white_rating_before, g.black_rating_before,"
                        " g.ended_at, g.result, g.reason, g.moves, g.minutes, g.seconds"
                        " FROM games g JOIN accounts w ON w.id = g.white_id"
                        " JOIN accounts b ON b.id = g.black_id WHERE g.id = $1",
                        {std::to_string(id)}, true);
    if (!found.Ok())
        return Found::Failed;
    if (found.Rows() == 0)
        return Found::No;
    out->id = id;
    out->white = found.Text(0, 0);
    out->black = found.Text(0, 1);
    out->whiteRating = static_cast<int>(found.Int(0, 2));
    out->blackRating = static_cast<int>(found.Int(0, 3));
    out->date = ArchiveDate(found.Int(0, 4));
    out->result = found.Text(0, 5);
    out->reason = ReasonWithoutResult(found.Text(0, 6));
    out->minutes = static_cast<int>(found.Int(0, 8));
    out->seconds = static_cast<int>(found.Int(0, 9));
    out->moves.clear();
    std::istringstream moves(found.Text(0, 7));
    for (std::string move; std::getline(moves, move, ' ');)
        if (!move.empty())
            out->moves.push_back(move);
    return Found::Yes;
}

bool PostgresStorage::LoadRunningGames(std::vector<StoredGame>* games)
{
    // A game whose result was committed but whose row was not yet removed
    // when its server stopped is over.
    if (!_Run("DELETE FROM running_games WHERE id IN (SELECT id FROM games)", {}).Ok())
        return false;
    Result rows = _Run("SELECT id, description, white_id, white_name, black_id, black_name,"
                       " moves, minutes, seconds, white_ms, black_ms, owner FROM running_games"
                       " ORDER BY id",
                       {}, true);
    if (!rows.Ok())
        return false;
    for (int row = 0; row < rows.Rows(); ++row) {
        StoredGame game;
        game.id = rows.Int(row, 0);
        game.description = rows.Text(row, 1);
        game.whiteId = rows.Int(row, 2);
        game.whiteName = rows.Text(row, 3);
        game.blackId = rows.Int(row, 4);
        game.blackName = rows.Text(row, 5);
        std::istringstream moves(rows.Text(row, 6));
        for (std::string move; moves >> move;)
            game.moves.push_back(move);
        game.minutes = static_cast<int>(rows.Int(row, 7));
        game.seconds = static_cast<int>(rows.Int(row, 8));
        game.whiteMs = rows.Int(row, 9);
        game.blackMs = rows.Int(row, 10);
        game.owner = rows.Text(row, 11);
        games->push_back(std::move(game));
    }
    return true;
}

bool PostgresStorage::StoreRunningChanges(const std::vector<RunningChange>& changes)
{
    // Every move costs a round trip to the database otherwise: the whole
    // batch goes as one string of statements, which PostgreSQL runs as one
    // transaction. Texts go in as escaped literals, numbers as digits.
    if (!_Ready())
        return false;
    std::string sql;
    bool escaped = true;
    auto literal = [&](const std::string& text) {
        char* quoted = PQescapeLiteral(fConnection, text.data(), text.size());
        escaped = escaped && quoted;
        std::string out = quoted ? quoted : "''";
        PQfreemem(quoted);
        return out;
    };
    auto number = [](std::int64_t value) { return std::to_string(value); };
    for (const RunningChange& change : changes) {
        const StoredGame& game = change.game;
        switch (change.kind) {
        case RunningChange::Kind::Start:
            sql += "INSERT INTO running_games (id, description, white_id, white_name, black_id,"
                   " black_name, minutes, seconds, white_ms, black_ms, owner, moves) VALUES (" +
                   number(game.id) + ", " + literal(game.description) + ", " +
                   number(game.whiteId) + ", " + literal(game.whiteName) + ", " +
                   number(game.blackId) + ", " + literal(game.blackName) + ", " +
                   number(game.minutes) + ", " + number(game.seconds) + ", " +
                   number(game.whiteMs) + ", " + number(game.blackMs) + ", " + literal(game.owner) +
                   ", '') ON CONFLICT (id) DO UPDATE SET description = EXCLUDED.description,"
                   " white_id = EXCLUDED.white_id, white_name = EXCLUDED.white_name,"
                   " black_id = EXCLUDED.black_id, black_name = EXCLUDED.black_name,"
                   " minutes = EXCLUDED.minutes, seconds = EXCLUDED.seconds,"
                   " white_ms = EXCLUDED.white_ms, black_ms = EXCLUDED.black_ms,"
                   " owner = EXCLUDED.owner, moves = '';";
            break;
        case RunningChange::Kind::Move:
            sql += "UPDATE running_games SET moves = moves || " + literal(change.move + " ") +
                   ", white_ms = " + number(game.whiteMs) + ", black_ms = " + number(game.blackMs) +
                   " WHERE id = " + number(game.id) + " AND " + kStoredMoveCount + " = " +
                   number(change.ply - 1) + ";";
            break;
        case RunningChange::Kind::End:
            sql += "DELETE FROM running_games WHERE id = " + number(game.id) + ";";
            break;
        }
    }
    if (!escaped) {
        fLastError = Trimmed(PQerrorMessage(fConnection));
        return false;
    }
    if (sql.empty())
        return true;
    // A string of statements without BEGIN is one transaction, and leaves
    // none open behind it when it fails.
    if (_Exec(sql.c_str()))
        return true;
    if (PQstatus(fConnection) == CONNECTION_OK || !_Ready())
        return false;
    return _Exec(sql.c_str());
}

bool PostgresStorage::ClaimRunningGames(const std::vector<StoredGame>& games,
                                        const std::string& owner, std::vector<std::int64_t>* taken)
{
    std::vector<std::int64_t> claimed;
    bool done = _Transaction([&] {
        claimed.clear();
        for (const StoredGame& game : games) {
            Result changed =
                _Run("UPDATE running_games SET owner = $1 WHERE owner = $2 AND id = $3",
                     {owner, game.owner, std::to_string(game.id)});
            if (!changed.Ok())
                return false;
            if (changed.Changed() == 1)
                claimed.push_back(game.id);
        }
        return true;
    });
    if (done)
        *taken = std::move(claimed);
    return done;
}

} // namespace tolvar::server
