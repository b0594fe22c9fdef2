// The client against a hostile stand-in server: the real lobby, game
// windows, protocol speaker and connection, logged in to a server thread in
// this process on a free port, which then
//
//   1. floods the public chat at full speed for ten seconds, while the
//      process's resident memory is sampled (target: flat, under 200 MB);
//   2. sends 300 "120" lines for games nobody asked to watch (target: no
//      new window);
//   3. sends 100,000 "700" lines, then 100,000 "118" lines, and times each
//      from its first byte to the last row shown (target: under 2 s).
//
// With --no-lists it stops after the second step. Prints its figures on
// standard error; standard output, where the
// connection traces every chunk it receives, is thrown away.

#include "app/AppLocation.h"
#include "app/MessageRepeater.h"
#include "app/MyGames.h"
#include "game/QtSoundOutput.h"
#include "kit/GuiBridge.h"
#include "kit/ModalAlert.h"
#include "kit/SoundOutput.h"
#include "kit/Threads.h"
#include "lobby/BrowserWindow.h"
#include "lobby/ClientWindows.h"
#include "lobby/GameList.h"
#include "lobby/PeopleList.h"
#include "net/TolvarSpeak.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

constexpr int kFloodSeconds = 10;
constexpr int kWatchLines = 300;
constexpr int kListLines = 100000;

// Resident memory of this process in MiB.
double ResidentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
    }
    return 0;
}

// Handles events for `milliseconds`, or until `done` holds.
template <typename Done> bool Pump(QApplication& app, int milliseconds, Done done)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        if (done())
            return true;
        app.processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

