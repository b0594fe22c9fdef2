// The server's small pieces on their own, where a fault would hide from a
// conversation: line framing across reads, the flood budget, the output
// queue's pacing and bound, Elo, the login throttle, and damaged databases.

#include "ServerHarness.h"

#include "server/AccountStore.h"
#include "server/Elo.h"
#include "server/EventLog.h"
#include "server/LineBudget.h"
#include "server/LineFramer.h"
#include "server/LoginThrottle.h"
#include "server/OutputQueue.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace tolvar::server;
using tolvar::server::test::TempDir;

namespace {

std::vector<FramedLine> Frame(LineFramer& framer, const std::string& bytes)
{
    framer.Append(bytes);
    std::vector<FramedLine> lines;
    while (auto line = framer.Next())
        lines.push_back(*line);
    return lines;
}

std::string Line(std::size_t size, char fill)
{
    return std::string(size - 1, fill) + "\n";
}

// What one write of the queue sends.
std::string Take(OutputQueue& queue, OutputQueue::Clock::time_point now,
                 OutputQueue::Clock::duration* wait)
{
    std::string bytes;
    for (const OutputQueue::Piece& piece : queue.Take(now, wait))
        bytes += piece.View();
    return bytes;
}

} // namespace

TEST(LineFramer, JoinsPiecesAndSkipsAnOverlongLineWithoutKeepingIt)
{
    LineFramer framer(10);
    EXPECT_TRUE(Frame(framer, "GO 1 ").empty());
    auto lines = Frame(framer, "E2 \r\nGAMES\nUSE");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "GO 1 E2");
    EXPECT_EQ(lines[1].text, "GAMES");
    lines = Frame(framer, "RS\n0123456789\n0123456789A\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "USERS");
    EXPECT_FALSE(lines[1].tooLong) << "ten bytes are within the limit";
    EXPECT_TRUE(lines[2].tooLong);
    // Reported once, as soon as it passes the limit, and not kept.
    lines = Frame(framer, "0123456789ABC");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].tooLong);
    EXPECT_TRUE(Frame(framer, std::string(5000, 'x')).empty());
    EXPECT_EQ(framer.Buffered(), 0u);
    lines = Frame(framer, "yy\nUSERS\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "USERS");
}

TEST(LineBudget, ABurstThenTheSteadyRate)
{
    using namespace std::chrono_literals;
    auto t0 = LineBudget::Clock::now();
    LineBudget budget(5, 10, t0);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(budget.Take(t0)) << i;
    EXPECT_FALSE(budget.Take(t0));
    EXPECT_FALSE(budget.Take(t0 + 50ms)) << "half a line earned";
    EXPECT_TRUE(budget.Take(t0 + 100ms));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(budget.Take(t0 + 10s)) << "a long pause refills up to the burst";
    EXPECT_FALSE(budget.Take(t0 + 10s));
}

TEST(OutputQueue, PacedWritesHoldWholeLinesWithinTheBurst)
{
    using namespace std::chrono_literals;
    OutputQueue queue(999, 100ms, 1 << 20);
    auto t0 = OutputQueue::Clock::now();
    OutputQueue::Clock::duration wait;
    // Own lines and a piece of shared text, 300 bytes a line.
    auto shared = std::make_shared<const std::string>(Line(300, 'b') + Line(300, 'c'));
    ASSERT_TRUE(queue.Push(Line(300, 'a')));
    ASSERT_TRUE(queue.Push(OutputQueue::Piece{shared, 0, shared->size()}));
    ASSERT_TRUE(queue.Push(Line(300, 'd')));
    ASSERT_TRUE(queue.Push(Line(1500, 'e')));
    EXPECT_EQ(Take(queue, t0, &wait), Line(300, 'a') + Line(300, 'b') + Line(300, 'c'));
    EXPECT_TRUE(Take(queue, t0 + 40ms, &wait).empty());
    EXPECT_EQ(wait, 60ms) << "room again when the first write leaves the interval";
    EXPECT_EQ(Take(queue, t0 + 100ms, &wait), Line(300, 'd'));
    EXPECT_TRUE(Take(queue, t0 + 150ms, &wait).empty());
    EXPECT_EQ(Take(queue, t0 + 200ms, &wait), Line(1500, 'e'))
        << "a line longer than a burst goes alone once the interval is clear";
    EXPECT_TRUE(queue.Empty());
}

TEST(OutputQueue, TheBoundCountsEveryQueuedByteUntilItIsTaken)
{
    OutputQueue queue(999, std::chrono::milliseconds(0), 1000);
    auto shared = std::make_shared<const std::string>(Line(400, 's'));
    EXPECT_TRUE(queue.Push(Line(700, 'a')));
    EXPECT_FALSE(queue.Push(OutputQueue::Piece{shared, 0, shared->size()}));
    EXPECT_TRUE(queue.Push(OutputQueue::Piece{shared, 100, shared->size()}));
    EXPECT_FALSE(queue.Push(Line(1, 'b')));
    OutputQueue::Clock::duration wait;
    EXPECT_EQ(Take(queue, OutputQueue::Clock::now(), &wait), Line(700, 'a') + shared->substr(100))
        << "without pacing everything goes at once";
    EXPECT_TRUE(queue.Push(Line(1000, 'c')));
    EXPECT_TRUE(queue.Push(OutputQueue::Piece{shared, 0, shared->size()}, true));
    EXPECT_EQ(queue.QueuedBytes(), 1400u);
}

