#include "server/LoginThrottle.h"

#include <algorithm>

namespace tolvar::server {

LoginThrottle::LoginThrottle(Clock::duration firstDelay, Clock::duration maxDelay,
                             Clock::duration memory)
    : fFirstDelay(firstDelay), fMaxDelay(maxDelay), fMemory(memory)
{
}

bool LoginThrottle::_Live(const Record& record, Clock::time_point now) const
{
    return now - record.last < fMemory;
}

LoginThrottle::Clock::time_point LoginThrottle::NotBefore(const std::string& address,
                                                          const std::string& account,
                                                          Clock::time_point now) const
{
    Clock::time_point earliest = now;
    auto from = fAddresses.find(address);
    if (from != fAddresses.end() && _Live(from->second, now))
        earliest = std::max(earliest, from->second.notBefore);
    auto to = fAccounts.find(account);
    if (to == fAccounts.end() || !_Live(to->second, now))
        return earliest;
    auto trusted = fTrusted.find(account);
    bool known =
        trusted != fTrusted.end() &&
        std::find(trusted->second.begin(), trusted->second.end(), address) != trusted->second.end();
    if (to->second.failedFrom.count(address) || (to->second.everyone && !known))
        earliest = std::max(earliest, to->second.notBefore);
    return earliest;
}

void LoginThrottle::_Fail(Record& record, Clock::time_point now)
{
    if (!_Live(record, now))
        record = Record{};
    ++record.failures;
    record.last = now;
    record.notBefore = now;
    int doublings = record.failures - kFreeFailures - 1;
    if (doublings >= 0) {
        Clock::duration delay = fFirstDelay;
        for (int i = 0; i < doublings && delay < fMaxDelay; ++i)
            delay *= 2;
        record.notBefore = now + std::min(delay, fMaxDelay);
    }
}

void LoginThrottle::Failed(const std::string& address, const std::string& account,
                           Clock::time_point now)
{
    if (Size() >= fSweepAt)
        _Sweep(now);
    _Fail(fAddresses[address], now);
    Record& record = fAccounts[account];
    _Fail(record, now);
    if (record.failedFrom.size() < kAddressesPerAccount)
        record.failedFrom.insert(address);
    else if (!record.failedFrom.count(address))
        record.everyone = true;
}

void LoginThrottle::Succeeded(const std::string& address, const std::string& account)
{
    fAccounts.erase(account);
    std::vector<std::string>& trusted = fTrusted[account];
    trusted.erase(std::remove(trusted.begin(), trusted.end(), address), trusted.end());
    trusted.push_back(address);
    if (trusted.size() > 3)
        trusted.erase(trusted.begin());
}

void LoginThrottle::_Sweep(Clock::time_point now)
{
    for (auto* records : {&fAddresses, &fAccounts}) {
        for (auto it = records->begin(); it != records->end();)
            it = _Live(it->second, now) ? std::next(it) : records->erase(it);
    }
    // Sweeping again only once the survivors have doubled keeps the cost
    // per failure constant.
    fSweepAt = std::max<std::size_t>(256, 2 * Size());
}

} // namespace tolvar::server
