#include "FakeServer.h"
#include "FakeUi.h"
#include "RecordedAlerts.h"
#include "support/RecordingLooper.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "kit/Threads.h"
#include "net/ClientLines.h"
#include "net/TolvarSpeak.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

const char* const kBroken =
    "Your network connection to the Chess server has been broken.  You must re-login.";

// The speaker and the broadcast loop run for real; there is no application,
// so window work runs directly on the speaker's (or the listener's) thread.
class TolvarSpeakTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ui.Install();
        MessageRepeater::Instance()->Run();
        MessageRepeater::Instance()->AddTarget(&recorder);
        speaker = TolvarSpeak::Instance();
        speaker->Run();
    }
    void TearDown() override
    {
        speaker->Reset();
        kit::JoinAllThreads();
        MessageRepeater::Instance()->RemoveTarget(&recorder);
    }

    // Logs in as alice (or creates her account) and reads the first line.
    void LogIn(FakeServer& server, bool create = false)
    {
        ASSERT_NE(server.Port(), 0);
        speaker->ConnectWith("localhost", "alice", "secret", create);
        ASSERT_TRUE(server.Accept());
        ASSERT_EQ(server.ReadLine(),
                  create ? "CREATE alice secret \r\n" : "USER alice secret \r\n");
    }

    // The connection and login codes that reached the broadcast loop, in order.
    std::vector<uint32> ConnectionCodes()
    {
        static const std::vector<uint32> wanted = {MSG_PORT_RESOLVING,  MSG_PORT_HOST_UNKNOWN,
                                                   MSG_PORT_CONNECTING, MSG_CONNECTED,
                                                   MSG_CONNECT_FAILED,  MSG_LOGGED_IN};
        std::vector<uint32> codes;
        for (uint32 code : recorder.Codes())
            if (std::find(wanted.begin(), wanted.end(), code) != wanted.end())
                codes.push_back(code);
        return codes;
    }

    // Waits until the fake UI logged at least `count` calls.
    bool WaitForCalls(size_t count)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ui.log.Calls().size() < count) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    // Returns once every message posted before the call has been broadcast
    // and handled by the speaker: a marker travels the same two queues.
    void Settle()
    {
        speaker->Lock();
        speaker->Unlock();
        uint32 marker = 0x7e570001;
        MessageRepeater::Instance()->PostMessage(marker);
        ASSERT_TRUE(recorder.WaitForWhat(marker));
        speaker->Lock();
        speaker->Unlock();
    }

    // Kept past the test's end: the speaker's threads may still reach them.
    FakeUi& ui = *new FakeUi;
    RecordedAlerts& alerts = *new RecordedAlerts;
    RecordingLooper recorder;
    TolvarSpeak* speaker = nullptr;
};

} // namespace

TEST_F(TolvarSpeakTest, LoginReportsEachStepAndSendsTheUserLine)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    ASSERT_TRUE(recorder.WaitForWhat(MSG_CONNECTED));
    EXPECT_EQ(ConnectionCodes(),
              (std::vector<uint32>{MSG_PORT_RESOLVING, MSG_PORT_CONNECTING, MSG_CONNECTED}));
    EXPECT_EQ(speaker->LoggedInAs(), "alice");
    EXPECT_EQ(speaker->Server(), "localhost");
    EXPECT_TRUE(speaker->IsConnected());
}

// The trace shows both login lines, but never the password.
TEST_F(TolvarSpeakTest, NewAccountSendsCreateThenUserAfterReply401)
{
    FakeServer server(TolvarSpeak::kServerPort);
    testing::internal::CaptureStdout();
    LogIn(server, true);
    ASSERT_TRUE(server.Write("401 \r\n"));
    EXPECT_EQ(server.ReadLine(), "USER alice secret \r\n");
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("[PortTalker Sends (22)]CREATE alice ****** \r\n[Done]"),
              std::string::npos);
    EXPECT_NE(trace.find("[PortTalker Sends (20)]USER alice ****** \r\n[Done]"), std::string::npos);
    EXPECT_EQ(trace.find("secret"), std::string::npos);
}

TEST_F(TolvarSpeakTest, CompatibleServerAcceptsTheLoginAndSendsTheLists)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    ASSERT_TRUE(server.Write("101 1.31 :Halvik chess server\r\n201 \r\n"));
    EXPECT_EQ(server.ReadLine(), "GAMES \r\n");
    EXPECT_EQ(server.ReadLine(), "USERS \r\n");
    EXPECT_EQ(speaker->ServerVersion(), "1.31");
    EXPECT_EQ(speaker->ServerDescription(), "Halvik chess server");
    EXPECT_TRUE(alerts.Alerts().empty());
    ASSERT_TRUE(recorder.WaitForWhat(MSG_INFO_TEXT));
    for (const BMessage& message : recorder.Messages()) {
        if (message.what == MSG_INFO_TEXT) {
            EXPECT_EQ(message.GetString("message"), "Welcome to Tolvar Chess.");
        }
    }
}

