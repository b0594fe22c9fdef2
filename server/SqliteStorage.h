#pragma once
// The storage of one server in one SQLite file (WAL journal, full sync), so
// that anything committed survives a crash of the process or of the
// machine. The file is readable by its owner only.

#include "server/Storage.h"

#include <functional>

struct sqlite3;

namespace tolvar::server {

class SqliteStorage : public Storage
{
public:
    // Opens or creates the database; nothing and a reason on failure. A
    // database that cannot be written or fails a quick integrity check is
    // refused, so that the server never runs on one it cannot keep.
    static std::unique_ptr<SqliteStorage> Open(const std::string& path, std::string* error);
    ~SqliteStorage() override;
    SqliteStorage(const SqliteStorage&) = delete;
    SqliteStorage& operator=(const SqliteStorage&) = delete;

    Found FindAccount(std::string_view name, Account* account) override;
    Created CreateAccount(std::string_view name, const std::string& passwordHash,
                          int rating) override;
    bool RecordGames(std::vector<FinishedGame>& games) override;
    std::optional<FinishedGame> FindGame(std::int64_t id) override;
    bool SharesGameIds() const override { return false; }
    std::int64_t HighestGameId() override;
    bool TakeGameIds(int, std::vector<std::int64_t>*) override { return false; }
    // (Archive.cpp)
    bool ReadArchivePage(std::int64_t accountId, int page, ArchivePage* out) override;
    Found ReadArchiveRecord(std::int64_t id, ArchiveRecord* out) override;
    bool LoadRunningGames(std::vector<StoredGame>* games) override;
    bool StoreRunningChanges(const std::vector<RunningChange>& changes) override;
    bool ClaimRunningGames(const std::vector<StoredGame>& games, const std::string& owner,
                           std::vector<std::int64_t>* taken) override;
    std::string Describe() const override { return fPath; }

private:
    SqliteStorage(sqlite3* db, std::string path) : fDb(db), fPath(std::move(path)) {}
    bool _Exec(const char* sql);
    // Runs `body` in one transaction, committed if it returns true and
    // rolled back otherwise; false, with the reason kept, when it fails.
    bool _Transaction(const std::function<bool()>& body);
    bool _StoreRunningChanges(const std::vector<RunningChange>& changes);
    bool _Check(const std::string& path);
    bool _Insert(FinishedGame& game);

    sqlite3* fDb;
    std::string fPath;
};

} // namespace tolvar::server
