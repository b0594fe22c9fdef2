// Runs the real tolvar-server program: start-up on an ephemeral port, a
// rated game, kill -9, and a restart that finds everything stored before;
// a disk that fills up, and files it may not write.

#include "TestClient.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace tolvar::server::test;

namespace {

// The server as a child process, its standard error read for the port.
class ServerProcess
{
public:
    // `unprivileged`: when run by the superuser, the server runs as nobody,
    // for whom file permissions hold.
    ServerProcess(const std::vector<std::string>& arguments, bool unprivileged = false)
    {
        int pipes[2];
        if (::pipe2(pipes, O_CLOEXEC) != 0)
            return;
        fPid = ::fork();
        if (fPid == 0) {
            ::dup2(pipes[1], STDERR_FILENO);
            ::dup2(pipes[1], STDOUT_FILENO);
            if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(126);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(TOLVAR_SERVER_BINARY));
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(TOLVAR_SERVER_BINARY, argv.data());
            ::_exit(127);
        }
        ::close(pipes[1]);
        fOutput = pipes[0];
    }

    ~ServerProcess()
    {
        Kill(SIGKILL);
        if (fOutput >= 0)
            ::close(fOutput);
    }

    // Output up to the end, the timeout, or a line end after `until`.
    std::string ReadOutput(std::chrono::milliseconds timeout, const char* until = nullptr)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (fOutput >= 0) {
            std::size_t found = until ? fText.find(until) : std::string::npos;
            if (found != std::string::npos && fText.find('\n', found) != std::string::npos)
                break;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd wait{fOutput, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0)
                break;
            char chunk[512];
            ssize_t n = ::read(fOutput, chunk, sizeof chunk);
            if (n <= 0)
                break;
            fText.append(chunk, static_cast<std::size_t>(n));
        }
        return fText;
    }

    std::uint16_t WaitForPort()
    {
        const char* listening = "listening on 127.0.0.1:";
        std::string text = ReadOutput(10s, listening);
        std::size_t at = text.find(listening);
        if (at == std::string::npos)
            return 0;
        return static_cast<std::uint16_t>(std::atoi(text.c_str() + at + std::strlen(listening)));
    }

    pid_t Pid() const { return fPid; }

    // Sends the signal and waits (at most ten seconds) for the exit status.
    int Kill(int signal)
    {
        if (fPid <= 0)
            return -1;
        ::kill(fPid, signal);
        int status = -1;
        for (int i = 0; i < 1000; ++i) {
            if (::waitpid(fPid, &status, WNOHANG) == fPid) {
                fPid = -1;
                return status;
            }
            ::usleep(10000);
        }
        ::kill(fPid, SIGKILL);
        ::waitpid(fPid, &status, 0);
        fPid = -1;
        return -1;
    }

    // Waits for a program that ends by itself; its exit code, or -1.
    int Wait()
    {
        int status = -1;
        for (int i = 0; i < 1000 && fPid > 0; ++i) {
            if (::waitpid(fPid, &status, WNOHANG) == fPid) {
                fPid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            ::usleep(10000);
        }
        return -1;
    }

private:
    pid_t fPid = -1;
    int fOutput = -1;
    std::string fText;
};

} // namespace

TEST(ServerProcess, HelpAndVersion)
{
    ServerProcess help({"--help"});
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_NE(help.ReadOutput(2s).find("Usage: tolvar-server"), std::string::npos);

    ServerProcess version({"--version"});
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_NE(version.ReadOutput(2s).find("tolvar-server 1.31"), std::string::npos);

    ServerProcess wrong({"--port", "x"});
    EXPECT_EQ(wrong.Wait(), 2);
}

TEST(ServerProcess, EverythingStoredSurvivesKillNine)
{
    TempDir dir;
    // The default database lives below the XDG data directory.
    ::setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    std::vector<std::string> arguments = {"--port", "0"};
    {
        ServerProcess server(arguments);
        std::uint16_t port = server.WaitForPort();
        ASSERT_NE(port, 0) << server.ReadOutput(0ms);
        TestClient alice(port), bob(port);
        ASSERT_TRUE(alice.CreateAndLogin("alice"));
        ASSERT_TRUE(bob.CreateAndLogin("bob"));
        EXPECT_EQ(alice.Next(), "701 bob 1500");
        alice.Send("MAKE 1");
        bob.Send("PLAY 1");
        ASSERT_TRUE(bob.SkipTo("118 1 1 1 bob alice").has_value());
        const char* fools[] = {"F2F3", "E7E5", "G2G4", "D8H4"};
        for (int i = 0; i < 4; ++i) {
            (i % 2 == 0 ? alice : bob).Send(std::string("MOVE 1 ") + fools[i]);
            ASSERT_TRUE(bob.SkipTo("114 1 " + std::to_string(i + 1)).has_value());
        }
        ASSERT_EQ(bob.Next(), "119 1 : Black mates. 0-1");
        EXPECT_EQ(bob.Next(), "700 alice 1484");
        EXPECT_EQ(bob.Next(), "700 bob 1516");
        // An account created just before the crash.
        TestClient carol(port);
        carol.Next();
        carol.Send("CREATE carol secret");
        EXPECT_EQ(carol.Next(), "401 :account carol created");
        int status = server.Kill(SIGKILL);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
    EXPECT_EQ(::access(dir.File("data/tolvar/server.db").c_str(), F_OK), 0);
    {
        ServerProcess server(arguments);
        std::uint16_t port = server.WaitForPort();
        ASSERT_NE(port, 0) << server.ReadOutput(0ms);
        TestClient carol(port);
        ASSERT_TRUE(carol.Login("carol"));
        TestClient bob(port);
        ASSERT_TRUE(bob.Login("bob"));
        EXPECT_EQ(carol.Next(), "701 bob 1516");
        carol.Send("USERS");
        EXPECT_EQ(carol.Next(), "700 bob 1516");
        EXPECT_EQ(carol.Next(), "700 carol 1500");
        bob.Send("MAKE 1");
        EXPECT_EQ(bob.Next(), "118 2 0 1 bob");

        // SIGTERM stops it cleanly.
        int status = server.Kill(SIGTERM);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_NE(server.ReadOutput(2s).find("stopping on SIGTERM"), std::string::npos);
    }
}

namespace {
// The bytes of `path`, 0 when it is missing.
long FileSize(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : 0;
}

// Limits the size of any file the process writes: a stand-in for a full disk.
void LimitFileSize(pid_t pid, rlim_t bytes)
{
    rlimit limit{bytes, RLIM_INFINITY};
    ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0);
}
} // namespace

