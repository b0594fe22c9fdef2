#include "server/CommandLine.h"

#include "server/Reply.h"

#include <asio.hpp>

#include <algorithm>
#include <cctype>

namespace tolvar::server {

namespace {

const char* const kUsage =
    "Usage: tolvar-server [--listen ADDRESS] [--port N] [--db PATH | --postgres CONNECTION]\n"
    "                     [--log PATH] [--grace-seconds N] [--bus URL --node NAME]\n"
    "                     [--proxy-from ADDRESS,...] [--set NAME=VALUE]...\n"
    "\n"
    "The Tolvar chess server.\n"
    "\n"
    "  --listen ADDRESS  address to listen on (default 127.0.0.1; 0.0.0.0 for all)\n"
    "  --port N          TCP port (default 5000; 0 picks a free one, shown in the log)\n"
    "  --db PATH         database of accounts, ratings and finished games\n"
    "                    (default $XDG_DATA_HOME/tolvar/server.db,\n"
    "                    or ~/.local/share/tolvar/server.db)\n"
    "  --postgres CONNECTION\n"
    "                    keep them in PostgreSQL instead, which several servers\n"
    "                    may share: a libpq connection string such as\n"
    "                    'host=db.example.org dbname=tolvar user=tolvar' or a URI\n"
    "                    such as postgresql://tolvar@db.example.org/tolvar\n"
    "  --log PATH        append the log to PATH (readable by its owner only)\n"
    "                    instead of writing it to standard error\n"
    "  --grace-seconds N how long a player who lost the connection keeps a\n"
    "                    running game (default 60; for clients that resume)\n"
    "  --bus URL         join a cluster of nodes through the NATS server at URL\n"
    "                    (nats://HOST:PORT); needs --node\n"
    "  --node NAME       this node's name in the cluster: letters, digits, - or _,\n"
    "                    ending in its number from 1 to 63, unique in the cluster\n"
    "  --proxy-from ADDRESS,...\n"
    "                    load balancers (such as HAProxy with send-proxy): their\n"
    "                    connections begin with a PROXY protocol header, and the\n"
    "                    client it names counts for the limits by address\n"
    "  --set NAME=VALUE  tune a limit (times in milliseconds), mostly for tests:\n"
    "                    hash-cost (interactive or minimum), hash-threads,\n"
    "                    max-connections, max-guests-per-address, login-timeout,\n"
    "                    max-failed-logins, max-waiting-logins,\n"
    "                    max-waiting-logins-per-address, login-first-delay,\n"
    "                    login-max-delay, flood-burst-lines, flood-lines-per-second,\n"
    "                    max-queued-bytes, pace-interval, max-open-challenges,\n"
    "                    max-games-per-user, finished-game-idle, result-retry,\n"
    "                    keepalive-interval, keepalive-limit, grace,\n"
    "                    offer-burst, offers-per-second, clock-scale (game clocks\n"
    "                    run that many times faster), archive-burst, archive-per-second,\n"
    "                    game-id-batch (ids a cluster node takes at a time; 1 keeps\n"
    "                    the cluster's ids in the order its games are made)\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Logs one line per event on standard error; SIGINT or SIGTERM stops it.\n";

bool ParsePort(const std::string& text, std::uint16_t* port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535)
        return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

bool ParseNumber(const std::string& text, long long* value)
{
    if (text.empty() || text.size() > 12)
        return false;
    long long number = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *value = number;
    return true;
}

// Applies one --set; false when the name or the value is not known.
bool SetLimit(ServerConfig& config, const std::string& setting)
{
    std::size_t equals = setting.find('=');
    if (equals == std::string::npos)
        return false;
    std::string name = setting.substr(0, equals);
    std::string value = setting.substr(equals + 1);
    if (name == "hash-cost") {
        if (value != "interactive" && value != "minimum")
            return false;
        config.hashCost = value == "minimum" ? HashCost::Minimum() : HashCost::Interactive();
        return true;
    }
    using Ms = std::chrono::milliseconds;
    struct Limit
    {
        const char* name;
        int* count = nullptr;
        Ms* time = nullptr;
        std::size_t* bytes = nullptr;
    };
    const Limit limits[] = {
        {"hash-threads", &config.hashThreads},
        {"game-id-batch", &config.gameIdBatch},
        {"max-connections", &config.maxConnections},
        {"max-guests-per-address", &config.maxGuestsPerAddress},
        {"login-timeout", nullptr, &config.loginTimeout},
        {"max-failed-logins", &config.maxFailedLogins},
        {"max-waiting-logins", &config.maxWaitingLogins},
        {"max-waiting-logins-per-address", &config.maxWaitingLoginsPerAddress},
        {"login-first-delay", nullptr, &config.loginFirstDelay},
        {"login-max-delay", nullptr, &config.loginMaxDelay},
        {"flood-burst-lines", &config.floodBurstLines},
        {"flood-lines-per-second", &config.floodLinesPerSecond},
        {"max-queued-bytes", nullptr, nullptr, &config.maxQueuedBytes},
        {"pace-interval", nullptr, &config.paceInterval},
        {"max-open-challenges", &config.maxOpenChallenges},
        {"max-games-per-user", &config.maxGamesPerUser},
        {"finished-game-idle", nullptr, &config.finishedGameIdle},
        {"result-retry", nullptr, &config.resultRetry},
        {"keepalive-interval", nullptr, &config.keepAliveInterval},
        {"keepalive-limit", nullptr, &config.keepAliveLimit},
        {"grace", nullptr, &config.grace},
        {"offer-burst", &config.offerBurst},
        {"offers-per-second", &config.offersPerSecond},
        {"clock-scale", &config.clockScale},
        {"archive-burst", &config.archiveBurst},
        {"archive-per-second", &config.archivePerSecond},
    };
    long long number = 0;
    if (!ParseNumber(value, &number) || number > 1000000000)
        return false;
    for (const Limit& limit : limits) {
        if (name != limit.name)
            continue;
        if (limit.count)
            *limit.count = static_cast<int>(number);
        else if (limit.time)
            *limit.time = Ms(number);
        else
            *limit.bytes = static_cast<std::size_t>(number);
        return true;
    }
    return false;
}

bool ParseNodeName(const std::string& name, int* number)
{
    if (name.empty() || name.size() > 32)
        return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            return false;
    }
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    long long value = 0;
    if (!ParseNumber(name.substr(digits), &value) || value < 1 || value > 63)
        return false;
    *number = static_cast<int>(value);
    return true;
}

CommandLine Fail(std::string message)
{
    CommandLine result;
    result.action = CommandLine::Action::Fail;
    result.message = std::move(message) + "\nTry tolvar-server --help.\n";
    return result;
}

} // namespace

