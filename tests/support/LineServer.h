#pragma once
// A stand-in chess server on 127.0.0.1: accepts one client at a time,
// keeps every line it receives and sends what the test asks. Its thread
// only accepts and reads; the test polls it (with QTest::qWaitFor) so the
// GUI thread keeps running while it waits.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LineServer
{
public:
    explicit LineServer(int port);
    ~LineServer();

    bool Listening() const { return fListener >= 0; }
    bool HasClient() const { return fClient.load() >= 0; }
    // True once the connected client has closed its side.
    bool ClientGone() const { return fClientGone.load(); }

    bool Send(const std::string& text);
    // Ends the connection with the client, as a server that goes away does.
    void DropClient();
    // The complete lines received so far, each with its CR LF.
    std::vector<std::string> Lines();
    bool HasLine(const std::string& line);
    void ClearLines();

private:
    void _Run();

    int fListener = -1;
    std::atomic<int> fClient{-1};
    std::atomic<bool> fClientGone{false};
    std::atomic<bool> fStopping{false};
    std::mutex fMutex;
    std::string fPending;
    std::vector<std::string> fLines;
    std::thread fThread;
};
