// How long a move reported by the server takes to reach the screen: from a
// "114" line handed to the protocol speaker (as its listener does with every
// chunk) to the board having repainted with the move applied. The moves of
// a whole game (33 half-moves ending in mate, castling included) are
// reported one at a time, in a fresh window each round; the program prints
// the median, the 99th percentile and the worst case.
//
// Usage: game_bench [rounds]   (default 30; offscreen unless a display is set)

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "cgc/cgc.h"
#include "game/ChessView.h"
#include "game/GameWindow.h"
#include "game/QtSoundOutput.h"
#include "kit/GuiBridge.h"
#include "kit/SoundOutput.h"
#include "net/TolvarSpeak.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Morphy against the Duke of Brunswick and Count Isouard, Paris 1858.
const char* const kGame[] = {
    "E2E4",  "E7E5", "G1F3", "D7D6", "D2D4", "C8G4", "D4E5", "G4F3", "D1F3", "D6E5", "F1C4",
    "G8F6",  "F3B3", "D8E7", "B1C3", "C7C6", "C1G5", "B7B5", "C3B5", "C6B5", "C4B5", "B8D7",
    "O-O-O", "A8D8", "D1D7", "D8D7", "H1D1", "E7E6", "B5D7", "F6D7", "B3B8", "D7B8", "D1D8"};

std::string BoardText(game* record)
{
    char text[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(record, text);
    return text;
}

double Percentile(std::vector<double> sorted, double fraction)
{
    std::sort(sorted.begin(), sorted.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    AppLocation::Instance()->SetExecutableCall(argv[0]);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    kit::SetSoundOutput(std::make_shared<QtSoundOutput>());
    MessageRepeater::Instance()->Run();
    TolvarSpeak* speaker = TolvarSpeak::Instance();
    speaker->Run();

    std::vector<double> samples;
    bool complete = true;
    for (int round = 0; round < rounds && complete; ++round) {
        game* record = cgc_create_game();
        cgc_join_game(record, CGC_WHITE);
        cgc_join_game(record, CGC_BLACK);
        auto* window = new GameWindow("12", record, CGC_BLACK);
        window->Show();
        QElapsedTimer shown;
        shown.start();
        while (window->windowHandle() == nullptr || !window->windowHandle()->isExposed()) {
            app.processEvents(QEventLoop::AllEvents, 10);
            if (shown.elapsed() > 5000) {
                std::fprintf(stderr, "the window was never shown\n");
                return 1;
            }
        }
        // Settle the first paints before measuring.
        for (int i = 0; i < 20; ++i)
            app.processEvents(QEventLoop::AllEvents, 5);
        ChessView* board = window->Board();
        for (const char* move : kGame) {
            const std::string before = BoardText(record);
            const int64 paints = board->PaintCount();
            BMessage chunk(MSG_PORT_DATA);
            const std::string line = std::string("114 12 beta ") + move + "\r\n";
            chunk.AddString("data", line);
            chunk.AddInt32("length", static_cast<int32>(line.size()));

            QElapsedTimer clock;
            clock.start();
            speaker->PostMessage(chunk);
            // Busy-wait on the GUI thread so that the moment of the repaint is
            // seen at once; give up after five seconds.
            while (board->PaintCount() == paints || BoardText(record) == before) {
                app.processEvents(QEventLoop::AllEvents);
                if (clock.elapsed() > 5000) {
                    std::fprintf(stderr, "move %s was not shown\n", move);
                    complete = false;
                    break;
                }
            }
            if (!complete)
                break;
            samples.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
        if (complete && window->Winner() != "White Mates.") {
            std::fprintf(stderr, "the game did not end in mate\n");
            complete = false;
        }
        delete window;
    }

    if (samples.empty())
        return 1;
    std::printf("Latency from a 114 line to the board repainted, %zu moves "
                "(%d games of %zu half-moves), %s:\n",
                samples.size(), rounds, std::size(kGame),
                qPrintable(QGuiApplication::platformName()));
    std::printf("  median %.3f ms\n", Percentile(samples, 0.5));
    std::printf("  p99    %.3f ms\n", Percentile(samples, 0.99));
    std::printf("  max    %.3f ms\n", *std::max_element(samples.begin(), samples.end()));
    std::printf("  target under 5 ms: %s\n", Percentile(samples, 0.99) < 5.0 ? "met" : "missed");
    kit::ShutDownGui();
    return complete ? 0 : 1;
}
