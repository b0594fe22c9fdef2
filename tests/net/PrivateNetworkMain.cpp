// The socket tests' entry point. The speaker always connects to port 5000,
// so the tests listen on that fixed port; each test process first moves into
// a network namespace of its own, with only loopback up, where the port is
// free and no parallel test or running server can take it. Where the system
// forbids that, the tests run in the shared namespace, as before.

#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

bool WriteProcFile(const char* path, const std::string& text)
{
    std::ofstream file(path);
    file << text;
    file.flush();
    return static_cast<bool>(file);
}

bool BringLoopbackUp()
{
    int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(probe, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags |= IFF_UP | IFF_RUNNING;
        up = ::ioctl(probe, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(probe);
    return up;
}

// Must run while the process has a single thread.
void EnterPrivateNetwork()
{
    uid_t uid = ::getuid();
    gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "cannot create a network namespace; using the shared one\n");
        return;
    }
    // Keep our own ids inside the namespace.
    WriteProcFile("/proc/self/setgroups", "deny");
    WriteProcFile("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1");
    WriteProcFile("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
    if (!BringLoopbackUp())
        std::fprintf(stderr, "cannot bring up loopback in the private network namespace\n");
}

} // namespace

int main(int argc, char** argv)
{
    EnterPrivateNetwork();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
