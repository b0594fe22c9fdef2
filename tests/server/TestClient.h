#pragma once
// A blocking test client for the server: one TCP connection on loopback,
// every read bounded by a timeout so that no test can hang on the network.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvar::server::test {

using namespace std::chrono_literals;

class TestClient
{
public:
    // A non-zero `receiveBuffer` shrinks the socket's receive buffer, for a
    // client that reads slowly or not at all; `from` is a loopback address
    // to connect from (127.0.0.1 unless given).
    explicit TestClient(std::uint16_t port, int receiveBuffer = 0, const char* from = nullptr);
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool Connected() const { return fSocket >= 0; }
    // Sends one line framed as the client frames it: a blank, then CR LF.
    void Send(std::string_view line);
    // Sends bytes exactly as given.
    void SendRaw(std::string_view bytes);

    // The next line without its LF, or nothing after `timeout`.
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout = 5s);
    // The next line, or "<nothing>" on a timeout and "<closed>" when the
    // server closed: convenient inside EXPECT_EQ.
    std::string Next(std::chrono::milliseconds timeout = 5s);
    // Skips lines until one starts with `prefix`; that line, or nothing.
    std::optional<std::string> SkipTo(std::string_view prefix,
                                      std::chrono::milliseconds timeout = 5s);
    // True when no byte arrives within `quiet`.
    bool Silent(std::chrono::milliseconds quiet = 200ms);
    // True when the server closes the connection within `timeout`.
    bool ClosedByServer(std::chrono::milliseconds timeout = 5s);
    bool PeerClosed() const { return fPeerClosed; }
    void Close();

    // Reads once, as the real client does: at most `limit` bytes.
    std::string ReadChunk(std::size_t limit, std::chrono::milliseconds timeout = 5s);

    // Reads the greeting, creates the account and logs in; false on any
    // unexpected reply. Leaves the welcome line consumed.
    bool CreateAndLogin(std::string_view name, std::string_view password = "secret");
    bool Login(std::string_view name, std::string_view password = "secret");

private:
    bool _Fill(std::chrono::steady_clock::time_point deadline);

    int fSocket = -1;
    std::string fBuffer;
    bool fPeerClosed = false;
    bool fGreeted = false;
};

} // namespace tolvar::server::test