// One client on 127.0.0.1, on a free port. Writes block, so that the server can never
// be faster than the client lets it.
class StandInServer
{
public:
    StandInServer()
    {
        fListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int yes = 1;
        ::setsockopt(fListener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        fListening =
            ::bind(fListener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(fListener, 4) == 0 &&
            ::getsockname(fListener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        fPort = ntohs(address.sin_port);
    }
    ~StandInServer()
    {
        if (fClient >= 0)
            ::close(fClient);
        ::close(fListener);
    }
    bool Listening() const { return fListening; }
    int Port() const { return fPort; }

    bool Accept()
    {
        pollfd waiting{fListener, POLLIN, 0};
        if (::poll(&waiting, 1, 10000) != 1)
            return false;
        fClient = ::accept4(fListener, nullptr, nullptr, SOCK_CLOEXEC);
        return fClient >= 0;
    }
    // Reads and drops what the client sent, without waiting.
    void Drain()
    {
        char buffer[4096];
        while (::recv(fClient, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
    }
    bool Write(const std::string& text)
    {
        size_t sent = 0;
        while (sent < text.size()) {
            ssize_t count = ::send(fClient, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (count <= 0)
                return false;
            sent += static_cast<size_t>(count);
        }
        return true;
    }
    void Shutdown() { ::shutdown(fClient, SHUT_RDWR); }

private:
    int fListener = -1;
    int fClient = -1;
    bool fListening = false;
    int fPort = 0;
};

int CountGameWindows()
{
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->windowTitle() == "Awaiting Opponent" || window->windowTitle().contains(" v. "))
            ++count;
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    // Gigabytes of traced chunks would otherwise go to the terminal.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toUtf8());
    AppLocation::Instance()->SetExecutableCall(argv[0]);
    QApplication app(argc, argv);
    // The offscreen platform says on every window shown that it cannot raise it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg && type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    ModalAlertFactory::SetPresenter([](const std::string&, const std::string&, AlertType) {});

    StandInServer server;
    if (!server.Listening()) {
        std::fprintf(stderr, "cannot listen on a port of 127.0.0.1\n");
        return 1;
    }
    ClientWindows::Install();
    SetSpeakerLink(TolvarSpeak::Instance());
    kit::SetSoundOutput(std::make_shared<QtSoundOutput>());
    TolvarSpeak::SetServerPort(server.Port());
    MessageRepeater::Instance()->Run();
    BrowserWindow* lobby = BrowserWindow::Instance();
    lobby->Show();
    TolvarSpeak* speaker = TolvarSpeak::Instance();
    speaker->Run();
    speaker->ConnectWith("localhost", "mallory", "secret", false);
    if (!server.Accept()) {
        std::fprintf(stderr, "the client did not connect\n");
        return 1;
    }
    server.Write("201 :welcome, mallory\n");
    Pump(app, 500, [] { return false; });
    server.Drain();
    const double baseline = ResidentMiB();

    // 1. The chat flood, from a thread of its own while the GUI runs here.
    std::atomic<bool> flooding{true};
    std::atomic<bool> floodEnded{false};
    std::atomic<long long> floodBytes{0};
    std::thread flood([&] {
        std::string burst;
        for (int i = 0; i < 200; ++i)
            burst += "115 eve lobby :" + std::string(300, static_cast<char>('a' + i % 26)) + "\n";
        while (flooding && server.Write(burst))
            floodBytes += static_cast<long long>(burst.size());
        floodEnded = true;
    });
    // Sampled from a thread of its own: a busy GUI thread must not thin out
    // the samples.
    std::atomic<bool> sampling{true};
    std::atomic<double> peak{baseline};
    std::vector<double> perSecond;
    std::thread sampler([&] {
        for (int tick = 1; sampling; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            double now = ResidentMiB();
            if (now > peak)
                peak = now;
            if (tick % 10 == 0)
                perSecond.push_back(now);
        }
    });
    QElapsedTimer clock;
    clock.start();
    // A long gap between two ticks is time in which the GUI could not have
    // reacted to the user.
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(5);
    // Stops early far past any sensible figure, before the machine suffers.
    Pump(app, kFloodSeconds * 1000, [&] { return peak > 2048; });
    ticker.stop();
    const double floodSeconds = clock.elapsed() / 1000.0;
    const long long floodSent = floodBytes;
    flooding = false;
    // The flood thread may be blocked on a full socket: let the client read on.
    const bool floodStopped = Pump(app, 120000, [&] { return floodEnded.load(); });
    if (!floodStopped)
        server.Shutdown();
    flood.join();
    sampling = false;
    sampler.join();
    std::fprintf(stderr, "hostile server, client in the same process, offscreen\n");
    std::fprintf(stderr,
                 "  chat flood: %.1f MB sent in %.1f s; resident memory %.0f MB before, "
                 "peak %.0f MB, after the flood %.0f MB (target: flat, under 200 MB)\n",
                 floodSent / 1e6, floodSeconds, baseline, peak.load(), ResidentMiB());
    std::fprintf(stderr, "  longest time the GUI thread did not get to a 5 ms timer: %lld ms\n",
                 static_cast<long long>(longestGap));
    std::fprintf(stderr, "  memory each second of the flood and after:");
    for (double sample : perSecond)
        std::fprintf(stderr, " %.0f", sample);
    std::fprintf(stderr, " MB\n");

    // 2. Unsolicited "120" lines.
    const int windowsBefore = CountGameWindows();
    std::string watches;
    for (int i = 0; i < kWatchLines; ++i)
        watches += "120 " + std::to_string(9000 + i) + " bob carl :E2E4 E7E5 \n";
    // A player's arrival after them shows when they have all been handled.
    const int people = lobby->People()->CountItems();
    server.Write(watches + "701 zz-marker 1500\n");
    Pump(app, 60000, [&] { return lobby->People()->CountItems() > people; });
    Pump(app, 500, [] { return false; });
    std::fprintf(stderr, "  %d unsolicited 120 lines: %d new game windows (target: none)\n",
                 kWatchLines, CountGameWindows() - windowsBefore);

    if (argc > 1 && std::string(argv[1]) == "--no-lists") {
        server.Shutdown();
        Pump(app, 500, [] { return false; });
        kit::ShutDownGui();
        speaker->Shutdown(std::chrono::milliseconds(0));
        MessageRepeater::Instance()->Quit();
        kit::JoinAllThreads();
        return 0;
    }

    // 3. Long lists.
    std::string players;
    for (int i = 0; i < kListLines; ++i)
        players += "700 player" + std::to_string((i * 7919) % kListLines) + " 1500\n";
    clock.restart();
    std::thread sendPlayers([&] { server.Write(players); });
    bool shown = Pump(app, 300000, [&] { return lobby->People()->CountItems() >= kListLines; });
    sendPlayers.join();
    std::fprintf(stderr, "  %d 700 lines: %s in %.2f s (target: under 2 s)\n", kListLines,
                 shown ? "all shown" : "NOT all shown", clock.elapsed() / 1000.0);

    std::string games;
    for (int i = 1; i <= kListLines; ++i)
        games += "118 " + std::to_string(i) + " 1 1 b" + std::to_string(i) + " w" +
                 std::to_string(i) + " :game\n";
    clock.restart();
    std::thread sendGames([&] { server.Write(games); });
    shown = Pump(app, 300000, [&] { return lobby->Games()->CountItems() >= kListLines; });
    sendGames.join();
    std::fprintf(stderr, "  %d 118 lines: %s in %.2f s (target: under 2 s)\n", kListLines,
                 shown ? "all shown" : "NOT all shown", clock.elapsed() / 1000.0);
    std::fprintf(stderr, "  resident memory at the end: %.0f MB\n", ResidentMiB());

    server.Shutdown();
    Pump(app, 500, [] { return false; });
    kit::ShutDownGui();
    speaker->Shutdown(std::chrono::milliseconds(0));
    MessageRepeater::Instance()->Quit();
    kit::JoinAllThreads();
    return 0;
}
