#pragma once
// The storage in a PostgreSQL database, through libpq, which several
// servers may share: account ids and game ids come from the database, names
// are unique without regard to case through a key column, and every write
// that belongs together is one transaction. A lost connection is made
// again at the next call, with a line in the log; a call that fails on the
// way fails as a full disk does for the SQLite file, and is tried again by
// its caller.

#include "server/Storage.h"

#include <functional>
#include <initializer_list>

struct pg_conn;
struct pg_result;

namespace tolvar::server {

class PostgresStorage : public Storage
{
public:
    // Connects (a key=value connection string or a postgresql:// URI),
    // makes or checks the schema; nothing and a reason on failure. A server
    // in recovery (a read-only standby) is refused.
    static std::unique_ptr<PostgresStorage> Open(const std::string& connection, std::string* error);
    ~PostgresStorage() override;
    PostgresStorage(const PostgresStorage&) = delete;
    PostgresStorage& operator=(const PostgresStorage&) = delete;

    // The database, host and port of a connection string, never its password.
    static std::string DescribeConnection(const std::string& connection);

    Found FindAccount(std::string_view name, Account* account) override;
    Created CreateAccount(std::string_view name, const std::string& passwordHash,
                          int rating) override;
    bool RecordGames(std::vector<FinishedGame>& games) override;
    std::optional<FinishedGame> FindGame(std::int64_t id) override;
    bool SharesGameIds() const override { return true; }
    std::int64_t HighestGameId() override;
    bool TakeGameIds(int count, std::vector<std::int64_t>* ids) override;
    bool ReadArchivePage(std::int64_t accountId, int page, ArchivePage* out) override;
    Found ReadArchiveRecord(std::int64_t id, ArchiveRecord* out) override;
    bool LoadRunningGames(std::vector<StoredGame>* games) override;
    bool StoreRunningChanges(const std::vector<RunningChange>& changes) override;
    bool ClaimRunningGames(const std::vector<StoredGame>& games, const std::string& owner,
                           std::vector<std::int64_t>* taken) override;
    std::string Describe() const override;

private:
    class Result;
    PostgresStorage(pg_conn* connection, std::string info)
        : fConnection(connection), fInfo(std::move(info))
    {
    }
    bool _Ready();
    // Runs one statement with text parameters; a read outside a transaction
    // is tried once more on a new connection when the old one was lost.
    Result _Run(const char* sql, std::initializer_list<std::string> parameters, bool retry = false);
    bool _Exec(const char* sql);
    // BEGIN, the body, COMMIT; a ROLLBACK when any of it fails.
    bool _Transaction(const std::function<bool()>& body);
    bool _Insert(FinishedGame& game);

    pg_conn* fConnection;
    std::string fInfo;
    bool fLost = false;
    bool fInTransaction = false;
};

} // namespace tolvar::server
