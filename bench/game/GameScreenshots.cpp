// Saves pictures of the game windows and dialogs as the program draws them
// with its real resources, for a look by eye: a game in progress from
// White's and from Black's side, one between players with the longest
// names, a finished game with its banner, the game creation dialog (also
// as the whole screen shows it, window manager frame and title included)
// and the promotion dialog; with a server that keeps clocks: a timed game
// from both sides, a clock under ten seconds, a draw offer as the opponent
// sees it and the question before resigning.
//
// Usage: game_screenshots <output directory>   (writes the coordinates setting)
// Run it under a display (for example xvfb-run) or on the offscreen platform.

#include "app/AppLocation.h"
#include "cgc/cgc.h"
#include "game/ChessView.h"
#include "game/ChooseColorWindow.h"
#include "game/ChoosePromotionWindow.h"
#include "game/GameActions.h"
#include "game/GameWindow.h"
#include "game/QtSoundOutput.h"
#include "kit/SoundOutput.h"
#include "net/Features.h"
#include "widgets/UserPanel.h"
#include "xml/UserSettings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Settle(QApplication& app, int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        app.processEvents(QEventLoop::AllEvents, 10);
}

void Moves(GameWindow* window, const std::vector<std::string>& moves)
{
    for (const std::string& move : moves) {
        char buffer[8] = {};
        move.copy(buffer, 7);
        window->MakeMove(buffer, false);
    }
}

GameWindow* Open(QApplication& app, const std::string& id, int32 colour,
                 const std::vector<std::string>& moves, const std::string& whiteName = "alpha",
                 const std::string& blackName = "beta")
{
    game* record = cgc_create_seated_game();
    auto* window = new GameWindow(id, record, colour);
    window->Show();
    window->SetWhitePlayer(whiteName);
    window->SetBlackPlayer(blackName);
    window->SetStatus(colour == CGC_WHITE ? "you are logged in as alpha and playing as white"
                                          : "you are logged in as beta and playing as black");
    Moves(window, moves);
    window->Chat()->ReceivedMessage("beta", "", "good luck!");
    window->Chat()->ReceivedMessage("alpha", "", "you too");
    Settle(app, 300);
    return window;
}

