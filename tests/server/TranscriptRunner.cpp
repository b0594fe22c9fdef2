// Runs conversation transcripts against the real tolvar-server program and
// names the first difference by file and line:
//
//   server_transcripts [--server PATH] [--set NAME=VALUE]... FILE...
//
// Each file gets a fresh server (cheapest password hash, free port, new
// database), and runs line by line:
//
//   # a comment                 (and blank lines) skipped
//   set NAME=VALUE              a server limit, before the first client
//   nodes N                     before the first client: a cluster of N
//                               nodes on one database, meeting on a fresh
//                               nats-server, instead of one server
//   connect NAME[@K] [from ADDRESS]
//   login NAME[@K]              connect (to node K, from 1), CREATE NAME
//                               secret (the first time in the file), USER
//                               NAME secret, each reply checked
//   NAME> TEXT                  NAME sends TEXT framed as the client does
//   NAME>> BYTES                NAME sends BYTES as they are
//   A,B< TEXT                   A and B each receive exactly TEXT next
//   A<~ TEXT                    A receives TEXT after any other lines
//   quiet A,B                   A and B receive nothing for a moment
//   closed A                    the server closes A's connection
//   close A                     A hangs up
//   play ID WHITE,BLACK[,WATCHER...] MOVE...
//                               the players move in turn, on from the last
//                               play of the game, and all named receive
//                               "114 ID ply MOVE"; SENT=APPLIED for a move
//                               the server writes otherwise
//   repeat N LINE               LINE N times, with {#} counting from 1
//   wait MS
//   restart | crash             SIGTERM or SIGKILL, then the same database
//   crash node K | start node K SIGKILL to node K alone, which stays down; and
//                               up again, once it has met every other node
//   disk full | disk free       the database journal may grow no more, or may;
//                               in PostgreSQL the database refuses connections
//                               and cuts the server's, or takes them again
//   sql STATEMENT               run on the database behind the server's back
//   sqlite: LINE | postgres: LINE
//                               LINE only where the server keeps its data in
//                               an SQLite file, or only in PostgreSQL
//   ids one by one: LINE | ids in batches: LINE
//                               LINE only where game ids are taken one at a
//                               time, or in batches (PostgreSQL by default)
//
// With TOLVAR_TEST_SPREAD=N in the environment, a file that does not start
// nodes itself runs on N nodes, its clients spread over them; with
// TOLVAR_TEST_BALANCER=1 too, they connect through HAProxy, run with the
// shipped configuration, as they would to a cluster's address.
//
// TEXT and BYTES take \r \n \t \\ \{ \xNN, and {c*N} for N times c; {*} in
// a received TEXT matches anything. At the end nobody may have more to read.

#include "ServerHarness.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

using namespace tolvar::server::test;

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

// Resolves escapes and repetitions; {*} becomes \x01 for Match.
std::string Decode(const std::string& text, int counter)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t close = text.find('}', i);
        if (text[i] == '\\' && i + 1 < text.size()) {
            char e = text[++i];
            if (e == 'x' && i + 2 < text.size())
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
            else
                out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
        } else if (text[i] == '{' && close != std::string::npos) {
            std::string inside = text.substr(i + 1, close - i - 1);
            i = close;
            out += inside == "#"   ? std::to_string(counter)
                   : inside == "*" ? std::string("\x01")
                                   : std::string(std::stoul(inside.substr(2)), inside[0]);
        } else {
            out += text[i];
        }
    }
    return out;
}

bool Match(std::string_view pattern, std::string_view text)
{
    if (pattern.empty() || pattern[0] != '\x01')
        return pattern.empty() ? text.empty()
                               : !text.empty() && pattern[0] == text[0] &&
                                     Match(pattern.substr(1), text.substr(1));
    for (std::size_t n = 0; n <= text.size(); ++n)
        if (Match(pattern.substr(1), text.substr(n)))
            return true;
    return false;
}

class Transcript
{
public:
    Transcript(std::string file, std::string binary, std::vector<std::string> sets)
        : fFile(std::move(file)), fBinary(std::move(binary)), fSets(std::move(sets))
    {
    }

