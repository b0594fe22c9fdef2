#pragma once
// Slows password guessing down. Failed logins are counted per address and
// per account; the first two of each are free, then every further try waits
// a delay that doubles with each failure up to a cap. A success forgets the
// account's failures; any record is forgotten once it has seen no failure
// for a while.
//
// An account's delay holds only for the addresses that have failed on it, so
// someone guessing at an account from one address does not lock its owner
// out elsewhere. Should more addresses fail on one account, the account is
// under a spread attack, and its delay then holds for every address but the
// last few from which it logged in.
//
// Pure logic: time is passed in. Network thread only.

#include <chrono>
#include <cstddef>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace tolvar::server {

class LoginThrottle
{
public:
    using Clock = std::chrono::steady_clock;

    LoginThrottle(Clock::duration firstDelay, Clock::duration maxDelay, Clock::duration memory);

    // The earliest time a login from `address` to `account` may be checked.
    Clock::time_point NotBefore(const std::string& address, const std::string& account,
                                Clock::time_point now) const;
    void Failed(const std::string& address, const std::string& account, Clock::time_point now);
    void Succeeded(const std::string& address, const std::string& account);

    // Records kept (for tests and bounds).
    std::size_t Size() const { return fAddresses.size() + fAccounts.size(); }

    static constexpr int kFreeFailures = 2;
    static constexpr std::size_t kAddressesPerAccount = 4;

private:
    struct Record
    {
        int failures = 0;
        Clock::time_point last;
        Clock::time_point notBefore;
        std::set<std::string> failedFrom; // accounts only
        bool everyone = false;            // accounts only: the delay holds for all
    };

    bool _Live(const Record& record, Clock::time_point now) const;
    void _Fail(Record& record, Clock::time_point now);
    void _Sweep(Clock::time_point now);

    Clock::duration fFirstDelay;
    Clock::duration fMaxDelay;
    Clock::duration fMemory;
    std::unordered_map<std::string, Record> fAddresses;
    std::unordered_map<std::string, Record> fAccounts;
    // By account, the last addresses it logged in from, newest last.
    std::unordered_map<std::string, std::vector<std::string>> fTrusted;
    std::size_t fSweepAt = 256;
};

} // namespace tolvar::server
