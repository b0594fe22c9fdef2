#pragma once
// The logins and account creations waiting for a password hash. Hashing is
// slow on purpose, so who gets the hashing threads is decided here:
//
// - as many checks are under way as there are hashing threads, and three
//   more, so that a thread finds its next hash ready;
// - a connection has at most one check waiting (its input is paused);
// - a check whose connection closes is dropped before it runs;
// - the addresses with waiting checks take turns, so many checks from one
//   address do not hold up another;
// - one check per account runs at a time, and failed logins hold further
//   checks back (LoginThrottle); a held check waits without counting;
// - only so many checks may wait, in all (the checks of one account
//   counting once) and per address; past that the caller answers "busy"
//   and the connection stays usable.
//
// Network thread only; never blocks.

#include "server/LoginThrottle.h"
#include "server/ServerConfig.h"

#include <asio.hpp>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>

namespace tolvar::server {

class LoginQueue
{
public:
    enum class Outcome
    {
        Success,
        Failure,
        Neither // no password was judged: an account creation, a storage error
    };

    LoginQueue(asio::io_context& loop, const ServerConfig& config);
    ~LoginQueue();

    // Queues a check of `account` for `connection`. `start` runs on the loop
    // once the check may begin; Done must follow when it ends. False when
    // too many checks wait already: nothing is queued then.
    bool Add(std::uint64_t connection, const std::string& address, const std::string& account,
             std::function<void()> start);
    // The check of `connection` has ended; its hashing thread is free.
    void Done(std::uint64_t connection, Outcome outcome);
    // The connection is gone: its waiting check will not run.
    void Drop(std::uint64_t connection);

    std::size_t Waiting() const { return fEntries.size() - fRunning; }

    // In a cluster: `share` hears every judged login (address, account,
    // failed), and Heard takes one judged elsewhere into account, so that
    // guessing is slowed across all nodes.
    using Share = std::function<void(const std::string&, const std::string&, bool)>;
    void ShareOutcomes(Share share) { fShare = std::move(share); }
    void Heard(const std::string& address, const std::string& account, bool failed);

private:
    struct Entry
    {
        std::string address;
        std::string account;
        std::function<void()> start;
        bool running = false;
    };

    bool _Held(const Entry& entry, LoginThrottle::Clock::time_point now) const;
    void _Dispatch();

    const ServerConfig& fConfig;
    LoginThrottle fThrottle;
    asio::steady_timer fTimer;
    bool fTimerArmed = false;
    LoginThrottle::Clock::time_point fTimerAt;
    std::unordered_map<std::uint64_t, Entry> fEntries;
    // Waiting connections by address, oldest first; the addresses take turns.
    std::map<std::string, std::deque<std::uint64_t>> fQueues;
    std::string fLastServed;
    Share fShare;
    std::set<std::string> fAccountsRunning;
    std::size_t fRunning = 0;
    std::shared_ptr<int> fAlive = std::make_shared<int>(0);
};

} // namespace tolvar::server
