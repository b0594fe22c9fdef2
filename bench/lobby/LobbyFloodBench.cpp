// Announces 100,000 games, then 100,000 players, to the lobby right after
// login, the way a busy server answers GAMES and USERS, and prints for each
// how long the lobby takes from the first line to the last row shown
// (target: under 2 s), and how long the GUI thread was kept from its other
// work at most meanwhile.
//
// The lines enter as the connection's listener would hand them over:
// 4,096-byte chunks posted to the protocol speaker, which cuts, dispatches
// and calls the lobby on the GUI thread, line after line.

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "kit/GuiBridge.h"
#include "kit/Threads.h"
#include "lobby/BrowserWindow.h"
#include "lobby/ClientWindows.h"
#include "lobby/GameList.h"
#include "lobby/PeopleList.h"
#include "net/TolvarSpeak.h"
#include "widgets/UserPanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kGames = 100000;
constexpr int kPlayers = 100000;
constexpr size_t kChunk = 4096;

std::string GameLines()
{
    std::string text;
    for (int id = 1; id <= kGames; ++id) {
        std::string n = std::to_string(id);
        switch (id % 3) {
        case 0:
            text += "118 " + n + " 1 0 black" + n + " :Challenge number " + n + "\r\n";
            break;
        case 1:
            text += "118 " + n + " 0 1 white" + n + " :Open to anyone, game " + n + "\r\n";
            break;
        default:
            text += "118 " + n + " 1 1 black" + n + " white" + n + " :In progress " + n + "\r\n";
            break;
        }
    }
    return text;
}

std::string PlayerLines()
{
    // Players arrive in no particular order, as a server's table would list them.
    std::string text;
    std::vector<int> order(kPlayers);
    for (int i = 0; i < kPlayers; ++i)
        order[static_cast<size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    for (int i : order)
        text += "700 " + std::string(i % 2 ? "Player" : "player") + std::to_string(i) + " " +
                std::to_string(1000 + i % 900) + "\r\n";
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toUtf8());
    AppLocation::Instance()->SetExecutableCall(argv[0]);
    QApplication app(argc, argv);

    ClientWindows::Install();
    SetSpeakerLink(TolvarSpeak::Instance());
    MessageRepeater::Instance()->Run();
    BrowserWindow* lobby = BrowserWindow::Instance();
    lobby->Show();
    TolvarSpeak::Instance()->Run();
    lobby->PostMessage(MSG_LOGGED_IN);

    struct Phase
    {
        const char* what;
        std::string text;
        std::function<bool()> shown;
    };
    const std::vector<Phase> phases = {
        {"games", GameLines(), [&] { return lobby->Games()->CountItems() == kGames; }},
        {"players", PlayerLines(), [&] { return lobby->People()->CountItems() == kPlayers; }},
    };
    bool allShown = true;
    for (const Phase& phase : phases) {
        QElapsedTimer clock;
        qint64 lastTick = 0;
        qint64 longestGap = 0;
        qint64 done = -1;
        std::clock_t cpuStart = 0;
        std::clock_t cpuDone = 0;

        // Ticks every 5 ms; a long gap between two ticks is time in which the
        // GUI could not have reacted to the user.
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - lastTick);
            lastTick = now;
            if (done < 0 && phase.shown()) {
                lobby->repaint();
                done = clock.elapsed();
                cpuDone = std::clock();
                QCoreApplication::exit(0);
            }
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [&] { QCoreApplication::exit(0); });

        QTimer::singleShot(0, [&] {
            clock.start();
            cpuStart = std::clock();
            for (size_t at = 0; at < phase.text.size(); at += kChunk) {
                BMessage chunk(MSG_PORT_DATA);
                std::string piece = phase.text.substr(at, kChunk);
                chunk.AddString("data", piece);
                chunk.AddInt32("length", static_cast<int32>(piece.size()));
                TolvarSpeak::Instance()->PostMessage(chunk);
            }
            ticker.start(5);
            watchdog.start(60000);
        });
        app.exec();

        std::printf("lobby flood: %d %s, %zu bytes in %zu-byte chunks\n",
                    phase.what == std::string("games") ? kGames : kPlayers, phase.what,
                    phase.text.size(), kChunk);
        if (done < 0) {
            allShown = false;
            std::printf("  not all rows shown within 60 s: %d games, %d players\n",
                        lobby->Games()->CountItems(), lobby->People()->CountItems());
            continue;
        }
        std::printf("  first line to last row shown: %lld ms (target: under 2000 ms)\n",
                    static_cast<long long>(done));
        std::printf("  processor time of all threads meanwhile: %lld ms\n",
                    static_cast<long long>((cpuDone - cpuStart) * 1000 / CLOCKS_PER_SEC));
        std::printf("  longest time the GUI thread was busy between two ticks: %lld ms\n",
                    static_cast<long long>(longestGap));
    }
    std::printf("  chat log lines: %d\n", lobby->Chat()->Log()->document()->blockCount() - 1);

    kit::ShutDownGui();
    TolvarSpeak::Instance()->Quit();
    MessageRepeater::Instance()->Quit();
    kit::JoinAllThreads();
    return allShown ? 0 : 1;
}
