// The protocol speaker with its real connection and broadcast loop against
// a stand-in server on a free port. There is no application, so window work
// runs on the speaker's own thread, where the fake windows see it. What the
// end-to-end tests show (logins, the lists, chat) is not repeated here.

#include "support/FakeServer.h"
#include "support/FakeWindows.h"
#include "support/RecordedAlerts.h"
#include "support/RecordingLooper.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "kit/Threads.h"
#include "net/ClientLines.h"
#include "net/TolvarSpeak.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

using Calls = std::vector<std::string>;

class TolvarSpeakTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        MyGames::Instance()->ResetForTests();
        MessageRepeater::Instance()->Run();
        MessageRepeater::Instance()->AddTarget(&recorder);
        speaker = TolvarSpeak::Instance();
        speaker->Run();
        TolvarSpeak::SetServerPort(server.Port());
    }
    void TearDown() override
    {
        Release();
        speaker->Reset();
        Settle();
        kit::JoinAllThreads();
        MessageRepeater::Instance()->RemoveTarget(&recorder);
    }

    // Logs in as alice (or creates her account) and reads the first line.
    void LogIn(bool create = false)
    {
        ASSERT_NE(server.Port(), 0);
        speaker->ConnectWith("localhost", "alice", "secret", create);
        ASSERT_TRUE(server.Accept());
        ASSERT_EQ(server.ReadLine(),
                  create ? "CREATE alice secret \r\n" : "USER alice secret \r\n");
    }

    // Returns once the speaker has handled everything that the broadcast
    // loop and the speaker had queued: a chat line travels both queues, and
    // its broadcast comes back through the broadcast loop. It goes through
    // the line cutting: call it only while no unfinished line is kept.
    void Settle()
    {
        const std::string marker = "settle" + std::to_string(++fSettles);
        BMessage chunk(MSG_PORT_DATA);
        chunk.AddString("data", "121 " + marker + " :\r\n");
        MessageRepeater::Instance()->PostMessage(chunk);
        ASSERT_TRUE(recorder.WaitFor([&](const BMessage& message) {
            return message.what == MSG_PUBLIC_CHAT && message.GetString("user") == marker;
        }));
    }

    // Holds the speaker's loop inside the window work of a line until
    // Release(), so that what arrives meanwhile waits in its queue.
    void Hold()
    {
        ui.log.onCall = [this](const std::string& call) {
            if (call != "lobby UserIn holder 1")
                return;
            std::unique_lock<std::mutex> lock(fHoldMutex);
            fHeld = true;
            fHoldChanged.notify_all();
            fHoldChanged.wait_for(lock, std::chrono::seconds(10), [this] { return fReleased; });
        };
        ASSERT_TRUE(server.Write("700 holder 1\r\n"));
        std::unique_lock<std::mutex> lock(fHoldMutex);
        ASSERT_TRUE(
            fHoldChanged.wait_for(lock, std::chrono::seconds(10), [this] { return fHeld; }));
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(fHoldMutex);
        fReleased = true;
        fHoldChanged.notify_all();
    }

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

    size_t Count(uint32 what)
    {
        std::vector<uint32> codes = recorder.Codes();
        return static_cast<size_t>(std::count(codes.begin(), codes.end(), what));
    }

    FakeServer server;
    FakeWindows ui;
    RecordedAlerts alerts;
    RecordingLooper recorder;
    TolvarSpeak* speaker = nullptr;

private:
    int fSettles = 0;
    std::mutex fHoldMutex;
    std::condition_variable fHoldChanged;
    bool fHeld = false;
    bool fReleased = false;
};

} // namespace

// The lines after a failed version check belong to a dropped connection.
TEST_F(TolvarSpeakTest, ANewerServerVersionAlertsResetsAndDropsTheRestOfTheChunk)
{
    LogIn();
    const int32 resets = speaker->ResetCount();
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
    EXPECT_EQ(Count(MSG_LOGGED_IN), 0u);
    EXPECT_EQ(speaker->ResetCount(), resets + 1);
    EXPECT_TRUE(ui.log.Calls().empty()); // no login window from this path
}

// What the server sent before it closed is handled first, however late the
// speaker gets to it; then the alert, the reset and a new login window.
TEST_F(TolvarSpeakTest, AClosingServersLastLinesComeBeforeTheAlertAndTheNewLogin)
{
    LogIn();
    Hold();
    ASSERT_TRUE(server.Write("121 bob :last words\r\n"));
    server.CloseClient();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (speaker->IsConnected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Release();
    ASSERT_TRUE(WaitForCalls(2));
    Settle();
    EXPECT_EQ(alerts.Alerts(),
              (std::vector<AlertShown>{{"Your network connection to the Chess server has been "
                                        "broken.  You must re-login.",
                                        "Dang Nabit!"}}));
    EXPECT_EQ(ui.log.Calls(), (Calls{"lobby UserIn holder 1", "newLoginWindow"}));
    EXPECT_EQ(speaker->LoggedInAs(), "");
    std::vector<std::string> heard;
    for (const BMessage& message : recorder.Messages()) {
        if (message.what == MSG_PUBLIC_CHAT && message.GetString("user") == "bob")
            heard.push_back(message.GetString("message"));
        if (message.what == MSG_CONNECTION_RESET)
            heard.push_back("reset");
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"last words", "reset"}));
}