// Expected values computed by hand: E = 1 / (1 + 10^((Rb - Ra) / 400)),
// R' = R + 32 (S - E), each rounded on its own.
TEST(Elo, NewRatings)
{
    struct Case
    {
        RatingPair before;
        double whiteScore;
        RatingPair after;
    };
    const Case cases[] = {
        {{1500, 1500}, 1.0, {1516, 1484}}, {{1500, 1500}, 0.5, {1500, 1500}},
        {{1516, 1484}, 0.5, {1515, 1485}}, // 1514.53 and 1485.47
        {{1484, 1516}, 0.0, {1469, 1531}}, // 1469.47 and 1530.53
        {{2000, 1200}, 1.0, {2000, 1200}}, // +0.32 and -0.32 round away
        {{1200, 2000}, 1.0, {1232, 1968}}, // 31.68 each way
    };
    for (const Case& c : cases) {
        RatingPair after = NewRatings(c.before, c.whiteScore);
        EXPECT_EQ(after.white, c.after.white) << c.before.white << " v " << c.before.black;
        EXPECT_EQ(after.black, c.after.black) << c.before.white << " v " << c.before.black;
    }
}

TEST(LoginThrottle, DelaysDoubleFromTheThirdFailurePerAddressAndPerAccount)
{
    using namespace std::chrono_literals;
    LoginThrottle throttle(1s, 8s, 15min);
    auto t = LoginThrottle::Clock::now();
    auto wait = [&](const char* address, const char* account) {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   throttle.NotBefore(address, account, t) - t)
            .count();
    };
    // One address guessing at one account: free, free, then 1, 2, 4, 8, 8 s.
    for (int expected : {0, 0, 1, 2, 4, 8, 8}) {
        throttle.Failed("a", "alice", t);
        EXPECT_EQ(wait("a", "alice"), expected);
    }
    EXPECT_EQ(wait("b", "alice"), 0) << "the owner elsewhere is not held back";
    EXPECT_EQ(wait("a", "bob"), 8) << "the guessing address is held back everywhere";
    throttle.Failed("b", "alice", t);
    EXPECT_EQ(wait("b", "alice"), 8) << "an address that failed on alice shares its delay";
    EXPECT_EQ(wait("b", "bob"), 0);
    throttle.Succeeded("home", "carol");
    throttle.Succeeded("b", "alice");
    EXPECT_EQ(wait("b", "alice"), 0) << "a success forgets the account's failures";
    EXPECT_EQ(wait("a", "alice"), 8) << "but not the address's";
    t += 15min;
    EXPECT_EQ(wait("a", "alice"), 0) << "failures are forgotten after a while";
    throttle.Failed("a", "alice", t);
    EXPECT_EQ(wait("a", "alice"), 0) << "and counting starts over";
    // Too many addresses failing on one account hold everyone back, but
    // where the owner logged in before.
    for (std::size_t i = 0; i <= LoginThrottle::kAddressesPerAccount; ++i)
        throttle.Failed("spread" + std::to_string(i), "carol", t);
    EXPECT_GT(wait("fresh", "carol"), 0);
    EXPECT_EQ(wait("home", "carol"), 0);
}

TEST(AccountStore, ADatabaseItCannotKeepIsRefusedWithAReason)
{
    TempDir dir;
    std::string error;
    {
        auto store = AccountStore::Open(dir.File("good.db"), &error);
        ASSERT_TRUE(store) << error;
        store->CreateAccount("alice", "h", 1500);
    }
    struct stat info
    {
    };
    ASSERT_EQ(::stat(dir.File("good.db").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "readable by its owner only";
    EXPECT_FALSE(AccountStore::Open(dir.File("missing/dir/s.db"), &error));

    std::ofstream(dir.File("text.db")) << "not a database at all, not even close to one.....";
    EXPECT_FALSE(AccountStore::Open(dir.File("text.db"), &error));
    EXPECT_NE(error.find("not a database"), std::string::npos) << error;

    // The pages after the first overwritten: the header is fine.
    std::filesystem::copy_file(dir.File("good.db"), dir.File("torn.db"));
    std::fstream(dir.File("torn.db"), std::ios::in | std::ios::out | std::ios::binary)
        .seekp(4096)
        .write(std::string(2 * 4096, '\x7f').data(), 2 * 4096);
    EXPECT_FALSE(AccountStore::Open(dir.File("torn.db"), &error));
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    // An empty file becomes a new database, and the log says so.
    std::ofstream(dir.File("empty.db")).flush();
    std::vector<std::string> log;
    SetEventSink([&](const std::string& line) { log.push_back(line); });
    auto store = AccountStore::Open(dir.File("empty.db"), &error);
    SetEventSink(nullptr);
    EXPECT_TRUE(store) << error;
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("is empty"), std::string::npos) << log[0];
}
