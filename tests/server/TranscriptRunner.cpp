// Runs conversation transcripts against the real tolvar-server program and
// reports the first difference with its file and line:
//
//   server_transcripts [--server PATH] [--set NAME=VALUE]... FILE...
//
// Each file gets a fresh server (cheapest password hash, free port, new
// database). A transcript is a list of lines, run in order:
//
//   # a comment                 blank lines and comments are skipped
//   set NAME=VALUE              a server limit (before the first client)
//   connect NAME [from ADDRESS] [window BYTES]
//   login NAME                  connect, CREATE NAME secret (the first time
//                               in this file), USER NAME secret, and check
//                               every reply on the way
//   NAME> TEXT                  NAME sends TEXT as the client frames it
//   NAME>> BYTES                NAME sends BYTES as they are
//   A,B< TEXT                   A and B each receive exactly TEXT next
//   A<~ TEXT                    A skips lines up to one that is TEXT
//   quiet A,B                   A and B receive nothing for a moment
//   closed A                    the server closes A's connection
//   close A                     A hangs up
//   play ID WHITE,BLACK[,WATCHER...] MOVE...
//                               the players move in turn (on from the last
//                               play of that game), and each of them
//                               receives "114 ID ply MOVE"; SENT=APPLIED
//                               for a move the server writes otherwise
//   repeat N LINE               LINE N times; {#} in it counts from 1
//   wait MS
//   restart | crash             SIGTERM or SIGKILL, then the same database
//   disk full | disk free       the database journal may not grow, or may
//   sql STATEMENT               run on the database, behind the server
//
// In TEXT and BYTES: \r \n \t \\ \{ \xNN, and {c*N} for N times c. In TEXT
// received: {*} matches anything, {name} one word, the same each time.
// At the end no client may have anything more to read.

#include "ServerHarness.h"

#include <sqlite3.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
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
        for (std::string line; std::getline(in, line);) {
            ++fLine;
            if (!line.empty() && line[0] != '#' && !_Do(line, 0))
                return false;
        }
        std::this_thread::sleep_for(100ms);
        for (auto& [name, peer] : fPeers) {
            if (!peer->Silent(0ms))
                return _Fail(name + " received more: " + peer->Next());
        }
        return true;
    }

