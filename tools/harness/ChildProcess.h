#pragma once
// A program started for a test: its standard input and output as pipes (or
// not), its standard error appended to a log file, and killed for sure when
// it is dropped or when the test process itself dies.
//
// Not thread-safe, except KillAll(), which a watchdog may call from any
// thread.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

class ChildProcess
{
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills the program if it still runs.
    ~ChildProcess();

    // Starts argv[0] with `environment` set on top of this process's own.
    // With `piped`, its standard input and output are pipes to this object;
    // otherwise its standard output goes to the log too.
    bool Start(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& environment, const std::string& logPath,
               bool piped);

    pid_t Pid() const { return fPid; }
    bool Running();

    // Writes a line (a newline is added); false when the program is gone.
    bool WriteLine(const std::string& line);
    // Reads the next line of its standard output; false when none came
    // within `timeoutMs` or the output ended.
    bool ReadLine(std::string* line, int timeoutMs);
    // Closes its standard input.
    void CloseInput();

    void Signal(int signal);
    // Waits for the program to end; false when it still runs after `timeoutMs`.
    bool Wait(int timeoutMs);
    // Kills it (SIGKILL) and waits for it.
    void Kill();
    int ExitStatus() const { return fStatus; }

    // Kills every program started here that may still run.
    static void KillAll();

private:
    pid_t fPid = -1;
    int fInput = -1;
    int fOutput = -1;
    int fStatus = -1;
    std::string fBuffer;
};