// A logout resets from the lobby's thread: it must not wait, the dropped
// connection reports nothing, and its unfinished line must not prefix the
// next connection's first.
TEST_F(TolvarSpeakTest, AResetDropsTheConnectionSilentlyWithItsUnfinishedLine)
{
    LogIn();
    ASSERT_TRUE(server.Write("20"));
    ASSERT_TRUE(recorder.WaitForWhat(MSG_PORT_DATA));
    // Handled after the chunk: once its line is sent, "20" waits in the cutter.
    speaker->PostMessage(BMessage(MSG_ACCOUNT_CREATED));
    ASSERT_EQ(server.ReadLine(), "USER alice secret \r\n");
    speaker->Reset();
    EXPECT_EQ(speaker->LoggedInAs(), "");
    EXPECT_EQ(speaker->Server(), "");
    EXPECT_TRUE(server.WaitForClose());

    LogIn();
    ASSERT_TRUE(server.Write("1 \r\n121 bob :marker\r\n"));
    ASSERT_TRUE(recorder.WaitFor(
        [](const BMessage& message) { return message.GetString("message") == "marker"; }));
    EXPECT_EQ(Count(MSG_LOGGED_IN), 0u);
    EXPECT_TRUE(alerts.Alerts().empty());
    EXPECT_TRUE(ui.log.Calls().empty());
}

// A window's line is queued, never sent on the caller's thread: with a server
// that reads nothing the caller still returns at once, and once the server
// reads, every line arrives whole and in order.
TEST_F(TolvarSpeakTest, QueuedLinesNeverHoldUpTheCallerAndKeepTheirOrder)
{
    LogIn();
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
    for (const std::string& line : lines)
        ASSERT_EQ(server.ReadLine(), line);
    window.join();
    testing::internal::GetCapturedStdout();
}

// A line queued for one connection never reaches the next login's.
TEST_F(TolvarSpeakTest, ALineQueuedBeforeAResetIsDropped)
{
    LogIn();
    Hold();
    speaker->PostLine(ClientLines::Abort("7"));
    speaker->Reset();
    speaker->ConnectWith("localhost", "alice", "secret", false);
    ASSERT_TRUE(server.Accept());
    // Connected before the held line's turn comes, so that a line sent on
    // the wrong connection would reach the server first.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!speaker->IsConnected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Release();
    EXPECT_EQ(server.ReadLine(), "USER alice secret \r\n");
    speaker->PostLine(ClientLines::Games());
    EXPECT_EQ(server.ReadLine(), "GAMES \r\n");
}

// A logout resets on the GUI thread after asking the game windows to close;
// the lines they send as they close, queued behind the reset on the GUI
// thread, still go out on the connection their games belong to.
TEST_F(TolvarSpeakTest, ALogoutsClosingLinesGoOutBeforeTheConnectionCloses)
{
    int argc = 1;
    char arg0[] = "net_tests";
    char* argv[] = {arg0, nullptr};
    QCoreApplication app(argc, argv);
    LogIn();
    kit::PostToGuiThread([this] { speaker->PostLine(ClientLines::Abort("12")); });
    speaker->Reset();
    QTimer::singleShot(10000, &app, [&] { app.quit(); }); // the watchdog
    QTimer::singleShot(0, &app, [&] { app.quit(); });
    app.exec();
    EXPECT_EQ(server.ReadLine(), "ABORT 12 \r\n");
    EXPECT_TRUE(server.WaitForClose());
}

// A server that promised keep-alive lines and falls silent without closing
// is taken for gone, and the speaker logs in again; one that keeps talking,
// or never promised, keeps its connection however long it is quiet.
TEST_F(TolvarSpeakTest, ASilentServerThatPromisedKeepAliveIsReconnectedTo)
{
    TolvarSpeak::SetKeepAliveLimit(std::chrono::milliseconds(400));
    for (const auto& [features, pings] :
         std::vector<std::pair<std::string, bool>>{{"130 resume keepalive\r\n", false},
                                                   {"130 resume keepalive\r\n", true},
                                                   {"130 resume\r\n", false}}) {
        const bool lost = !pings && features.find("keepalive") != std::string::npos;
        SCOPED_TRACE(features + (pings ? "with pings" : ""));
        recorder.Clear();
        LogIn();
        ASSERT_TRUE(server.Write("201 \r\n"));
        ASSERT_EQ(server.ReadLine().value_or("").rfind("FEATURES ", 0), 0u);
        ASSERT_TRUE(server.Write(features));
        ASSERT_TRUE(recorder.WaitForWhat(MSG_FEATURES_ANSWERED));
        for (int i = 0; i < 8; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            ASSERT_TRUE(!pings || server.Write("140\r\n"));
        }
        if (lost) {
            ASSERT_TRUE(recorder.WaitForWhat(MSG_CONNECTION_LOST));
            // An attempt whose login goes unanswered gives way to the next.
            for (int attempt = 0; attempt < 2; ++attempt) {
                ASSERT_TRUE(server.Accept());
                EXPECT_EQ(server.ReadLine(), "USER alice secret \r\n");
            }
        }
        EXPECT_EQ(Count(MSG_CONNECTION_LOST), lost ? 1u : 0u);
        speaker->Reset();
        Settle();
    }
    TolvarSpeak::SetKeepAliveLimit(std::chrono::seconds(30));
}
