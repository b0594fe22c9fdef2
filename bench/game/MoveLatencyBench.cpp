// Figures of the game window's board:
// - how long a move reported by the server takes to reach the screen: from
//   a "114" line handed to the protocol speaker (as its listener does with
//   every chunk) to the board having repainted with the move applied, at
//   squares of 40, 80 and 120 pixels. The moves of a whole game (33
//   half-moves ending in mate, castling included) are reported one at a
//   time, in a fresh window each round;
// - the frame time while the window is dragged from its classic size to
//   1600 x 1000 (each step: the resize until the board has repainted),
//   beside the same for a window that only fills itself with a colour, which
//   is what the display itself costs (on Xvfb, a good part of the total);
// - a premove: from the opponent's "114" line handed to the speaker to our
//   MOVE line handed to the connection.
// Each prints the median, the 99th percentile and the worst case.
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
#include "net/SpeakerLink.h"
#include "net/TolvarSpeak.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
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

// Prints the figures; the target holds for the p99 (or the median with
// `onMedian`).
void Report(const std::vector<double>& samples, double target, bool onMedian = false)
{
    std::printf("  median %.3f ms\n", Percentile(samples, 0.5));
    std::printf("  p99    %.3f ms\n", Percentile(samples, 0.99));
    std::printf("  max    %.3f ms\n", *std::max_element(samples.begin(), samples.end()));
    std::printf("  target %s under %.0f ms: %s\n", onMedian ? "median" : "p99", target,
                Percentile(samples, onMedian ? 0.5 : 0.99) < target ? "met" : "missed");
}

// Notes when the first MOVE line is handed to the connection.
class MoveClock : public SpeakerLink
{
public:
    std::string LoggedInAs() const override { return "alpha"; }
    std::string Server() const override { return "localhost"; }
    int32 ResetCount() const override { return 0; }
    void ConnectWith(const std::string&, const std::string&, const std::string&, bool) override {}
    void PostLine(const std::string& line) override
    {
        if (line.rfind("MOVE ", 0) == 0 && sentAt == 0)
            sentAt = clock.nsecsElapsed();
    }
    status_t PostMessage(const BMessage&) override { return B_OK; }
    void Reset() override {}

    QElapsedTimer clock;
    qint64 sentAt = 0;
};

GameWindow* OpenShown(QApplication& app, int32 colour, QSize size)
{
    game* record = cgc_create_seated_game();
    auto* window = new GameWindow("12", record, colour);
    window->resize(size);
    window->Show();
    QElapsedTimer shown;
    shown.start();
    while (window->windowHandle() == nullptr || !window->windowHandle()->isExposed()) {
        app.processEvents(QEventLoop::AllEvents, 10);
        if (shown.elapsed() > 5000)
            return window;
    }
    // Settle the first paints before measuring.
    for (int i = 0; i < 20; ++i)
        app.processEvents(QEventLoop::AllEvents, 5);
    return window;
}

// A window that fills itself with one colour.
class PlainWindow : public QWidget
{
public:
    int64 paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter(this).fillRect(rect(), QColor(200, 180, 120));
        ++paints;
    }
};

