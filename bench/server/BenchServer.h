#pragma once
// The real tolvar-server program as a child of a benchmark: started on a
// free port with its log in a file, stopped when the benchmark ends.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tolvar::bench {

struct ServerChild
{
    pid_t pid = -1;
    std::uint16_t port = 0; // 0 when the server did not start
};

// Runs `binary --port 0 --db database` (no --db for an empty `database`)
// with `extra` arguments, its standard error appended to `log`, and waits
// (at most ten seconds) for its port.
ServerChild StartServer(const std::string& binary, const std::string& database,
                        const std::string& log, const std::vector<std::string>& extra = {});

// The options that let one machine's crowd of benchmark clients in: no cap
// on connections or waiting logins per address, no flood limit.
std::vector<std::string> CrowdOptions();

// A new folder for this run's files: tolvar-`name`-PID in the temporary folder.
std::string RunDirectory(const std::string& name);

// A server for games that resume: `dir`/server.db, its log `dir`/`log`, the
// crowd options, the cheapest password hash and a grace period of a minute.
ServerChild StartResumingServer(const std::string& binary, const std::string& dir,
                                const std::string& log);

// The peak resident memory of the process in KiB, or -1.
long PeakMemoryKiB(pid_t pid);

} // namespace tolvar::bench
