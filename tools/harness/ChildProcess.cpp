#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

extern char** environ;

namespace {

std::mutex sMutex;
std::set<pid_t> sRunning;

void Forget(pid_t pid)
{
    std::lock_guard<std::mutex> lock(sMutex);
    sRunning.erase(pid);
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

ChildProcess::~ChildProcess()
{
    Kill();
}

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment,
                         const std::string& logPath, bool piped)
{
    if (argv.empty() || fPid > 0)
        return false;
    // A program that died leaves a broken pipe: an error to report, not a
    // signal that ends the test.
    ::signal(SIGPIPE, SIG_IGN);

    // Everything the child needs is made before fork: after it, only calls
    // that are safe in a copy of a threaded process are made.
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (environment.count(name) == 0)
            variables.push_back(text);
    }
    for (const auto& [name, value] : environment)
        variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = argv;
    std::vector<char*> args;
    for (std::string& argument : arguments)
        args.push_back(argument.data());
    args.push_back(nullptr);

    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log < 0)
        return false;
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (piped && (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)) {
        ::close(log);
        return false;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(log);
        return false;
    }
    if (pid == 0) {
        // Dies with the test, however the test ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::setpgid(0, 0);
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(piped ? toChild[0] : devNull, STDIN_FILENO);
        ::dup2(piped ? fromChild[1] : log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(log);
    {
        std::lock_guard<std::mutex> lock(sMutex);
        sRunning.insert(pid);
    }
    fPid = pid;
    fStatus = -1;
    fBuffer.clear();
    if (piped) {
        ::close(toChild[0]);
        ::close(fromChild[1]);
        fInput = toChild[1];
        fOutput = fromChild[0];
    }
    return true;
}

bool ChildProcess::Running()
{
    if (fPid <= 0)
        return false;
    int status = 0;
    const pid_t done = ::waitpid(fPid, &status, WNOHANG);
    if (done == fPid) {
        fStatus = status;
        Forget(fPid);
        fPid = -1;
        return false;
    }
    return true;
}

bool ChildProcess::WriteLine(const std::string& line)
{
    if (fInput < 0)
        return false;
    const std::string text = line + "\n";
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t written = ::write(fInput, text.data() + sent, text.size() - sent);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        sent += static_cast<size_t>(written);
    }
    return true;
}

bool ChildProcess::ReadLine(std::string* line, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t end = fBuffer.find('\n');
        if (end != std::string::npos) {
            *line = fBuffer.substr(0, end);
            fBuffer.erase(0, end + 1);
            return true;
        }
        if (fOutput < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd ready{fOutput, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return false;
        char chunk[65536];
        const ssize_t count = ::read(fOutput, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            CloseFd(fOutput);
            continue;
        }
        fBuffer.append(chunk, static_cast<size_t>(count));
    }
}

void ChildProcess::CloseInput()
{
    CloseFd(fInput);
}

void ChildProcess::Signal(int signal)
{
    if (fPid > 0)
        ::kill(fPid, signal);
}

bool ChildProcess::Wait(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void ChildProcess::Kill()
{
    if (fPid > 0) {
        ::kill(fPid, SIGKILL);
        int status = 0;
        while (::waitpid(fPid, &status, 0) < 0 && errno == EINTR) {
        }
        fStatus = status;
        Forget(fPid);
        fPid = -1;
    }
    CloseFd(fInput);
    CloseFd(fOutput);
}

void ChildProcess::KillAll()
{
    std::lock_guard<std::mutex> lock(sMutex);
    for (pid_t pid : sRunning)
        ::kill(pid, SIGKILL);
}
