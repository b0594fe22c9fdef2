#include "server/LoginQueue.h"

#include <algorithm>
#include <optional>

namespace tolvar::server {

namespace {
constexpr int kLookahead = 3;
} // namespace

LoginQueue::LoginQueue(asio::io_context& loop, const ServerConfig& config)
    : fConfig(config),
      fThrottle(config.loginFirstDelay, config.loginMaxDelay, config.loginFailureMemory),
      fTimer(loop)
{
}

LoginQueue::~LoginQueue() = default;

bool LoginQueue::_Held(const Entry& entry, LoginThrottle::Clock::time_point now) const
{
    return fThrottle.NotBefore(entry.address, entry.account, now) > now;
}

bool LoginQueue::Add(std::uint64_t connection, const std::string& address,
                     const std::string& account, std::function<void()> start)
{
    Entry entry{address, account, std::move(start)};
    auto now = LoginThrottle::Clock::now();
    if (!_Held(entry, now)) {
        // Checks held back by failed logins cost nothing while they wait,
        // so only the others count against the bounds. Checks of one
        // account run one after the other and never hold up another
        // account's: a crowd guessing at one account counts once in all,
        // or it would turn every other login away as busy.
        std::size_t all = 0, mine = 0;
        std::set<std::string> accounts = fAccountsRunning;
        bool queued = accounts.count(account) > 0;
        for (const auto& [id, other] : fEntries) {
            if (!other.running && !_Held(other, now)) {
                all += accounts.insert(other.account).second;
                queued = queued || other.account == account;
                mine += other.address == address;
            }
        }
        if ((!queued && all >= static_cast<std::size_t>(fConfig.maxWaitingLogins)) ||
            mine >= static_cast<std::size_t>(fConfig.maxWaitingLoginsPerAddress))
            return false;
    }
    fEntries.emplace(connection, std::move(entry));
    fQueues[address].push_back(connection);
    _Dispatch();
    return true;
}

void LoginQueue::Done(std::uint64_t connection, Outcome outcome)
{
    auto found = fEntries.find(connection);
    if (found == fEntries.end() || !found->second.running)
        return;
    const Entry& entry = found->second;
    if (outcome != Outcome::Neither) {
        Heard(entry.address, entry.account, outcome == Outcome::Failure);
        if (fShare)
            fShare(entry.address, entry.account, outcome == Outcome::Failure);
    }
    fAccountsRunning.erase(entry.account);
    --fRunning;
    fEntries.erase(found);
    _Dispatch();
}

void LoginQueue::Heard(const std::string& address, const std::string& account, bool failed)
{
    if (failed)
        fThrottle.Failed(address, account, LoginThrottle::Clock::now());
    else
        fThrottle.Succeeded(address, account);
}

void LoginQueue::Drop(std::uint64_t connection)
{
    auto found = fEntries.find(connection);
    // A running check ends by itself and then frees its thread.
    if (found == fEntries.end() || found->second.running)
        return;
    auto queue = fQueues.find(found->second.address);
    std::deque<std::uint64_t>& waiting = queue->second;
    waiting.erase(std::find(waiting.begin(), waiting.end(), connection));
    if (waiting.empty())
        fQueues.erase(queue);
    fEntries.erase(found);
}

void LoginQueue::_Dispatch()
{
    auto now = LoginThrottle::Clock::now();
    std::optional<LoginThrottle::Clock::time_point> wake;
    // A few checks more than there are hashing threads are under way, so
    // that a thread finds its next hash waiting while results travel back
    // to a busy loop; few enough that a new login waits for well under a
    // second of hashing (three interactive hashes).
    while (fRunning < static_cast<std::size_t>(std::max(1, fConfig.hashThreads) + kLookahead) &&
           !fQueues.empty()) {
        // The next address after the one served last, round the circle once.
        auto next = fQueues.upper_bound(fLastServed);
        std::uint64_t chosen = 0;
        bool found = false;
        for (std::size_t turn = 0; turn < fQueues.size() && !found; ++turn, ++next) {
            if (next == fQueues.end())
                next = fQueues.begin();
            for (std::uint64_t id : next->second) {
                const Entry& entry = fEntries.at(id);
                if (fAccountsRunning.count(entry.account))
                    continue; // taken up again when that check is done
                auto notBefore = fThrottle.NotBefore(entry.address, entry.account, now);
                if (notBefore > now) {
                    wake = wake ? std::min(*wake, notBefore) : notBefore;
                    continue;
                }
                chosen = id;
                found = true;
                break;
            }
            if (found)
                fLastServed = next->first;
        }
        if (!found)
            break;
        Entry& entry = fEntries.at(chosen);
        std::deque<std::uint64_t>& waiting = fQueues[entry.address];
        waiting.erase(std::find(waiting.begin(), waiting.end(), chosen));
        if (waiting.empty())
            fQueues.erase(entry.address);
        entry.running = true;
        ++fRunning;
        fAccountsRunning.insert(entry.account);
        std::function<void()> start = std::move(entry.start);
        start();
    }
    if (!wake || (fTimerArmed && fTimerAt <= *wake))
        return;
    fTimerArmed = true;
    fTimerAt = *wake;
    fTimer.expires_at(*wake);
    std::weak_ptr<int> alive = fAlive;
    fTimer.async_wait([this, alive](const asio::error_code& error) {
        if (error || !alive.lock())
            return;
        fTimerArmed = false;
        _Dispatch();
    });
}

} // namespace tolvar::server
