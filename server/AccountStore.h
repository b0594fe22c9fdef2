#pragma once
// Accounts, ratings and finished games in one SQLite database (WAL journal,
// full sync), so that anything committed survives a crash of the process or
// of the machine. The file is readable by its owner only. One instance is
// used by one thread at a time; every call blocks on the disk.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace tolvar::server {

struct ArchivePage;
struct ArchiveRecord;

struct Account
{
    std::int64_t id = 0;
    std::string name;
    std::string passwordHash;
    int rating = 0;
};

struct FinishedGame
{
    std::int64_t id = 0;
    std::int64_t whiteId = 0;
    std::int64_t blackId = 0;
    std::string result; // "1-0", "0-1" or "1/2-1/2"
    std::string reason;
    std::string moves;       // each move followed by one blank
    double whiteScore = 0.5; // 1, 0.5 or 0
    int whiteBefore = 0;
    int blackBefore = 0;
    int whiteAfter = 0;
    int blackAfter = 0;
    int minutes = 0; // time control; 0 and 0 for an untimed game
    int seconds = 0;
    std::string moveTimes; // a timed game's mover's time left after each move, in ms
};

class AccountStore
{
public:
    // Opens or creates the database; nothing and a reason on failure. A
    // database that cannot be written or fails a quick integrity check is
    // refused, so that the server never runs on one it cannot keep.
    static std::unique_ptr<AccountStore> Open(const std::string& path, std::string* error);
    ~AccountStore();
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    enum class Found
    {
        Yes,
        No,
        Failed // the database could not be read; see LastError
    };
    // Looks the name up without regard to ASCII case.
    Found FindAccount(std::string_view name, Account* account);

    enum class Created
    {
        Yes,
        NameTaken,
        Failed
    };
    // Stores a new account with the start rating.
    Created CreateAccount(std::string_view name, const std::string& passwordHash, int rating);

    // Stores the game and both players' new ratings in one transaction. The
    // ratings before are the stored ones; both pairs are filled into `game`.
    bool RecordGame(FinishedGame& game);
    // The same for several games in one transaction, all or none: each is
    // rated from the ratings the ones before it left.
    bool RecordGames(std::vector<FinishedGame>& games);

    std::optional<FinishedGame> FindGame(std::int64_t id);
    // 0 when no game is stored.
    std::int64_t HighestGameId();

    // The archive (Archive.cpp). Page `page` (from 1) of an account's
    // finished games, most recent first; false when the database fails.
    bool ReadArchivePage(std::int64_t accountId, int page, ArchivePage* out);
    Found ReadArchiveRecord(std::int64_t id, ArchiveRecord* out);

    const std::string& LastError() const { return fLastError; }
    // The open database, for the tables kept beside the accounts; the same
    // one-thread-at-a-time rule holds.
    sqlite3* Database() const { return fDb; }

private:
    explicit AccountStore(sqlite3* db) : fDb(db) {}
    bool _Exec(const char* sql);
    bool _Check(const std::string& path);
    bool _Insert(FinishedGame& game);

    sqlite3* fDb;
    std::string fLastError;
};

} // namespace tolvar::server
