#pragma once
// A fixture that opens game windows on engine records with both seats
// taken, drives their boards with the mouse, and closes them at the end.
// Every test has a watchdog: a modal dialog still open after it fires is
// closed and the test fails.

#include "GameTestSupport.h"

#include "cgc/cgc.h"
#include "game/ChessView.h"
#include "game/GameWindow.h"

#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class GameFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    static game* NewRecord();
    // Opens and shows a window; the fixture closes it at the end.
    GameWindow* OpenPlayed(int32 colour, const std::string& id = "12");
    GameWindow* OpenWatched(const std::string& moves, const std::string& id = "12");
    GameWindow* Track(GameWindow* window);

    // Hands moves to the window as the server's reports do.
    static void Moves(GameWindow* window, const std::vector<std::string>& moves,
                      bool sound = false);

    // The middle of `square` ("E2") in the view, seen from `colour`'s side.
    static QPoint Centre(const std::string& square, int32 colour);
    // Presses at `from`, moves through the middle to `to` and releases there.
    static void Drag(ChessView* board, QPoint from, QPoint to);

    static std::string BoardText(GameWindow* window);
    // The letter on `square` of the engine's board.
    static char PieceAt(GameWindow* window, const std::string& square);

    std::vector<QPointer<GameWindow>> fWindows;
    std::unique_ptr<QTimer> fWatchdog;
    QTemporaryDir fSettings;
};