private:
    bool _Fail(const std::string& what)
    {
        std::string log = fServer ? fServer->Log() : "";
        std::size_t tail = log.size() > 2000 ? log.rfind('\n', log.size() - 2000) : 0;
        std::fprintf(stderr, "%s:%d: %s\n--- server log (end) ---\n%s\n", fFile.c_str(), fLine,
                     what.c_str(), log.substr(tail == std::string::npos ? 0 : tail).c_str());
        return false;
    }

    bool _Start()
    {
        std::vector<std::string> arguments;
        for (const std::string& set : fSets)
            arguments.insert(arguments.end(), {"--set", set});
        fServer = std::make_unique<ServerProcess>(fBinary, arguments, fDir.File("server.log"),
                                                  fDir.File("server.db"));
        fPort = fServer->WaitForPort();
        return fPort != 0 || _Fail("the server did not start");
    }

    // The text with escapes and repetitions resolved; with `pattern`, {*}
    // and {name} are kept as \x01 and \x02name\x03 for the matcher.
    std::string _Decode(const std::string& text, bool pattern, int counter)
    {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            char c = text[i];
            if (c == '\\' && i + 1 < text.size()) {
                char e = text[++i];
                if (e == 'x' && i + 2 < text.size()) {
                    out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                    i += 2;
                } else {
                    out += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
                }
            } else if (c == '{' && text.find('}', i) != std::string::npos) {
                std::string inside = text.substr(i + 1, text.find('}', i) - i - 1);
                i = text.find('}', i);
                if (inside == "#")
                    out += std::to_string(counter);
                else if (inside.size() > 2 && inside[1] == '*')
                    out += std::string(std::stoul(inside.substr(2)), inside[0]);
                else if (inside == "*" && pattern)
                    out += '\x01';
                else if (pattern)
                    out += "\x02" + inside + "\x03";
                else
                    out += fWords[inside];
            } else {
                out += c;
            }
        }
        return out;
    }

    // Matches `text` against a decoded pattern, binding words on the way.
    bool _Match(std::string_view pattern, std::string_view text,
                std::map<std::string, std::string>& words)
    {
        if (pattern.empty())
            return text.empty();
        if (pattern[0] == '\x01') {
            for (std::size_t n = 0; n <= text.size(); ++n)
                if (_Match(pattern.substr(1), text.substr(n), words))
                    return true;
            return false;
        }
        if (pattern[0] == '\x02') {
            std::size_t end = pattern.find('\x03');
            std::string name(pattern.substr(1, end - 1));
            std::size_t length = std::min(text.find(' '), text.size());
            auto bound = words.find(name);
            std::string word(text.substr(0, length));
            if (length == 0 || (bound != words.end() && bound->second != word))
                return false;
            words[name] = word;
            return _Match(pattern.substr(end + 1), text.substr(length), words);
        }
        return !text.empty() && pattern[0] == text[0] &&
               _Match(pattern.substr(1), text.substr(1), words);
    }

    Peer* _Peer(const std::string& name)
    {
        auto found = fPeers.find(name);
        if (found == fPeers.end())
            _Fail("no client " + name);
        return found == fPeers.end() ? nullptr : found->second.get();
    }

    bool _Expect(const std::string& name, const std::string& text, bool skipping, int counter)
    {
        Peer* peer = _Peer(name);
        if (!peer)
            return false;
        std::string pattern = _Decode(text, true, counter);
        for (;;) {
            std::string line = peer->Next();
            auto words = fWords;
            if (_Match(pattern, line, words)) {
                fWords = words;
                return true;
            }
            if (!skipping || line == "<nothing>" || line == "<closed>")
                return _Fail(name + " expected \"" + text + "\", got \"" + line + "\"");
        }
    }

    bool _Login(const std::string& name)
    {
        std::vector<std::string> steps = {"connect " + name,
                                          name + "< 101 1.31 :Tolvar chess server"};
        if (fCreated.insert(name).second)
            steps.insert(steps.end(), {name + "> CREATE " + name + " secret",
                                       name + "< 401 :account " + name + " created"});
        steps.insert(steps.end(),
                     {name + "> USER " + name + " secret", name + "< 201 :welcome, " + name});
        for (const std::string& step : steps)
            if (!_Do(step, 0))
                return false;
        return true;
    }

    bool _Play(const std::vector<std::string>& words)
    {
        std::vector<std::string> players = Split(words[2], ',');
        for (std::size_t i = 3; i < words.size(); ++i) {
            int ply = ++fPlies[words[1]];
            std::string sent = words[i].substr(0, words[i].find('='));
            std::string applied = words[i].substr(words[i].find('=') + 1);
            if (!_Do(players[ply % 2 ? 0 : 1] + "> MOVE " + words[1] + " " + sent, 0) ||
                !_Do(words[2] + "< 114 " + words[1] + " " + std::to_string(ply) + " " + applied, 0))
                return false;
        }
        return true;
    }

    bool _Do(const std::string& line, int counter)
    {
        std::vector<std::string> words = Split(line, ' ');
        const std::string& verb = words[0];
        std::string rest = line.size() > verb.size() ? line.substr(verb.size() + 1) : "";
        if (verb == "set") {
            fSets.push_back(rest);
        } else if (verb == "connect") {
            if (!fServer && !_Start())
                return false;
            std::string from, window;
            for (std::size_t i = 2; i + 1 < words.size(); i += 2)
                (words[i] == "from" ? from : window) = words[i + 1];
            fPeers[words[1]] =
                std::make_unique<Peer>(fPort, from, window.empty() ? 0 : std::stoi(window));
        } else if (verb == "login") {
            return _Login(words[1]);
        } else if (verb == "close" || verb == "closed" || verb == "quiet") {
            for (const std::string& name : Split(words[1], ',')) {
                Peer* peer = _Peer(name);
                if (!peer)
                    return false;
                std::string next = verb == "closed" ? peer->Next() : "";
                if (verb == "closed" && next != "<closed>")
                    return _Fail(name + " expected the end, got \"" + next + "\"");
                if (verb != "quiet")
                    fPeers.erase(name);
                else if (verb == "quiet" && !peer->Silent())
                    return _Fail(name + " expected nothing, got \"" + peer->Next() + "\"");
            }
        } else if (verb == "wait") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(words[1])));
        } else if (verb == "restart" || verb == "crash") {
            fPeers.clear();
            fServer->Stop(verb == "crash" ? SIGKILL : SIGTERM);
            return _Start();
        } else if (verb == "disk") {
            struct stat journal
            {
            };
            ::stat(fDir.File("server.db-wal").c_str(), &journal);
            rlimit limit{words[1] == "full" ? static_cast<rlim_t>(journal.st_size) : RLIM_INFINITY,
                         RLIM_INFINITY};
            if (::prlimit(fServer->Pid(), RLIMIT_FSIZE, &limit, nullptr) != 0)
                return _Fail("cannot limit the server's files");
        } else if (verb == "sql") {
            sqlite3* db = nullptr;
            sqlite3_open(fDir.File("server.db").c_str(), &db);
            int done = sqlite3_exec(db, rest.c_str(), nullptr, nullptr, nullptr);
            sqlite3_close(db);
            if (done != SQLITE_OK)
                return _Fail("cannot run " + rest);
        } else if (verb == "play") {
            return _Play(words);
        } else if (verb == "repeat") {
            std::string body = rest.substr(rest.find(' ') + 1);
            for (int i = 1; i <= std::stoi(words[1]); ++i)
                if (!_Do(body, i))
                    return false;
        } else {
            std::size_t arrow = line.find_first_of("<>");
            if (arrow == std::string::npos)
                return _Fail("cannot read this line");
            std::string names = line.substr(0, arrow);
            std::string how = line.substr(arrow, line.find(' ', arrow) - arrow);
            std::string text =
                line.size() > arrow + how.size() ? line.substr(arrow + how.size() + 1) : "";
            for (const std::string& name : Split(names, ',')) {
                if (how[0] == '<') {
                    if (!_Expect(name, text, how == "<~", counter))
                        return false;
                } else if (Peer* peer = _Peer(name)) {
                    std::string bytes = _Decode(text, false, counter);
                    how == ">>" ? peer->SendRaw(bytes) : peer->Send(bytes);
                } else {
                    return false;
                }
            }
        }
        return true;
    }

    std::string fFile;
    std::string fBinary;
    std::vector<std::string> fSets;
    int fLine = 0;
    TempDir fDir;
    std::unique_ptr<ServerProcess> fServer;
    std::uint16_t fPort = 0;
    std::map<std::string, std::unique_ptr<Peer>> fPeers;
    std::set<std::string> fCreated;
    std::map<std::string, std::string> fWords;
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
    std::signal(SIGPIPE, SIG_IGN);
    int failed = 0;
    for (const std::string& file : files) {
        bool passed = Transcript(file, binary, sets).Run();
        std::printf("%s %s\n", passed ? "ok    " : "FAILED", file.c_str());
        failed += !passed;
    }
    return failed == 0 && !files.empty() ? 0 : 1;
}
