#include "GameFixture.h"

#include "app/MyGames.h"
#include "xml/UserSettings.h"

#include <QApplication>
#include <QTest>

#include <cstdlib>

void GameFixture::SetUp()
{
    // A settings file and a registry of its own for every test.
    ASSERT_TRUE(fSettings.isValid());
    setenv("XDG_CONFIG_HOME", fSettings.path().toUtf8().constData(), 1);
    UserSettings::ResetForTests();
    MyGames::Instance()->ResetForTests();
    testing_support::Sounds().Clear();
    fWatchdog = std::make_unique<QTimer>();
    fWatchdog->setSingleShot(true);
    QObject::connect(fWatchdog.get(), &QTimer::timeout, [] {
        ADD_FAILURE() << "watchdog: the test ran too long";
        while (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    fWatchdog->start(30000);
}

void GameFixture::TearDown()
{
    fWatchdog->stop();
    for (QPointer<GameWindow>& window : fWindows)
        delete window.data();
    fWindows.clear();
}

game* GameFixture::NewRecord()
{
    game* record = cgc_create_game();
    cgc_join_game(record, CGC_WHITE);
    cgc_join_game(record, CGC_BLACK);
    return record;
}

GameWindow* GameFixture::Track(GameWindow* window)
{
    fWindows.emplace_back(window);
    return window;
}

GameWindow* GameFixture::OpenPlayed(int32 colour, const std::string& id)
{
    GameWindow* window = Track(new GameWindow(id, NewRecord(), colour));
    window->Show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    return window;
}

GameWindow* GameFixture::OpenWatched(const std::string& moves, const std::string& id)
{
    GameWindow* window = Track(new GameWindow(id, NewRecord(), moves));
    window->Show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    return window;
}

void GameFixture::Moves(GameWindow* window, const std::vector<std::string>& moves, bool sound)
{
    for (const std::string& move : moves) {
        char buffer[8] = {};
        move.copy(buffer, 7);
        window->MakeMove(buffer, sound);
    }
}

QPoint GameFixture::Centre(const std::string& square, int32 colour)
{
    const int file = square[0] - 'A';
    const int rank = square[1] - '1';
    int column = file;
    int row = 7 - rank;
    if (colour == CGC_BLACK) {
        column = 7 - file;
        row = rank;
    }
    return QPoint(column * 40 + 20, row * 40 + 20);
}

void GameFixture::Drag(ChessView* board, QPoint from, QPoint to)
{
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(board, (from + to) / 2);
    QTest::mouseMove(board, to);
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, to);
}

std::string GameFixture::BoardText(GameWindow* window)
{
    char text[CGC_BOARD_TEXT_LENGTH + 1];
    cgc_getboard(window->Game(), text);
    return text;
}

char GameFixture::PieceAt(GameWindow* window, const std::string& square)
{
    const int file = square[0] - 'A';
    const int rank = square[1] - '0';
    const int box = 8 * (8 - rank) + file;
    return BoardText(window)[box + box / 8];
}
