#include "support/FakeServer.h"
#include "support/RecordingLooper.h"

#include "app/MessageCodes.h"
#include "kit/Threads.h"
#include "net/ClientLines.h"
#include "net/PortTalker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class PortTalkerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        talker.SetTargetLooper(&recorder);
        talker.OnDisconnect(&PortTalkerTest::CountCallback, this);
    }
    // Every listener ends once its socket is shut down; none may outlive the test.
    void TearDown() override
    {
        talker.Disconnect();
        kit::JoinAllThreads();
    }
    static void CountCallback(void* cookie) { ++static_cast<PortTalkerTest*>(cookie)->callbacks; }

    bool ConnectTo(FakeServer& server)
    {
        return server.Port() != 0 && talker.Connect("localhost", server.Port()) && server.Accept();
    }

    std::vector<BMessage> DataMessages()
    {
        std::vector<BMessage> data;
        for (const BMessage& message : recorder.Messages())
            if (message.what == MSG_PORT_DATA)
                data.push_back(message);
        return data;
    }

    // The data of every chunk so far, once `size` bytes have arrived or ten
    // seconds have passed.
    std::string WaitForData(size_t size)
    {
        std::string received;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (received.size() < size && std::chrono::steady_clock::now() < deadline) {
            recorder.WaitForCount(recorder.Messages().size() + 1, std::chrono::milliseconds(100));
            received.clear();
            for (const BMessage& message : DataMessages())
                received += message.GetString("data");
        }
        return received;
    }

    RecordingLooper recorder;
    PortTalker talker;
    std::atomic<int> callbacks{0};
};

} // namespace

// The trace goes to a terminal: what the server (or a user) sends must not
// reach it as an escape sequence. The data keeps everything but its NUL
// bytes, which would end it as a text.
TEST_F(PortTalkerTest, TracesEverythingWithControlCharactersEscaped)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(talker.Send(ClientLines::Users()), 0); // not connected: traced only
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[PortTalker Sends (8)]USERS \r\n[Done]\n");

    FakeServer server;
    ASSERT_TRUE(ConnectTo(server));
    const std::string hostile = std::string("700 \x1b]0;owned\x07"
                                            "eve\x7f \xc2\x9b"
                                            "31m 1500\tok\r\n"
                                            "121 bob :a\0b\r\n"
                                            "123 caf\xc3\xa9 \xc2\xa0\xc2",
                                            61);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(server.Write(hostile));
    std::string received = WaitForData(hostile.size() - 1);
    EXPECT_EQ(talker.Send("PUBLMSG :\x1b[2J\x01 \r\nrest", 17), 17);
    EXPECT_EQ(talker.SendFiltered("\x1bUSERS \x1b\r\n"), 8);
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(received, "700 \x1b]0;owned\x07"
                        "eve\x7f \xc2\x9b"
                        "31m 1500\tok\r\n121 bob :ab\r\n123 caf\xc3\xa9 \xc2\xa0\xc2");
    EXPECT_EQ(trace, "[PortTalker Receives 61 bytes]"
                     "700 \\x1b]0;owned\\x07eve\\x7f \\xc2\\x9b31m 1500\tok\r\n"
                     "121 bob :a\\x00b\r\n"
                     "123 caf\xc3\xa9 \xc2\xa0\\xc2[Done]\n"
                     "[PortTalker Sends (17)]PUBLMSG :\\x1b[2J\\x01 \r\n[Done]\n"
                     "[PortTalker Sends (8)]USERS \r\n[Done]\n");
    EXPECT_EQ(server.ReadLine(), "PUBLMSG :\x1b[2J\x01 \r\n");
    EXPECT_EQ(server.ReadLine(), "USERS \r\n");
}