    bool Run()
    {
        std::ifstream in(fFile);
        if (!in)
            return _Fail("cannot read the file");
        for (std::string line; std::getline(in, line);)
            if (++fLine, !line.empty() && line[0] != '#' && !_Do(line, 0))
                return false;
        std::this_thread::sleep_for(100ms);
        for (auto& [name, peer] : fPeers)
            if (!peer->Silent(0ms))
                return _Fail(name + " received more: " + peer->Next());
        return true;
    }

private:
    bool _Fail(const std::string& what)
    {
        std::string log;
        for (const auto& server : fNodes)
            log += server->Log();
        if (fBalancer)
            log += "--- haproxy ---\n" + fBalancer->Log();
        std::fprintf(stderr, "%s:%d: %s\n--- the server's log ends ---\n%s\n", fFile.c_str(), fLine,
                     what.c_str(),
                     log.substr(log.size() - std::min<std::size_t>(log.size(), 1500)).c_str());
        return false;
    }

    bool _Start()
    {
        // With TOLVAR_TEST_SPREAD=N, a file written for one server runs on
        // a cluster of N nodes instead, its clients spread over them.
        if (const char* spread = std::getenv("TOLVAR_TEST_SPREAD"); spread && fNodeCount == 0) {
            fSpread = fNodeCount = std::max(1, std::atoi(spread));
            fSets.push_back("game-id-batch=1");
            fBalanced = std::getenv("TOLVAR_TEST_BALANCER") != nullptr;
        }
        if (fNodeCount > 0 && !fBus && !_StartBus())
            return false;
        fNodes.resize(static_cast<std::size_t>(std::max(fNodeCount, 1)));
        fPorts.resize(fNodes.size());
        // One at a time: the first makes the database.
        for (std::size_t node = 1; node <= fNodes.size(); ++node)
            if (!_StartNode(node))
                return false;
        fServer = fNodes[0].get();
        fPort = fPorts[0];
        // Logins are safe once every node knows every other.
        for (int i = 0; i < fNodeCount; ++i)
            for (int j = 1; j <= fNodeCount; ++j)
                if (j != i + 1 &&
                    !fNodes[i]->Logged("node node" + std::to_string(j) + " is in the cluster"))
                    return _Fail("node" + std::to_string(i + 1) + " did not meet node" +
                                 std::to_string(j));
        if (!fBalanced)
            return true;
        // The nodes' ports are new after a restart.
        fBalancer.reset();
        std::string error;
        fBalancer = StartBalancer(TOLVAR_HAPROXY_CONFIG, fPorts, fDir.Path(), &fFront, &error);
        return fBalancer != nullptr || _Fail(error);
    }

    bool _StartNode(std::size_t node)
    {
        std::vector<std::string> arguments;
        for (const std::string& set : fSets)
            arguments.insert(arguments.end(), {"--set", set});
        if (fNodeCount > 0)
            arguments.insert(arguments.end(),
                             {"--bus", fBusUrl, "--node", "node" + std::to_string(node)});
        if (fBalanced)
            arguments.insert(arguments.end(), {"--proxy-from", "127.0.0.1"});
        fNodes[node - 1] = std::make_unique<ServerProcess>(
            fBinary, arguments, fDir.File("server" + std::to_string(node) + ".log"), &fDatabase);
        fPorts[node - 1] = fNodes[node - 1]->WaitForPort();
        return fPorts[node - 1] != 0 || _Fail("the server did not start");
    }

    bool _StartBus()
    {
        std::string error;
        fBus = StartBus(fDir.File("bus.log"), &fBusUrl, &error);
        return fBus != nullptr || _Fail(error);
    }

    Peer* _Peer(const std::string& name)
    {
        auto found = fPeers.find(name);
        return found != fPeers.end() ? found->second.get() : (_Fail("no client " + name), nullptr);
    }