TEST(ServerProcess, AResultThatCannotBeStoredIsNotAnnouncedUntilItIs)
{
    TempDir dir;
    std::vector<std::string> arguments = {
        "--port",          "0", "--db", dir.File("s.db"), "--set", "hash-cost=minimum", "--set",
        "result-retry=300"};
    ServerProcess server(arguments);
    std::uint16_t port = server.WaitForPort();
    ASSERT_NE(port, 0) << server.ReadOutput(0ms);
    TestClient alice(port), bob(port);
    ASSERT_TRUE(alice.CreateAndLogin("alice"));
    ASSERT_TRUE(bob.CreateAndLogin("bob"));
    alice.Send("MAKE 1");
    ASSERT_TRUE(bob.SkipTo("118 1 0 1 alice").has_value());
    bob.Send("PLAY 1");
    const char* fools[] = {"F2F3", "E7E5", "G2G4", "D8H4"};
    for (int i = 0; i < 4; ++i) {
        if (i == 3) // the journal may not grow any more: the disk is full
            LimitFileSize(server.Pid(), static_cast<rlim_t>(FileSize(dir.File("s.db-wal"))));
        (i % 2 == 0 ? alice : bob).Send(std::string("MOVE 1 ") + fools[i]);
        ASSERT_TRUE(alice.SkipTo("114 1 " + std::to_string(i + 1)).has_value());
    }
    const char* delayed =
        "408 1 :the server cannot record results right now; this result follows once it is stored";
    EXPECT_EQ(alice.Next(), delayed);
    EXPECT_EQ(bob.SkipTo("408").value_or(""), delayed);
    EXPECT_TRUE(alice.Silent(1000ms)) << "nothing is announced while it cannot be stored";
    const char* loud = "ERROR: cannot store the result of game 1";
    EXPECT_NE(server.ReadOutput(2s, loud).find(loud), std::string::npos);
    alice.Send("USERS");
    EXPECT_EQ(alice.Next(), "700 alice 1500") << "nor do the ratings change";

    LimitFileSize(server.Pid(), RLIM_INFINITY);
    EXPECT_EQ(alice.SkipTo("119").value_or(""), "119 1 : Black mates. 0-1");
    EXPECT_EQ(alice.Next(), "700 alice 1484");
    EXPECT_EQ(alice.Next(), "700 bob 1516");
    server.Kill(SIGKILL);

    ServerProcess again(arguments);
    port = again.WaitForPort();
    TestClient carol(port);
    ASSERT_TRUE(carol.CreateAndLogin("carol"));
    carol.Send("USERS");
    EXPECT_EQ(carol.Next(), "700 carol 1500");
    TestClient returning(port);
    ASSERT_TRUE(returning.Login("bob"));
    EXPECT_EQ(carol.Next(), "701 bob 1516") << "what was announced was stored";
}

TEST(ServerProcess, FilesItCannotWriteRefuseTheStartAndItsFilesArePrivate)
{
    TempDir dir;
    ::chmod(dir.Path().c_str(), 0755);
    std::string text;
    {
        // A log left readable by all, as a shell redirection makes it.
        std::ofstream(dir.File("log")) << "old\n";
        ::chmod(dir.File("log").c_str(), 0644);
        ServerProcess server({"--port", "0", "--db", dir.File("s.db"), "--log", dir.File("log")});
        for (int i = 0; i < 500 && text.find("listening") == std::string::npos; ++i) {
            ::usleep(20000);
            std::ifstream log(dir.File("log"));
            text.assign(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
        }
        server.Kill(SIGTERM);
    }
    EXPECT_NE(text.find("listening on 127.0.0.1:"), std::string::npos) << text;
    for (const char* file : {"s.db", "log"}) {
        struct stat info
        {
        };
        ASSERT_EQ(::stat(dir.File(file).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }

    ::chmod(dir.File("s.db").c_str(), 0444);
    ServerProcess locked({"--port", "0", "--db", dir.File("s.db")}, true);
    EXPECT_EQ(locked.Wait(), 1);
    EXPECT_NE(locked.ReadOutput(2s).find("cannot be written"), std::string::npos)
        << locked.ReadOutput(0ms);
}