// A server that sends faster than the client handles is held back: the
// listener stops reading while the receive limit's worth waits unhandled,
// and reads on as it is handled, losing nothing.
TEST_F(PortTalkerTest, ReceivingWaitsWhileTooMuchIsUnhandled)
{
    constexpr size_t kLimit = 16 * 1024;
    talker.SetReceiveLimit(kLimit);
    FakeServer server;
    ASSERT_TRUE(ConnectTo(server));
    std::string text;
    for (int i = 0; text.size() < 1024 * 1024; ++i)
        text += "115 bob lobby :line " + std::to_string(i) + "\r\n";
    std::thread writer([&] { server.Write(text); });

    auto bytesIn = [](const std::vector<BMessage>& chunks) {
        size_t bytes = 0;
        for (const BMessage& chunk : chunks)
            bytes += chunk.GetString("data").size();
        return bytes;
    };
    // Nothing is handled yet: the listener stops at the limit.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (bytesIn(DataMessages()) < kLimit && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const size_t unhandled = bytesIn(DataMessages());
    EXPECT_GE(unhandled, kLimit);
    EXPECT_LT(unhandled, kLimit + 1000);

    // Handled, chunk by chunk, the rest follows.
    size_t handled = 0;
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        std::vector<BMessage> chunks = DataMessages();
        if (bytesIn(chunks) >= text.size() || std::chrono::steady_clock::now() > deadline)
            break;
        for (; handled < chunks.size(); ++handled) {
            int32 connection = 0, length = 0;
            chunks[handled].FindInt32("connection", &connection);
            chunks[handled].FindInt32("length", &length);
            talker.ChunkHandled(connection, length);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    talker.Disconnect(); // releases the writer should the client have stopped reading
    writer.join();
    std::string all;
    for (const BMessage& message : DataMessages())
        all += message.GetString("data");
    EXPECT_TRUE(all == text) << all.size() << " of " << text.size() << " bytes";
}

// Only the peer's closing calls the callback, once; a Disconnect() silences
// the listener without it.
TEST_F(PortTalkerTest, OnlyThePeerClosingCallsTheCallback)
{
    FakeServer server;
    ASSERT_TRUE(ConnectTo(server));
    int32 before = talker.ConnectionNumber();
    talker.Disconnect();
    EXPECT_FALSE(talker.IsConnected());
    EXPECT_NE(talker.ConnectionNumber(), before);
    EXPECT_TRUE(server.WaitForClose());
    kit::JoinAllThreads();
    EXPECT_EQ(callbacks, 0);
    EXPECT_EQ(talker.Send(ClientLines::Games()), 0);

    ASSERT_TRUE(ConnectTo(server));
    server.CloseClient();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (callbacks == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kit::JoinAllThreads();
    EXPECT_EQ(callbacks, 1);
    EXPECT_FALSE(talker.IsConnected());
    EXPECT_TRUE(DataMessages().empty());
}

// Disconnect() ends whatever waits on the network: a send blocked on a
// server that reads nothing (without a broken-pipe signal), and a connect
// to a listener whose accept queue is full, which would wait for the
// system's retries.
TEST_F(PortTalkerTest, DisconnectReleasesABlockedSendAndAHangingConnect)
{
    FakeServer server;
    ASSERT_TRUE(ConnectTo(server));
    std::string big(16 * 1024 * 1024, 'x');
    std::atomic<int> sent{-1};
    std::thread sender([&] { sent = talker.Send(big); });
    EXPECT_TRUE(server.WaitForData());
    talker.Disconnect();
    sender.join();
    EXPECT_GE(sent, 0);
    EXPECT_LT(sent, static_cast<int>(big.size()));

    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) {
        int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::atomic<int> result{-1};
    std::thread connecting(
        [&] { result = talker.Connect("127.0.0.1", ntohs(address.sin_port)) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(result.load(), -1) << "the attempt should still be waiting";
    talker.Disconnect();
    for (int i = 0; i < 500 && result.load() == -1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(result.load(), 0) << "the attempt was not called off";
    connecting.join();
    for (int filler : fillers)
        ::close(filler);
    ::close(listener);
}