std::string DefaultDatabasePath(const std::function<const char*(const char*)>& environment)
{
    const char* data = environment("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/tolvar/server.db";
    const char* home = environment("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/share/tolvar/server.db";
    return {};
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                             const std::function<const char*(const char*)>& environment)
{
    CommandLine result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool hasValue = false;
        std::size_t equals = option.find('=');
        if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
            hasValue = true;
        }
        if (option == "--help" || option == "-h") {
            result.action = CommandLine::Action::Help;
            result.message = kUsage;
            return result;
        }
        if (option == "--version") {
            result.action = CommandLine::Action::Version;
            result.message = "tolvar-server " TOLVAR_VERSION " (protocol " +
                             std::string(Reply::kProtocolVersion) + ")\n";
            return result;
        }
        if (option != "--listen" && option != "--port" && option != "--db" && option != "--log" &&
            option != "--set" && option != "--grace-seconds" && option != "--postgres" &&
            option != "--bus" && option != "--node" && option != "--proxy-from")
            return Fail("unknown option " + arguments[i]);
        if (!hasValue) {
            if (i + 1 >= arguments.size())
                return Fail(option + " needs a value");
            value = arguments[++i];
        }
        if (option == "--listen") {
            if (value.empty())
                return Fail("--listen needs an address");
            result.config.listenAddress = value;
        } else if (option == "--port") {
            if (!ParsePort(value, &result.config.port))
                return Fail("--port needs a number from 0 to 65535");
        } else if (option == "--log") {
            if (value.empty())
                return Fail("--log needs a path");
            result.logPath = value;
        } else if (option == "--grace-seconds") {
            long long seconds = 0;
            if (!ParseNumber(value, &seconds) || seconds > 86400)
                return Fail("--grace-seconds needs a number from 0 to 86400");
            result.config.grace = std::chrono::seconds(seconds);
        } else if (option == "--bus") {
            if (value.rfind("nats://", 0) != 0 || value.size() <= 7)
                return Fail("--bus needs a URL nats://HOST:PORT");
            result.config.busUrl = value;
        } else if (option == "--node") {
            if (!ParseNodeName(value, &result.config.nodeNumber))
                return Fail("--node needs a name of letters, digits, - or _ ending in a number "
                            "from 1 to 63");
            result.config.nodeName = value;
        } else if (option == "--proxy-from") {
            for (std::size_t start = 0; start <= value.size();) {
                std::size_t end = std::min(value.find(',', start), value.size());
                asio::error_code error;
                auto address = asio::ip::make_address(value.substr(start, end - start), error);
                if (error)
                    return Fail("--proxy-from needs addresses separated by commas");
                result.config.proxyFrom.push_back(address.to_string());
                start = end + 1;
            }
        } else if (option == "--postgres") {
            if (value.empty())
                return Fail("--postgres needs a connection string");
            result.config.postgres = value;
        } else if (option == "--set") {
            if (!SetLimit(result.config, value))
                return Fail("--set needs NAME=VALUE with a known name and a number: " + value);
        } else {
            if (value.empty())
                return Fail("--db needs a path");
            result.config.databasePath = value;
        }
    }
    if (result.config.busUrl.empty() != result.config.nodeName.empty())
        return Fail("--bus and --node go together");
    if (!result.config.postgres.empty() && !result.config.databasePath.empty())
        return Fail("--db and --postgres name two databases; give one");
    if (result.config.databasePath.empty() && result.config.postgres.empty()) {
        result.config.databasePath = DefaultDatabasePath(environment);
        if (result.config.databasePath.empty())
            return Fail("no HOME or XDG_DATA_HOME to put the database in; use --db");
    }
    return result;
}

} // namespace tolvar::server