TEST_F(TolvarSpeakTest, ChatLines)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    BMessage publicChat(MSG_CHAT_SEND);
    publicChat.AddString("data", "hello all");
    BMessage gameChat(MSG_CHAT_SEND);
    gameChat.AddString("data", "good game");
    gameChat.AddString("game_id", "17");
    BMessage noData(MSG_CHAT_SEND);
    noData.AddString("game_id", "17");
    BMessage forged(MSG_CHAT_SEND);
    forged.AddString("data", "hi\r\nABORT 3 ");
    for (const BMessage& message : {publicChat, gameChat, noData, forged})
        speaker->PostMessage(message);
    EXPECT_EQ(server.ReadLine(), "PUBLMSG :hello all \r\n");
    EXPECT_EQ(server.ReadLine(), "GAMEMSG 17 :good game \r\n");
    EXPECT_EQ(server.ReadLine(), "PUBLMSG :hiABORT 3  \r\n");
}

// The player list after login arrives as one burst, far longer than a chunk.
TEST_F(TolvarSpeakTest, EveryLineOfABurstIsHandledOnce)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    std::string burst;
    std::vector<std::string> expected;
    for (int i = 0; i < 400; ++i) {
        std::string name = "player" + std::to_string(i);
        burst += "700 " + name + " " + std::to_string(1000 + i) + "\r\n";
        expected.push_back("lobby UserIn " + name + " " + std::to_string(1000 + i));
    }
    std::string longText(3000, 'x');
    burst += "115 bob main :" + longText + "\r\n";
    ASSERT_TRUE(server.Write(burst));
    ASSERT_TRUE(WaitForCalls(expected.size()));
    ASSERT_TRUE(recorder.WaitForWhat(MSG_PUBLIC_CHAT));
    Settle();
    EXPECT_EQ(ui.log.Calls(), expected);

    int chunks = 0;
    for (const BMessage& message : recorder.Messages()) {
        chunks += message.what == MSG_PORT_DATA;
        if (message.what == MSG_PUBLIC_CHAT) {
            EXPECT_EQ(message.GetString("message"), longText);
        }
    }
    EXPECT_GE(chunks, static_cast<int>(burst.size() / 999));
}

TEST_F(TolvarSpeakTest, NewerServerVersionAlertsAndResets)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    ASSERT_TRUE(server.Write("101 1.32 :Halvik chess server\r\n201 \r\n"));
    ASSERT_TRUE(alerts.WaitForCount(1));
    EXPECT_TRUE(server.WaitForClose());
    Settle();
    EXPECT_EQ(alerts.Alerts(),
              (std::vector<AlertShown>{
                  {"Sorry, but this version of Tolvar v1.0 is not compatible with the server you "
                   "are using, Halvik v1.32.  Please download a newer version.",
                   "Oh, well"}}));
    EXPECT_EQ(speaker->ServerVersion(), "unknown");
    EXPECT_EQ(speaker->LoggedInAs(), "");
    EXPECT_FALSE(speaker->IsConnected());
    // The line after the failed check belonged to the dropped connection.
    std::vector<uint32> codes = recorder.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), MSG_LOGGED_IN), 0);
    EXPECT_TRUE(ui.log.Calls().empty()); // no login window from this path
}

// What the server sent before it closed is handled first, however late
// the speaker gets to it: here its loop is held until the connection ended.
TEST_F(TolvarSpeakTest, ServerClosingHandlesTheLastLinesThenAlertsResetsAndOffersALogin)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    Settle();
    recorder.Clear();
    speaker->Lock();
    ASSERT_TRUE(server.Write("121 bob :last words\r\n"));
    server.CloseClient();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (speaker->IsConnected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    speaker->Unlock();
    ASSERT_TRUE(WaitForCalls(1));
    kit::JoinAllThreads();
    EXPECT_EQ(alerts.Alerts(), (std::vector<AlertShown>{{kBroken, "Dang Nabit!"}}));
    EXPECT_EQ(ui.log.Calls(), (std::vector<std::string>{"newLoginWindow"}));
    EXPECT_EQ(speaker->LoggedInAs(), "");
    EXPECT_FALSE(speaker->IsConnected());
    Settle();
    std::vector<std::string> heard;
    for (const BMessage& message : recorder.Messages()) {
        if (message.what == MSG_PUBLIC_CHAT)
            heard.push_back(message.GetString("message"));
        if (message.what == MSG_CONNECTION_RESET)
            heard.push_back("reset");
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"last words", "reset"}));
}

