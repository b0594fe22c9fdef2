#pragma once
// A chess server stand-in on 127.0.0.1: accepts a client, records every
// line it receives and sends whatever the test asks. Its own thread only
// reads; the destructor stops it.

#include <atomic>
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
    void ClearLines();

private:
    void _Run();

    int fListenSocket = -1;
    std::atomic<int> fClientSocket{-1};
    std::atomic<bool> fStopping{false};
    std::mutex fMutex;
    std::string fPending;
    std::vector<std::string> fLines;
    std::thread fThread;
};
