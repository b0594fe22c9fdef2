#pragma once
// A chess server stand-in on 127.0.0.1: accepts one client, records every
// line it receives and sends whatever the test asks. Its own thread only
// reads; every wait gives up after a timeout, so a test cannot hang on it.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeServer {
public:
    // Listens on `port`; Listening() says whether that worked.
    explicit FakeServer(int port);
    ~FakeServer();

    bool Listening() const { return fListenSocket >= 0; }

    // Sends raw text to the connected client; false when there is none.
    bool Send(const std::string& text);

    // The complete lines received so far (each with its CR LF).
    std::vector<std::string> Lines();
    bool HasLine(const std::string& line);
    // Waits until a line equal to `line` has been received.
    bool WaitForLine(const std::string& line, int timeoutMs = 10000);
    // Waits until at least `count` lines have been received.
    bool WaitForCount(size_t count, int timeoutMs = 10000);
    bool WaitForClient(int timeoutMs = 10000);
    void ClearLines();

private:
    void _Run();

    int fListenSocket = -1;
    std::atomic<int> fClientSocket{-1};
    std::atomic<bool> fStopping{false};
    std::mutex fMutex;
    std::condition_variable fChanged;
    std::string fPending;
    std::vector<std::string> fLines;
    std::thread fThread;
};
