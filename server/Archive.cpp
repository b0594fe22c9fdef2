#include "server/Archive.h"

#include "server/SqliteStorage.h"
#include "server/TextRules.h"

#include <sqlite3.h>

#include <ctime>
#include <memory>

namespace tolvar::server {

namespace {

// Longer words are not moves; they are cut so that one always fits a line.
constexpr std::size_t kLongestMoveWord = 100;
constexpr std::size_t kLineBytes = 999;

struct Finalize
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Query = std::unique_ptr<sqlite3_stmt, Finalize>;

Query Prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return Query(statement);
}

std::string Text(sqlite3_stmt* statement, int column)
{
    const unsigned char* text = sqlite3_column_text(statement, column);
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

int Int(sqlite3_stmt* statement, int column)
{
    return sqlite3_column_int(statement, column);
}

std::string Signed(int value)
{
    return value > 0 ? "+" + std::to_string(value) : std::to_string(value);
}

} // namespace

int ArchivePages(int total)
{
    return total <= 0 ? 0 : (total + kArchivePageSize - 1) / kArchivePageSize;
}

std::string ReasonWithoutResult(std::string_view reason)
{
    for (std::string_view token : {" 1-0", " 0-1", " 1/2-1/2"}) {
        if (reason.size() >= token.size() && reason.substr(reason.size() - token.size()) == token)
            return std::string(reason.substr(0, reason.size() - token.size()));
    }
    return std::string(reason);
}

std::string ArchiveDate(std::int64_t seconds)
{
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    char text[16] = "1970-01-01";
    if (gmtime_r(&time, &utc))
        std::strftime(text, sizeof text, "%Y-%m-%d", &utc);
    return text;
}

bool SqliteStorage::ReadArchivePage(std::int64_t accountId, int page, ArchivePage* out)
{
    // Two indexed counts; the OR below is answered from both indexes too.
    Query count = Prepare(fDb, "SELECT (SELECT COUNT(*) FROM games WHERE white_id = ?1)"
                               " + (SELECT COUNT(*) FROM games WHERE black_id = ?1)");
    Query list = Prepare(
        fDb, "SELECT g.id, g.ended_at, g.white_id = ?1, a.name, g.result, g.reason,"
             " CASE WHEN g.white_id = ?1 THEN g.white_rating_after - g.white_rating_before"
             " ELSE g.black_rating_after - g.black_rating_before END, g.minutes, g.seconds"
             " FROM games g JOIN accounts a"
             " ON a.id = CASE WHEN g.white_id = ?1 THEN g.black_id ELSE g.white_id END"
             " WHERE g.white_id = ?1 OR g.black_id = ?1 ORDER BY g.id DESC LIMIT ?2 OFFSET ?3");
    if (!count || !list) {
        fLastError = sqlite3_errmsg(fDb);
        return false;
    }
    sqlite3_bind_int64(count.get(), 1, accountId);
    if (sqlite3_step(count.get()) != SQLITE_ROW) {
        fLastError = sqlite3_errmsg(fDb);
        return false;
    }
    out->total = Int(count.get(), 0);
    out->games.clear();
    sqlite3_bind_int64(list.get(), 1, accountId);
    sqlite3_bind_int(list.get(), 2, kArchivePageSize);
    sqlite3_bind_int64(list.get(), 3, static_cast<std::int64_t>(page - 1) * kArchivePageSize);
    int step;
    while ((step = sqlite3_step(list.get())) == SQLITE_ROW) {
        ArchiveEntry entry;
        entry.id = sqlite3_column_int64(list.get(), 0);
        entry.date = ArchiveDate(sqlite3_column_int64(list.get(), 1));
        entry.colour = Int(list.get(), 2) ? 1 : 0;
        entry.opponent = Text(list.get(), 3);
        entry.result = Text(list.get(), 4);
        entry.reason = ReasonWithoutResult(Text(list.get(), 5));
        entry.change = Int(list.get(), 6);
        entry.minutes = Int(list.get(), 7);
        entry.seconds = Int(list.get(), 8);
        out->games.push_back(std::move(entry));
    }
    if (step != SQLITE_DONE) {
        fLastError = sqlite3_errmsg(fDb);
        return false;
    }
    return true;
}

Storage::Found SqliteStorage::ReadArchiveRecord(std::int64_t id, ArchiveRecord* out)
{
    Query find = Prepare(fDb, "SELECT w.name, b.name, g.white_rating_before,"
                              " g.black_rating_before, g.ended_at, g.result, g.reason, g.moves,"
                              " g.minutes, g.seconds"
                              " FROM games g JOIN accounts w ON w.id = g.white_id"
                              " JOIN accounts b ON b.id = g.black_id WHERE g.id = ?");
    if (!find) {
        fLastError = sqlite3_errmsg(fDb);
        return Found::Failed;
    }
    sqlite3_bind_int64(find.get(), 1, id);
    int step = sqlite3_step(find.get());
    if (step == SQLITE_DONE)
        return Found::No;
    if (step != SQLITE_ROW) {
        fLastError = sqlite3_errmsg(fDb);
        return Found::Failed;
    }
    out->id = id;
    out->white = Text(find.get(), 0);
    out->black = Text(find.get(), 1);
    out->whiteRating = Int(find.get(), 2);
    out->blackRating = Int(find.get(), 3);
    out->date = ArchiveDate(sqlite3_column_int64(find.get(), 4));
    out->result = Text(find.get(), 5);
    out->reason = ReasonWithoutResult(Text(find.get(), 6));
    out->minutes = Int(find.get(), 8);
    out->seconds = Int(find.get(), 9);
    out->moves.clear();
    const std::string moves = Text(find.get(), 7);
    std::size_t start = 0;
    while (start < moves.size()) {
        std::size_t end = moves.find(' ', start);
        if (end == std::string::npos)
            end = moves.size();
        if (end > start)
            out->moves.push_back(moves.substr(start, end - start));
        start = end + 1;
    }
    return Found::Yes;
}

namespace Reply {

std::string ArchiveGame(const ArchiveEntry& entry)
{
    return "135 " + std::to_string(entry.id) + ' ' + entry.date + ' ' +
           std::to_string(entry.colour) + ' ' + entry.opponent + ' ' + entry.result + ' ' +
           Signed(entry.change) + ' ' + std::to_string(entry.minutes) + ' ' +
           std::to_string(entry.seconds) + " :" + Shortened(entry.reason, 200) + '\n';
}

std::string ArchiveEnd(std::string_view name, int page, int pages, int total)
{
    return "136 " + std::string(name) + ' ' + std::to_string(page) + ' ' + std::to_string(pages) +
           ' ' + std::to_string(total) + '\n';
}

std::string RecordHeader(const ArchiveRecord& record)
{
    return "137 " + std::to_string(record.id) + ' ' + record.white + ' ' + record.black + ' ' +
           std::to_string(record.whiteRating) + ' ' + std::to_string(record.blackRating) + ' ' +
           record.date + ' ' + std::to_string(record.minutes) + ' ' +
           std::to_string(record.seconds) + ' ' + record.result + " :" +
           Shortened(record.reason, 200) + '\n';
}

std::vector<std::string> RecordMoves(const ArchiveRecord& record)
{
    const std::string id = std::to_string(record.id);
    const std::string head = "138 " + id + " :";
    std::vector<std::string> lines;
    std::string line;
    for (const std::string& stored : record.moves) {
        // Whatever the database holds, it goes out as one printable word.
        std::string move = Printable(stored);
        if (move.size() > kLongestMoveWord)
            move.resize(kLongestMoveWord);
        if (!line.empty() && line.size() + 1 + move.size() + 1 > kLineBytes) {
            lines.push_back(line + '\n');
            line.clear();
        }
        line += line.empty() ? head : " ";
        line += move;
    }
    if (!line.empty())
        lines.push_back(line + '\n');
    lines.push_back("139 " + id + '\n');
    return lines;
}

} // namespace Reply

} // namespace tolvar::server