bool Save(QWidget* widget, const QString& path)
{
    bool saved = widget->grab().save(path);
    std::printf("%s %s\n", saved ? "saved" : "FAILED", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    AppLocation::Instance()->SetExecutableCall(argv[0]);
    QApplication app(argc, argv);
    kit::SetSoundOutput(std::make_shared<QtSoundOutput>());
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(".");
    bool ok = true;

    const std::vector<std::string> opening = {"E2E4", "E7E5", "G1F3", "B8C6", "F1B5", "A7A6"};
    GameWindow* white = Open(app, "12", CGC_WHITE, opening);
    ok &= Save(white, out.filePath("game-white.png"));
    GameWindow* black = Open(app, "13", CGC_BLACK, opening);
    ok &= Save(black, out.filePath("game-black.png"));

    // Names of 16 characters, the most the server takes, in wide letters.
    GameWindow* longNames = Open(app, "15", CGC_WHITE, {}, "WWWWWWWWWWWWWWWW", "mmmmmmmmmmmmmmmm");
    ok &= Save(longNames, out.filePath("game-long-names.png"));

    GameWindow* finished =
        Open(app, "14", CGC_WHITE, {"E2E4", "E7E5", "F1C4", "B8C6", "D1H5", "G8F6", "H5F7"});
    ok &= Save(finished, out.filePath("game-finished.png"));
    // Half a period later the winner's panel shows the other colouring.
    Settle(app, 550);
    ok &= Save(finished, out.filePath("game-finished-blink.png"));

    auto* create = new ChooseColorWindow();
    create->Show();
    Settle(app, 500);
    ok &= Save(create, out.filePath("dialog-create.png"));
    // The screen, as the window manager frames the dialog.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect frame = create->frameGeometry().adjusted(-10, -10, 10, 10);
        const bool saved =
            screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                .save(out.filePath("dialog-create-screen.png"));
        std::printf("%s %s\n", saved ? "saved" : "FAILED",
                    qPrintable(out.filePath("dialog-create-screen.png")));
        ok &= saved;
    }
    create->Quit();

    ChoosePromotionWindow promotion(CGC_WHITE);
    promotion.show();
    Settle(app, 200);
    ok &= Save(&promotion, out.filePath("dialog-promotion.png"));
    ChoosePromotionWindow blackPromotion(CGC_BLACK);
    blackPromotion.show();
    Settle(app, 200);
    ok &= Save(&blackPromotion, out.filePath("dialog-promotion-black.png"));

    // The board's marks: a picked-up piece with its destinations, a check,
    // a queued premove, the board without coordinates, a watcher's board
    // turned round, and the window filling the screen.
    GameWindow* picked = Open(app, "16", CGC_WHITE, {"E2E4", "D7D5"});
    QTest::mouseClick(picked->Board(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(4 * 40 + 20, 4 * 40 + 20));
    Settle(app, 100);
    ok &= Save(picked, out.filePath("board-picked-up.png"));
    GameWindow* check = Open(app, "17", CGC_BLACK, {"E2E4", "D7D5", "F1B5"});
    ok &= Save(check, out.filePath("board-check.png"));
    GameWindow* premove = Open(app, "18", CGC_BLACK, {"E2E4", "C7C5"});
    QTest::mouseClick(premove->Board(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(1 * 40 + 20, 7 * 40 + 20));
    QTest::mouseClick(premove->Board(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(2 * 40 + 20, 5 * 40 + 20));
    Settle(app, 100);
    ok &= Save(premove, out.filePath("board-premove.png"));
    UserSettings::Instance()->SetData("coordinates", "off");
    check->Board()->ResetSkin();
    Settle(app, 100);
    ok &= Save(check, out.filePath("board-no-coordinates.png"));
    UserSettings::Instance()->SetData("coordinates", "on");
    game* record = cgc_create_seated_game();
    auto* watched = new GameWindow("19", record, "E2E4 C7C5 G1F3 D7D6 ");
    watched->Show();
    watched->SetWhitePlayer("alpha");
    watched->SetBlackPlayer("beta");
    watched->Board()->Flip();
    Settle(app, 300);
    ok &= Save(watched, out.filePath("board-watched-flipped.png"));
    picked->showMaximized();
    Settle(app, 800);
    ok &= Save(picked, out.filePath("game-maximised.png"));

    // The same games timed, as a server with the optional features shows them.
    Features::SetSupported({"clock", "resign", "draw", "abort", "rematch"});
    GameWindow* timedWhite = Open(app, "26", CGC_WHITE, opening);
    timedWhite->SetClocks(167400, 171900, CGC_WHITE);
    Settle(app, 300);
    ok &= Save(timedWhite, out.filePath("timed-white.png"));
    GameWindow* timedBlack = Open(app, "27", CGC_BLACK, opening);
    timedBlack->SetClocks(167400, 171900, CGC_WHITE);
    timedBlack->DrawOfferChanged(CGC_WHITE, "offer");
    Settle(app, 300);
    ok &= Save(timedBlack, out.filePath("timed-black-draw-offered.png"));
    timedWhite->SetClocks(8300, 61200, CGC_WHITE);
    Settle(app, 300);
    ok &= Save(timedWhite, out.filePath("timed-low-clock.png"));
    timedWhite->Actions()->AskToResign({});
    Settle(app, 300);
    if (QMessageBox* question = timedWhite->Actions()->Question())
        ok &= Save(question, out.filePath("resign-question.png"));
    auto* timedCreate = new ChooseColorWindow();
    timedCreate->Show();
    Settle(app, 300);
    ok &= Save(timedCreate, out.filePath("dialog-create-timed.png"));
    timedCreate->Quit();
    timedWhite->GameEnded("White forfeits on time.", "black");
    Settle(app, 300);
    ok &= Save(timedWhite, out.filePath("timed-flag-fallen.png"));

    delete timedWhite;
    delete timedBlack;
    delete white;
    delete black;
    delete longNames;
    delete finished;
    delete picked;
    delete check;
    delete premove;
    delete watched;
    return ok ? 0 : 1;
}