// Grows `window` from the classic size to 1600 x 1000 in 120 steps, a fifth
// of `rounds` times, and times each step until `painted` has counted a
// paint. Empty if a step was never painted.
template <typename Painted>
std::vector<double> ResizeFrames(QApplication& app, QWidget* window, Painted painted, int rounds)
{
    std::vector<double> frames;
    const int steps = 120;
    for (int round = 0; round < std::max(1, rounds / 5); ++round) {
        for (int step = 1; step <= steps; ++step) {
            const int width = GameWindow::kWidth + (1600 - GameWindow::kWidth) * step / steps;
            const int height = GameWindow::kHeight + (1000 - GameWindow::kHeight) * step / steps;
            const int64 paints = painted();
            QElapsedTimer clock;
            clock.start();
            window->resize(width, height);
            window->repaint();
            while (painted() == paints) {
                app.processEvents(QEventLoop::AllEvents);
                if (clock.elapsed() > 5000)
                    return {};
            }
            frames.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
        window->resize(GameWindow::kWidth, GameWindow::kHeight);
        app.processEvents();
    }
    return frames;
}

BMessage Chunk(const std::string& line)
{
    BMessage chunk(MSG_PORT_DATA);
    chunk.AddString("data", line);
    chunk.AddInt32("length", static_cast<int32>(line.size()));
    return chunk;
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

    bool complete = true;
    for (const int cell : {40, 80, 120}) {
        std::vector<double> samples;
        QSize size(8 * cell + 330, 8 * cell + 128);
        for (int round = 0; round < rounds && complete; ++round) {
            GameWindow* window = OpenShown(app, CGC_BLACK, size);
            ChessView* board = window->Board();
            // The panels beside and below the board take what they take:
            // grow or shrink the window until the squares have the size.
            for (int tries = 0; tries < 4 && board->CellSize() != cell; ++tries) {
                const int step = 8 * (cell - board->CellSize());
                size = window->size() + QSize(step, step);
                window->resize(size);
                for (int i = 0; i < 20; ++i)
                    app.processEvents(QEventLoop::AllEvents, 5);
            }
            if (board->CellSize() != cell) {
                std::fprintf(stderr, "the board has squares of %d pixels, not %d\n",
                             board->CellSize(), cell);
                return 1;
            }
            game* record = window->Game();
            for (const char* move : kGame) {
                const std::string before = BoardText(record);
                const int64 paints = board->PaintCount();
                QElapsedTimer clock;
                clock.start();
                speaker->PostMessage(Chunk(std::string("114 12 beta ") + move + "\r\n"));
                // Busy-wait on the GUI thread so that the moment of the
                // repaint is seen at once; give up after five seconds.
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
        std::printf("Latency from a 114 line to the board repainted, squares of %d pixels, "
                    "%zu moves (%d games of %zu half-moves), %s:\n",
                    cell, samples.size(), rounds, std::size(kGame),
                    qPrintable(QGuiApplication::platformName()));
        Report(samples, 5.0);
    }

    // Dragging the window's corner from the classic size to 1600 x 1000,
    // and the same for a window that only fills itself with one colour: what
    // the platform itself takes for a frame of that size.
    {
        GameWindow* window =
            OpenShown(app, CGC_WHITE, QSize(GameWindow::kWidth, GameWindow::kHeight));
        ChessView* board = window->Board();
        std::vector<double> frames = ResizeFrames(
            app, window, [board] { return board->PaintCount(); }, rounds);
        delete window;
        if (frames.empty()) {
            std::fprintf(stderr, "the board was not redrawn after a resize\n");
            return 1;
        }
        std::printf("Frame time while resizing from %dx%d to 1600x1000, %zu frames:\n",
                    GameWindow::kWidth, GameWindow::kHeight, frames.size());
        Report(frames, 16.0);

        PlainWindow plain;
        plain.resize(GameWindow::kWidth, GameWindow::kHeight);
        plain.show();
        for (int i = 0; i < 20; ++i)
            app.processEvents(QEventLoop::AllEvents, 5);
        std::vector<double> baseline = ResizeFrames(
            app, &plain, [&plain] { return plain.paints; }, rounds);
        if (!baseline.empty()) {
            std::printf("The same for a window that paints one colour (the platform's share): "
                        "median %.3f ms, p99 %.3f ms\n",
                        Percentile(baseline, 0.5), Percentile(baseline, 0.99));
        }
    }

    // A premove played when the opponent's move arrives.
    {
        MoveClock moveClock;
        SetSpeakerLink(&moveClock);
        std::vector<double> samples;
        for (int round = 0; round < rounds * 3 && complete; ++round) {
            GameWindow* window =
                OpenShown(app, CGC_BLACK, QSize(GameWindow::kWidth, GameWindow::kHeight));
            window->SetWhitePlayer("beta");
            window->SetBlackPlayer("alpha");
            ChessView* board = window->Board();
            // E7 to E5 from Black's side: column 3, rows 6 and 4.
            const QPoint from(3 * 40 + 20, 6 * 40 + 20);
            const QPoint to(3 * 40 + 20, 4 * 40 + 20);
            QTest::mouseClick(board, Qt::LeftButton, Qt::NoModifier, from);
            QTest::mouseClick(board, Qt::LeftButton, Qt::NoModifier, to);
            if (board->Premove() != "E7E5") {
                std::fprintf(stderr, "no premove was queued\n");
                return 1;
            }
            moveClock.sentAt = 0;
            moveClock.clock.start();
            speaker->PostMessage(Chunk("114 12 beta E2E4\r\n"));
            while (moveClock.sentAt == 0) {
                app.processEvents(QEventLoop::AllEvents);
                if (moveClock.clock.elapsed() > 5000) {
                    std::fprintf(stderr, "the premove was not sent\n");
                    complete = false;
                    break;
                }
            }
            if (complete)
                samples.push_back(static_cast<double>(moveClock.sentAt) / 1e6);
            delete window;
        }
        SetSpeakerLink(nullptr);
        if (samples.empty())
            return 1;
        std::printf("Premove, from the opponent's 114 line to our MOVE line, %zu moves:\n",
                    samples.size());
        Report(samples, 1.0, true);
    }
    kit::ShutDownGui();
    return complete ? 0 : 1;
}
