#pragma once
// What the server keeps in its database: accounts, ratings, finished games
// and the moves of the games in progress. Two implementations: an SQLite
// file for one server (SqliteStorage) and a PostgreSQL database that several
// servers may share (PostgresStorage). One instance is used by one thread at
// a time, the store worker once the server runs; every call blocks on the
// database.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvar::server {

struct ArchivePage;
struct ArchiveRecord;
struct ServerConfig;

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

// A game in progress as stored.
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
    // In a cluster, the node that runs it: its name and run; else empty.
    std::string owner;
};

// How many moves a stored game in progress has, in SQL both databases read:
// each move is kept followed by a space.
inline constexpr const char* kStoredMoveCount = "(length(moves) - length(replace(moves, ' ', '')))";

// One change to the games in progress.
struct RunningChange
{
    enum class Kind
    {
        Start,
        Move,
        End
    } kind;
    StoredGame game; // Start: the whole game; otherwise its id and clocks
    std::string move;
    // Move: how many moves the game has with it. A move is added only to a
    // game that has one fewer, so that a change stored twice (a commit whose
    // answer was lost, then tried again) counts once.
    int ply = 0;
};

class Storage
{
public:
    virtual ~Storage() = default;

    enum class Found
    {
        Yes,
        No,
        Failed // the database could not be read; see LastError
    };
    // Looks the name up without regard to ASCII case.
    virtual Found FindAccount(std::string_view name, Account* account) = 0;

    enum class Created
    {
        Yes,
        NameTaken,
        Failed
    };
    // Stores a new account with the start rating; names are unique without
    // regard to ASCII case.
    virtual Created CreateAccount(std::string_view name, const std::string& passwordHash,
                                  int rating) = 0;

    // Stores the games and both players' new ratings in one transaction, all
    // or none: each is rated from the stored ratings the ones before it
    // left, and the ratings before and after are filled in.
    virtual bool RecordGames(std::vector<FinishedGame>& games) = 0;
    bool RecordGame(FinishedGame& game);

    virtual std::optional<FinishedGame> FindGame(std::int64_t id) = 0;

    // Game ids. Where one server owns the database, it numbers its games
    // itself, on from the highest stored (0 when none). Where servers share
    // it, each takes ids from the database, never one another took.
    virtual bool SharesGameIds() const = 0;
    virtual std::int64_t HighestGameId() = 0;
    // `count` ids nobody has had; false when the database fails.
    virtual bool TakeGameIds(int count, std::vector<std::int64_t>* ids) = 0;

    // The archive: page `page` (from 1) of an account's finished games,
    // most recent first; false when the database fails.
    virtual bool ReadArchivePage(std::int64_t accountId, int page, ArchivePage* out) = 0;
    virtual Found ReadArchiveRecord(std::int64_t id, ArchiveRecord* out) = 0;

    // Every stored game in progress, by id; one whose result was stored
    // already is dropped.
    virtual bool LoadRunningGames(std::vector<StoredGame>* games) = 0;
    // Applies the changes in order, in one transaction.
    virtual bool StoreRunningChanges(const std::vector<RunningChange>& changes) = 0;
    // Makes `owner` the owner of those of `games` whose stored owner is
    // still the one they were read with, in one transaction; their ids go to
    // `taken`. Two servers taking up one game: one of them gets it.
    virtual bool ClaimRunningGames(const std::vector<StoredGame>& games, const std::string& owner,
                                   std::vector<std::int64_t>* taken) = 0;

    // What the server log calls the database.
    virtual std::string Describe() const = 0;
    const std::string& LastError() const { return fLastError; }

protected:
    std::string fLastError;
};

// The database the configuration names: PostgreSQL with a connection
// string, else the SQLite file. Nothing and a reason when it cannot be
// opened, or cannot be kept (read-only, damaged, newer than this server).
std::unique_ptr<Storage> OpenStorage(const ServerConfig& config, std::string* error);

} // namespace tolvar::server