    bool _Lines(const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines)
            if (!_Do(line, 0))
                return false;
        return true;
    }

    bool _Do(const std::string& line, int counter)
    {
        // PostgreSQL hands game ids out in batches, unless told to give them
        // one at a time; SQLite numbers them one by one.
        bool batches = TestDatabase::Postgres() &&
                       std::find(fSets.begin(), fSets.end(), "game-id-batch=1") == fSets.end();
        for (auto [prefix, holds] : {std::pair{"sqlite: ", !TestDatabase::Postgres()},
                                     {"postgres: ", TestDatabase::Postgres()},
                                     {"ids one by one: ", !batches},
                                     {"ids in batches: ", batches}}) {
            if (line.rfind(prefix, 0) == 0)
                return !holds || _Do(line.substr(std::string(prefix).size()), counter);
        }
        std::vector<std::string> words = Split(line, ' ');
        const std::string& verb = words[0];
        std::string rest = line.substr(std::min(line.size(), verb.size() + 1));
        if (verb == "set") {
            fSets.push_back(rest);
        } else if (verb == "nodes") {
            fNodeCount = std::stoi(words[1]);
        } else if (verb == "connect") {
            if (!fServer && !_Start())
                return false;
            std::size_t at = words[1].find('@');
            std::size_t node = at == std::string::npos ? 1 : std::stoul(words[1].substr(at + 1));
            // Spread over the nodes, each new name on the next, as a load
            // balancer would; a name comes back to where it was.
            if (at == std::string::npos && fSpread > 0)
                node = fHome.emplace(words[1], fHome.size() % fNodes.size() + 1).first->second;
            if (node < 1 || node > fPorts.size())
                return _Fail("no node " + std::to_string(node));
            fPeers[words[1].substr(0, at)] = std::make_unique<Peer>(
                fBalanced ? fFront : fPorts[node - 1], words.size() > 3 ? words[3] : "");
        } else if (verb == "login") {
            std::string n = words[1].substr(0, words[1].find('@'));
            bool create = fCreated.insert(n).second;
            return _Lines({"connect " + words[1], n + "< 101 1.31 :Tolvar chess server"}) &&
                   (!create || _Lines({n + "> CREATE " + n + " secret",
                                       n + "< 401 :account " + n + " created"})) &&
                   _Lines({n + "> USER " + n + " secret", n + "< 201 :welcome, " + n});
        } else if (verb == "close" || verb == "closed" || verb == "quiet") {
            for (const std::string& name : Split(words[1], ',')) {
                Peer* peer = _Peer(name);
                if (!peer)
                    return false;
                if (verb == "quiet" && !peer->Silent())
                    return _Fail(name + " expected nothing, got \"" + peer->Next() + "\"");
                if (std::string next; verb == "closed" && (next = peer->Next()) != "<closed>")
                    return _Fail(name + " expected the end, got \"" + next + "\"");
                if (verb != "quiet")
                    fPeers.erase(name);
            }
        } else if (verb == "play") {
            for (std::size_t i = 3; i < words.size(); ++i) {
                int ply = ++fPlies[words[1]];
                std::string sent = words[i].substr(0, words[i].find('='));
                std::string applied = words[i].substr(words[i].find('=') + 1);
                std::string mover = Split(words[2], ',')[ply % 2 ? 0 : 1];
                if (!_Lines({mover + "> MOVE " + words[1] + " " + sent,
                             words[2] + "< 114 " + words[1] + " " + std::to_string(ply) + " " +
                                 applied}))
                    return false;
            }
        } else if (verb == "repeat") {
            for (int i = 1; i <= std::stoi(words[1]); ++i)
                if (!_Do(rest.substr(rest.find(' ') + 1), i))
                    return false;
        } else if (verb == "wait") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(words[1])));
        } else if ((verb == "crash" || verb == "start") && words.size() == 3) {
            std::size_t node = std::stoul(words[2]);
            if (node < 1 || node > fNodes.size())
                return _Fail("no node " + words[2]);
            if (verb == "crash") {
                fNodes[node - 1]->Stop(SIGKILL);
                return true;
            }
            if (!_StartNode(node))
                return false;
            for (std::size_t other = 1; other <= fNodes.size(); ++other)
                if (other != node && !fNodes[node - 1]->Logged("node node" + std::to_string(other) +
                                                               " is in the cluster"))
                    return _Fail("node" + words[2] + " did not meet node" + std::to_string(other));
        } else if (verb == "restart" || verb == "crash") {
            // The server goes first: a client that closed before it would
            // be seen leaving its games.
            for (const auto& node : fNodes)
                node->Stop(verb == "crash" ? SIGKILL : SIGTERM);
            fPeers.clear();
            return _Start();
        } else if (verb == "disk" && TestDatabase::Postgres()) {
            if (std::string error = fDatabase.SetReachable(rest == "free"); !error.empty())
                return _Fail("cannot take the database away or back: " + error);
        } else if (verb == "disk") {
            struct stat journal
            {
            };
            ::stat(fDir.File("server.db-wal").c_str(), &journal);
            rlimit limit{rest == "full" ? static_cast<rlim_t>(journal.st_size) : RLIM_INFINITY,
                         RLIM_INFINITY};
            if (::prlimit(fServer->Pid(), RLIMIT_FSIZE, &limit, nullptr) != 0)
                return _Fail("cannot limit the server's file sizes");
        } else if (verb == "sql") {
            if (std::string error = fDatabase.Run(rest); !error.empty())
                return _Fail("cannot run " + rest + ": " + error);
        } else {
            std::size_t arrow = line.find_first_of("<>");
            std::size_t space = std::min(line.find(' ', arrow), line.size());
            std::string how = line.substr(arrow, space - arrow);
            std::string text = Decode(line.substr(std::min(line.size(), space + 1)), counter);
            for (const std::string& name : Split(line.substr(0, arrow), ',')) {
                Peer* peer = _Peer(name);
                if (!peer)
                    return false;
                if (how == ">" || how == ">>") {
                    how == ">" ? peer->Send(text) : peer->SendRaw(text);
                    continue;
                }
                std::string got;
                do
                    got = peer->Next();
                while (how == "<~" && !Match(text, got) && got != "<nothing>" && got != "<closed>");
                if (!Match(text, got))
                    return _Fail(name + " expected \"" + line.substr(space + 1) + "\", got \"" +
                                 got + "\"");
            }
        }
        return true;
    }

    std::string fFile;
    std::string fBinary;
    std::vector<std::string> fSets;
    int fLine = 0;
    TempDir fDir;
    TestDatabase fDatabase{fDir.File("server.db")};
    int fNodeCount = 0;     // 0: one server, no bus
    int fSpread = 0;        // nodes a file for one server is spread over
    bool fBalanced = false; // its clients come through HAProxy
    std::unique_ptr<ServerProcess> fBalancer;
    std::uint16_t fFront = 0;
    std::map<std::string, std::size_t> fHome; // the node of each spread client
    std::unique_ptr<ServerProcess> fBus;
    std::string fBusUrl;
    std::vector<std::unique_ptr<ServerProcess>> fNodes;
    std::vector<std::uint16_t> fPorts;
    ServerProcess* fServer = nullptr; // the first node
    std::uint16_t fPort = 0;
    std::map<std::string, std::unique_ptr<Peer>> fPeers;
    std::set<std::string> fCreated;
    std::map<std::string, int> fPlies; // by game
};

} // namespace

int main(int argc, char** argv)
{
    std::string binary = TOLVAR_SERVER_BINARY;
    std::vector<std::string> sets, files;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if ((argument == "--server" || argument == "--set") && i + 1 < argc)
            (argument == "--server" ? binary : sets.emplace_back()) = argv[++i];
        else
            files.push_back(argument);
    }
    ::signal(SIGPIPE, SIG_IGN);
    int failed = 0;
    for (const std::string& file : files) {
        bool passed = Transcript(file, binary, sets).Run();
        std::printf("%s %s\n", passed ? "ok    " : "FAILED", file.c_str());
        failed += !passed;
    }
    return failed == 0 && !files.empty() ? 0 : 1;
}