// A refused account shows the server's reason when it gives one.
TEST_F(TolvarSpeakTest, RefusedAccountAlertsResetsAndOffersALogin)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"402 \r\n", "Your account could not be created as it already exists."},
        {"402 :a name has 2 to 16 letters, digits, _ or -\r\n",
         "Your account could not be created: a name has 2 to 16 letters, digits, _ or -."},
    };
    FakeServer server(TolvarSpeak::kServerPort);
    for (size_t i = 0; i < cases.size(); ++i) {
        LogIn(server, true);
        ASSERT_TRUE(server.Write(cases[i].first));
        ASSERT_TRUE(WaitForCalls(i + 1));
        EXPECT_EQ(alerts.Alerts().back(), (AlertShown{cases[i].second, "Doh!"}));
        EXPECT_TRUE(server.WaitForClose());
        EXPECT_EQ(speaker->LoggedInAs(), "");
    }
}

// A logout resets from the lobby's thread: it must not wait, and the
// dropped connection reports nothing.
TEST_F(TolvarSpeakTest, ResetDropsTheConnectionSilently)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    speaker->Reset();
    EXPECT_EQ(speaker->LoggedInAs(), "");
    EXPECT_EQ(speaker->Server(), "");
    EXPECT_EQ(speaker->ServerVersion(), "unknown");
    EXPECT_TRUE(server.WaitForClose());
    Settle();
    EXPECT_FALSE(speaker->IsConnected());
    kit::JoinAllThreads();
    EXPECT_TRUE(alerts.Alerts().empty());
    EXPECT_TRUE(ui.log.Calls().empty());
}

// An unfinished line of one connection must not prefix the next one's.
TEST_F(TolvarSpeakTest, ResetDiscardsAnUnfinishedLine)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    ASSERT_TRUE(server.Write("20"));
    ASSERT_TRUE(recorder.WaitForWhat(MSG_PORT_DATA));
    Settle();
    speaker->Reset();
    LogIn(server);
    ASSERT_TRUE(server.Write("1 \r\n121 bob :marker\r\n"));
    ASSERT_TRUE(recorder.WaitForWhat(MSG_PUBLIC_CHAT));
    Settle();
    std::vector<uint32> codes = recorder.Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), MSG_LOGGED_IN), 0);
}

TEST_F(TolvarSpeakTest, FailedConnections)
{
    speaker->ConnectWith("nosuchhost.invalid", "alice", "secret", false);
    ASSERT_TRUE(recorder.WaitForWhat(MSG_CONNECT_FAILED));
    EXPECT_EQ(ConnectionCodes(),
              (std::vector<uint32>{MSG_PORT_RESOLVING, MSG_PORT_HOST_UNKNOWN, MSG_CONNECT_FAILED}));
    recorder.Clear();
    speaker->ConnectWith("localhost", "alice", "secret", false); // nothing listens on 5000
    ASSERT_TRUE(recorder.WaitForWhat(MSG_CONNECT_FAILED));
    EXPECT_EQ(ConnectionCodes(),
              (std::vector<uint32>{MSG_PORT_RESOLVING, MSG_PORT_CONNECTING, MSG_CONNECT_FAILED}));
}

TEST_F(TolvarSpeakTest, IncompleteLoginDataStartsNothing)
{
    speaker->ConnectWith("localhost", "", "secret", false);
    speaker->ConnectWith("", "alice", "secret", false);
    speaker->ConnectWith("localhost", "alice", "", false);
    EXPECT_EQ(kit::RunningThreadCount(), 0);
}

// A window's line is queued, never sent on the caller's thread: with a server
// that reads nothing the caller still returns at once, and once the server
// reads, every line arrives whole and in order.
TEST_F(TolvarSpeakTest, QueuedLinesNeverHoldUpTheCallerAndKeepTheirOrder)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    constexpr int kLines = 48;
    const std::string text(512 * 1024, 'x'); // 24 MiB in all: more than the socket holds
    std::vector<std::string> lines;
    for (int i = 0; i < kLines; ++i)
        lines.push_back(ClientLines::PublicMessage(std::to_string(i) + text));

    testing::internal::CaptureStdout(); // the trace of 24 MiB
    std::atomic<bool> posted{false};
    std::thread window([&] {
        for (const std::string& line : lines)
            speaker->PostLine(line);
        posted = true;
    });
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!posted && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(posted);
    // The speaker is stuck in a send meanwhile, with lines still waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(speaker->CountQueuedMessages(), 0);

    for (const std::string& line : lines)
        ASSERT_EQ(server.ReadLine(), line);
    window.join();
    testing::internal::GetCapturedStdout();
}

// A line queued for one connection never reaches the next login's.
TEST_F(TolvarSpeakTest, LineQueuedBeforeAResetIsDropped)
{
    FakeServer server(TolvarSpeak::kServerPort);
    LogIn(server);
    // Holding the loop's lock keeps the line queued across the reset and the
    // new connection.
    speaker->Lock();
    speaker->PostLine(ClientLines::Abort("7"));
    speaker->Reset();
    speaker->ConnectWith("localhost", "alice", "secret", false);
    ASSERT_TRUE(server.Accept());
    speaker->Unlock();
    EXPECT_EQ(server.ReadLine(), "USER alice secret \r\n");
    speaker->PostLine(ClientLines::Games());
    EXPECT_EQ(server.ReadLine(), "GAMES \r\n");
}
