#pragma once
// The archive of finished games: a user's games page by page, most recent
// first, and one game's record, read from the store and written as the
// archive lines (135 to 139). The queries block on the disk and run on the
// store worker; the line functions are pure and run on any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolvar::server {

// One finished game as seen by one of its players.
struct ArchiveEntry
{
    std::int64_t id = 0;
    std::string date; // YYYY-MM-DD, UTC
    int colour = 1;   // the player's side: 0 Black, 1 White
    std::string opponent;
    std::string result; // "1-0", "0-1", "1/2-1/2", or "-" when aborted
    int change = 0;     // the player's rating change
    int minutes = 0;    // the time control; 0 0 when untimed
    int seconds = 0;
    std::string reason; // the end text without its result token
};

struct ArchivePage
{
    int total = 0; // the player's finished games in all
    std::vector<ArchiveEntry> games;
};

// One finished game with its players and moves.
struct ArchiveRecord
{
    std::int64_t id = 0;
    std::string white;
    std::string black;
    int whiteRating = 0; // the ratings before the game
    int blackRating = 0;
    std::string date;
    int minutes = 0;
    int seconds = 0;
    std::string result;
    std::string reason;
    std::vector<std::string> moves; // as stored, one word each
};

constexpr int kArchivePageSize = 50;

// Pages of `total` games; none for no games, though an empty archive still
// answers for its (empty) first page.
int ArchivePages(int total);

// The end text without a trailing result token ("White mates." of
// "White mates. 1-0").
std::string ReasonWithoutResult(std::string_view reason);

// "YYYY-MM-DD" of a time in seconds since the epoch, in UTC.
std::string ArchiveDate(std::int64_t seconds);

namespace Reply {

std::string ArchiveGame(const ArchiveEntry& entry);                            // 135
std::string ArchiveEnd(std::string_view name, int page, int pages, int total); // 136
std::string RecordHeader(const ArchiveRecord& record);                         // 137
// The moves as 138 lines of at most 999 bytes each (none for a game without
// moves), then the closing 139 line.
std::vector<std::string> RecordMoves(const ArchiveRecord& record);

} // namespace Reply

} // namespace tolvar::server
