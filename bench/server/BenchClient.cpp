#include "BenchClient.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tolvar::bench {

BenchClient::BenchClient(asio::io_context& loop, BenchRun& run, BenchGame& game, bool white,
                         std::string name)
    : fSocket(loop), fThink(loop), fRun(run), fGame(game), fWhite(white), fName(std::move(name)),
      fRetry(loop)
{
}

void BenchClient::Connect(const asio::ip::tcp::endpoint& server, const asio::ip::address& from)
{
    asio::error_code ignored;
    fSocket.open(asio::ip::tcp::v4(), ignored);
    fSocket.bind(asio::ip::tcp::endpoint(from, 0), ignored);
    fSocket.async_connect(server, [this](const asio::error_code& error) {
        if (error) {
            std::fprintf(stderr, "%s: cannot connect: %s\n", fName.c_str(),
                         error.message().c_str());
            ++fRun.refused;
            return;
        }
        fSocket.set_option(asio::ip::tcp::no_delay(true));
        fSocket.non_blocking(true);
        _Read();
    });
}

void BenchClient::OpenGame()
{
    _Send("MAKE 1 :bench");
}

void BenchClient::Join(std::int64_t id)
{
    _Send("PLAY " + std::to_string(id));
}

void BenchClient::MoveAfter(std::chrono::milliseconds delay)
{
    fThink.expires_after(delay);
    fThink.async_wait([this](const asio::error_code& error) {
        if (error)
            return;
        int ply = fReceived + 1;
        // Stamped just before the write, which goes out at once below.
        fGame.sentAt[static_cast<std::size_t>(ply)] = Clock::now();
        _Send("MOVE " + std::to_string(fGame.id) + " " +
              (*fGame.script)[static_cast<std::size_t>(ply - 1)]);
    });
}

void BenchClient::Close()
{
    asio::error_code ignored;
    fThink.cancel();
    fRetry.cancel();
    fSocket.close(ignored);
}

void BenchClient::_Send(const std::string& text)
{
    std::string line = text + " \r\n";
    if (!fWriting && fOutput.empty()) {
        // Small lines go straight out; only a full socket falls back to
        // the queue, so the time stamp above is the time of the write.
        asio::error_code error;
        std::size_t sent = fSocket.write_some(asio::buffer(line), error);
        if (!error && sent == line.size())
            return;
        if (error && error != asio::error::would_block) {
            ++fRun.refused;
            return;
        }
        line.erase(0, error ? 0 : sent);
    }
    fOutput.push_back(std::move(line));
    _Write();
}

void BenchClient::_Write()
{
    if (fWriting || fOutput.empty())
        return;
    fWriting = true;
    asio::async_write(fSocket, asio::buffer(fOutput.front()),
                      [this](const asio::error_code& error, std::size_t) {
                          fWriting = false;
                          if (error)
                              return;
                          fOutput.pop_front();
                          _Write();
                      });
}

void BenchClient::_Read()
{
    fSocket.async_read_some(asio::buffer(fReadBuffer), [this](const asio::error_code& error,
                                                              std::size_t count) {
        if (error) {
            // Closed by the server: this client's game cannot finish.
            if (error != asio::error::operation_aborted && !fDone) {
                std::fprintf(stderr, "%s: disconnected: %s\n", fName.c_str(),
                             error.message().c_str());
                ++fRun.dropped;
                _Done();
            }
            return;
        }
        fInput.append(fReadBuffer.data(), count);
        std::size_t start = 0;
        for (std::size_t lf; (lf = fInput.find('\n', start)) != std::string::npos; start = lf + 1)
            _Line(fInput.substr(start, lf - start));
        fInput.erase(0, start);
        _Read();
    });
}

void BenchClient::_Line(const std::string& line)
{
    std::string code = line.substr(0, 3);
    if (code == "101") {
        _Send("USER " + fName + " secret");
    } else if (code == "503") {
        // Too many logins at once: ask again a little later, as a person
        // would, and a little later each time.
        fRetries = std::min(fRetries + 1, 5);
        fRetry.expires_after(std::chrono::milliseconds((std::rand() % 100 + 50) << fRetries));
        fRetry.async_wait([this](const asio::error_code& error) {
            if (!error)
                _Send("USER " + fName + " secret");
        });
    } else if (code == "201") {
        if (++fRun.loggedIn == fRun.clients && fRun.allLoggedIn)
            fRun.allLoggedIn();
    } else if (code == "118") {
        // "118 id 0 1 name :bench" is the challenge this client opened.
        long long id = 0;
        int black = 0, white = 0;
        char name[64] = {};
        if (fWhite && fGame.id == 0 &&
            std::sscanf(line.c_str(), "118 %lld %d %d %63s", &id, &black, &white, name) == 4 &&
            black == 0 && white == 1 && fName == name) {
            fGame.id = id;
            fGame.black->Join(id);
        }
        if (++fGameLines == fRun.expectedGameLines && ++fRun.setUp == fRun.clients && fRun.allSetUp)
            fRun.allSetUp();
    } else if (code == "114") {
        _MoveLine(line);
    } else if (code == "601") {
        // The opponent is gone; what is missing counts as lost.
        if (!fDone)
            _Done();
    } else if (code[0] == '4' || code == "504") {
        if (++fRun.refused <= 5)
            std::fprintf(stderr, "%s: %s\n", fName.c_str(), line.c_str());
    }
}

void BenchClient::_Done()
{
    fDone = true;
    if (++fRun.finished == fRun.clients && fRun.allFinished)
        fRun.allFinished();
}

void BenchClient::_MoveLine(const std::string& line)
{
    Clock::time_point now = Clock::now();
    char move[16] = {};
    long long id = 0;
    int ply = 0;
    if (std::sscanf(line.c_str(), "114 %lld %d %15s", &id, &ply, move) != 3 || id != fGame.id ||
        ply != fReceived + 1 || ply > static_cast<int>(fGame.script->size()) ||
        (*fGame.script)[static_cast<std::size_t>(ply - 1)] != move) {
        ++fRun.misordered;
        return;
    }
    fReceived = ply;
    if (!_MyPly(ply)) {
        auto waited = std::chrono::duration<double, std::micro>(
            now - fGame.sentAt[static_cast<std::size_t>(ply)]);
        fRun.latencies.push_back(waited.count());
        ++fRun.moves;
    }
    if (ply == static_cast<int>(fGame.script->size())) {
        _Done();
        return;
    }
    if (_MyPly(ply + 1))
        // People do not think for exactly the same time: a fifth either way
        // keeps the games from moving in step.
        MoveAfter(fRun.think * (80 + std::rand() % 41) / 100);
}

} // namespace tolvar::bench
