// The game windows in a session: what the board and the window send, and
// what the server's replies do to them through the real reply handlers.

#include "GameFixture.h"
#include "ServerSession.h"

#include "app/MessageCodes.h"
#include "app/MyGames.h"
#include "game/PlayerName.h"
#include "lobby/BrowserWindow.h"
#include "widgets/BubbleView.h"
#include "widgets/StatusView.h"

#include <QApplication>
#include <QTest>

using testing_support::AnswerNextModal;
using testing_support::IconColour;
using testing_support::PieceColour;
using testing_support::Sounds;
using testing_support::WaitFor;

namespace {

using GameProtocolTest = GameFixture;

using Played = std::vector<std::string>;

// Moves that bring a white pawn to E7 with E8 empty (the black king has
// walked away), White to move.
const std::vector<std::string> kPawnOnE7 = {"D2D4", "E7E5", "D4E5", "E8E7",
                                            "E5E6", "E7F6", "E6E7", "F6G6"};

GameWindow* WindowFor(const std::string& id)
{
    return dynamic_cast<GameWindow*>(MyGames::Instance()->GetGameReference(id));
}

} // namespace

TEST_F(GameProtocolTest, DragAndDropSendsTheMoveAndPassesTheTurn)
{
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    ChessView* board = window->Board();
    Drag(board, Centre("E2", CGC_WHITE), Centre("E4", CGC_WHITE));
    EXPECT_TRUE(session.WaitForLine("MOVE 12 E2E4 \r\n"));
    EXPECT_EQ(PieceAt(window, "E4"), 'P');
    EXPECT_EQ(window->Turn(), CGC_BLACK);
    EXPECT_EQ(Sounds().Played(), Played{"piece-moved.wav"});
    EXPECT_EQ(board->DragBox(), -1);

    // Black's reply comes from the server; the board is White's again.
    session.Reply("114 12 beta E7E5");
    ASSERT_TRUE(WaitFor([&] { return PieceAt(window, "E5") == 'p'; }));
    EXPECT_EQ(window->Turn(), CGC_WHITE);

    // A refused drop goes to the server all the same, which judges it again.
    Drag(board, Centre("E1", CGC_WHITE), Centre("E3", CGC_WHITE));
    EXPECT_TRUE(session.WaitForLine("MOVE 12 E1E3 \r\n"));
    EXPECT_EQ(PieceAt(window, "E1"), 'K');

    // Dropped back on its own square or off the board, a piece sends nothing.
    Drag(board, Centre("G1", CGC_WHITE), Centre("G1", CGC_WHITE) + QPoint(5, 5));
    Drag(board, Centre("G1", CGC_WHITE), QPoint(400, 100));
    Drag(board, Centre("G1", CGC_WHITE), Centre("F3", CGC_WHITE));
    EXPECT_TRUE(session.WaitForLine("MOVE 12 G1F3 \r\n"));
    EXPECT_EQ(session.LinesStartingWith("MOVE 12 G1").size(), 1u);
}

TEST_F(GameProtocolTest, APromotionDropSendsTheChosenPieceAndWaitsForTheServersReport)
{
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    Moves(window, kPawnOnE7);
    Sounds().Clear();
    QColor queenColour;
    std::string title;
    AnswerNextModal("queen", [&](QWidget* dialog) {
        title = dialog->windowTitle().toStdString();
        queenColour = IconColour(dialog->findChild<QWidget*>("queen"));
    });
    Drag(window->Board(), Centre("E7", CGC_WHITE), Centre("E8", CGC_WHITE));
    EXPECT_TRUE(session.WaitForLine("MOVE 12 E7E8Q \r\n"));
    EXPECT_EQ(title, "Choose Your Promoting Piece");
    EXPECT_EQ(queenColour, PieceColour("Standard", 'Q'));
    // Not applied until the server reports it.
    EXPECT_EQ(PieceAt(window, "E7"), 'P');
    EXPECT_EQ(PieceAt(window, "E8"), '-');
    EXPECT_EQ(window->Turn(), CGC_WHITE);
    EXPECT_TRUE(Sounds().Played().empty());

    session.Reply("114 12 alpha E7E8Q");
    ASSERT_TRUE(WaitFor([&] { return PieceAt(window, "E8") == 'Q'; }));
    EXPECT_EQ(PieceAt(window, "E7"), '-');
    EXPECT_EQ(window->Turn(), CGC_BLACK);
}

TEST_F(GameProtocolTest, ClosingThePromotionDialogAbandonsTheMove)
{
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    Moves(window, kPawnOnE7);
    const std::string before = BoardText(window);
    AnswerNextModal("");
    Drag(window->Board(), Centre("E7", CGC_WHITE), Centre("E8", CGC_WHITE));
    EXPECT_EQ(BoardText(window), before);
    EXPECT_FALSE(window->Board()->IsChoosingPromotion());
    // The next move is the first line the server sees from this game.
    Drag(window->Board(), Centre("A2", CGC_WHITE), Centre("A3", CGC_WHITE));
    EXPECT_TRUE(session.WaitForLine("MOVE 12 A2A3 \r\n"));
    EXPECT_EQ(session.LinesStartingWith("MOVE 12 E7").size(), 0u);

    // A move from the server that lacks its promotion piece asks the side to
    // move, and is not applied whatever is chosen.
    session.Reply("114 12 beta A7A6");
    ASSERT_TRUE(WaitFor([&] { return PieceAt(window, "A6") == 'p'; }));
    const std::string reported = BoardText(window);
    QColor rookColour;
    AnswerNextModal("rook", [&](QWidget* dialog) {
        rookColour = IconColour(dialog->findChild<QWidget*>("rook"));
    });
    session.Reply("114 12 alpha E7E8");
    ASSERT_TRUE(WaitFor([&] { return rookColour.isValid(); }));
    ASSERT_TRUE(WaitFor([&] { return !window->Board()->IsChoosingPromotion(); }));
    EXPECT_EQ(rookColour, PieceColour("Standard", 'R'));
    EXPECT_EQ(BoardText(window), reported);
}

TEST_F(GameProtocolTest, ClosingTheWindowDuringThePromotionChoiceAbandonsItAndThenCloses)
{
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    QPointer<GameWindow> guard(window);
    Moves(window, kPawnOnE7);
    AnswerNextModal("", [&](QWidget*) { window->close(); });
    Drag(window->Board(), Centre("E7", CGC_WHITE), Centre("E8", CGC_WHITE));
    EXPECT_TRUE(session.WaitForLine("ABORT 12 \r\n"));
    EXPECT_TRUE(WaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(session.LinesStartingWith("MOVE").size(), 0u);
}

// The opponent leaving while the user picks a piece ends the game: the
// dialog goes and no move is sent for a game that is over.
TEST_F(GameProtocolTest, AnAbortDuringThePromotionChoiceClosesTheDialog)
{
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    Moves(window, kPawnOnE7);
    const std::string before = BoardText(window);
    bool dialogStayed = true;
    AnswerNextModal("", [&](QWidget* dialog) {
        session.Reply("601 12 0");
        EXPECT_TRUE(WaitFor([&] { return !window->Winner().empty(); }));
        dialogStayed = dialog->isVisible();
    });
    Drag(window->Board(), Centre("E7", CGC_WHITE), Centre("E8", CGC_WHITE));
    EXPECT_FALSE(dialogStayed);
    EXPECT_FALSE(window->Board()->IsChoosingPromotion());
    EXPECT_EQ(window->Winner(), "Game Aborted by Black.");
    EXPECT_EQ(BoardText(window), before);
    EXPECT_EQ(session.LinesStartingWith("MOVE").size(), 0u);
}

TEST_F(GameProtocolTest, AGameAnnouncedForTheUserOpensItsWindowAndAMateEndsIt)
{
    ServerSession session("alpha");
    MyGames::Instance()->AddStarted();
    session.Reply("118 12 1 1 alpha beta :friendly");
    ASSERT_TRUE(WaitFor([] { return WindowFor("12") != nullptr; }));
    GameWindow* window = Track(WindowFor("12"));
    ASSERT_TRUE(WaitFor([&] { return window->isVisible(); }));
    EXPECT_EQ(window->Status()->Message(), "you are logged in as alpha and playing as black");
    EXPECT_EQ(window->Board()->Color(), CGC_BLACK);
    // Playing Black: Black's panel is the lower one.
    EXPECT_EQ(window->BlackPanel()->geometry().top(), 257);
    window->SetWhitePlayer("beta");
    window->SetBlackPlayer("alpha");
    EXPECT_EQ(window->windowTitle(), "beta v. alpha");
    Sounds().Clear();

    for (const char* move : {"E2E4", "E7E5", "F1C4", "B8C6", "D1H5", "G8F6", "H5F7"})
        session.Reply(std::string("114 12 x ") + move);
    ASSERT_TRUE(WaitFor([&] { return !window->Winner().empty(); }));
    EXPECT_EQ(window->Winner(), "White Mates.");
    EXPECT_EQ(window->WhoIsWinner(), "white");
    EXPECT_EQ(window->Turn(), CGC_WHITE);
    const Played played = Sounds().Played();
    ASSERT_EQ(played.size(), 7u);
    EXPECT_EQ(played.back(), "checkmate.wav");
    EXPECT_EQ(std::count(played.begin(), played.end(), "checkmate.wav"), 1);
    EXPECT_TRUE(window->WhitePanel()->IsBlinking());
    EXPECT_FALSE(window->BlackPanel()->IsBlinking());
    EXPECT_TRUE(window->WhitePanel()->ShowsWinnerMarker());
    EXPECT_FALSE(window->WhitePanel()->ShowsTurnMarker());
    EXPECT_FALSE(window->BlackPanel()->ShowsTurnMarker());
    EXPECT_EQ(window->Announcement()->Text().toStdString(), "White Mates.");

    // No piece can be picked up once the game is over.
    QTest::mousePress(window->Board(), Qt::LeftButton, Qt::NoModifier, Centre("A7", CGC_BLACK));
    EXPECT_EQ(window->Board()->DragBox(), -1);
    QTest::mouseRelease(window->Board(), Qt::LeftButton, Qt::NoModifier, Centre("A7", CGC_BLACK));

    // Closing still aborts the game on the server.
    window->close();
    EXPECT_TRUE(session.WaitForLine("ABORT 12 \r\n"));
    EXPECT_EQ(MyGames::Instance()->GetGameReference("12"), nullptr);
}

TEST_F(GameProtocolTest, AnAbortReportedByTheServerEndsTheGameWithItsSound)
{
    ServerSession session("alpha");
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    session.Reply("601 12 1");
    ASSERT_TRUE(WaitFor([&] { return !window->Winner().empty(); }));
    EXPECT_EQ(window->Winner(), "Game Aborted by White.");
    EXPECT_EQ(window->WhoIsWinner(), "aborted");
    EXPECT_TRUE(window->WhitePanel()->IsBlinking());
    EXPECT_TRUE(window->BlackPanel()->IsBlinking());
    EXPECT_EQ(Sounds().Played(), Played{"game-aborted.wav"});
}

TEST_F(GameProtocolTest, AWatchedGameOpensFromTheServerAndClosingStopsWatching)
{
    ServerSession session("alpha");
    MyGames::Instance()->AddWatchRequest("13");
    session.Reply("120 13 beta gamma :E2E4 E7E5 ");
    ASSERT_TRUE(WaitFor([] { return WindowFor("13") != nullptr; }));
    GameWindow* window = Track(WindowFor("13"));
    ASSERT_TRUE(WaitFor([&] { return window->isVisible(); }));
    EXPECT_TRUE(window->IsObserving());
    EXPECT_EQ(window->windowTitle(), "gamma v. beta");
    EXPECT_EQ(window->Board()->Color(), OBSERVER_COLOR);
    EXPECT_EQ(PieceAt(window, "E4"), 'P');
    EXPECT_EQ(window->BlackPanel()->geometry().top(), 32);
    // Only the last replayed move is heard, and no game start.
    EXPECT_EQ(Sounds().Played(), Played{"piece-moved.wav"});

    window->close();
    EXPECT_TRUE(session.WaitForLine("OBSERVE 13 off \r\n"));
    EXPECT_EQ(MyGames::Instance()->GetGameReference("13"), nullptr);
}

// A game the server no longer has, or whose connection went, stays on the
// screen but takes no more moves, and its closing sends nothing.
TEST_F(GameProtocolTest, AGameThatIsGoneTakesNoMoreMoves)
{
    struct Case
    {
        const char* name;
        std::function<void(ServerSession&)> end;
    };
    const std::vector<Case> cases = {
        {"no such game", [](ServerSession& session) { session.Reply("406 12 :no such game"); }},
        {"server gone", [](ServerSession& session) { session.DropConnection(); }},
    };
    for (const Case& c : cases) {
        ServerSession session("alpha");
        GameWindow* window = OpenPlayed(CGC_WHITE, "12");
        QPointer<GameWindow> guard(window);
        const std::string status = window->Status()->Message();
        c.end(session);
        ASSERT_TRUE(WaitFor([&] { return window->Status()->Message() != status; })) << c.name;
        EXPECT_EQ(MyGames::Instance()->GetGameReference("12"), nullptr) << c.name;

        const std::string before = BoardText(window);
        Drag(window->Board(), Centre("G1", CGC_WHITE), Centre("F3", CGC_WHITE));
        EXPECT_EQ(BoardText(window), before) << c.name;
        EXPECT_EQ(window->Turn(), CGC_WHITE) << c.name;
        window->close();
        ASSERT_TRUE(WaitFor([&] { return guard.isNull(); })) << c.name;
        QTest::qWait(100);
        EXPECT_TRUE(session.LinesStartingWith("MOVE").empty()) << c.name;
        EXPECT_TRUE(session.LinesStartingWith("ABORT").empty()) << c.name;
    }
}

// A logout closes the game windows, which abort their games, and resets
// the speaker.
TEST_F(GameProtocolTest, ALogoutAbortsTheOpenGamesBeforeTheConnectionCloses)
{
    ServerSession session("alpha");
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    QPointer<GameWindow> guard(window);
    BrowserWindow::Instance()->PostMessage(MSG_LOGOUT);
    EXPECT_TRUE(WaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(session.speaker.resets, 1);
    EXPECT_EQ(session.LinesStartingWith("ABORT"), std::vector<std::string>{"ABORT 12 \r\n"});
    // Gone without closing, which would ask the application to quit.
    for (QWidget* login : QApplication::topLevelWidgets())
        if (login->objectName() == "login")
            delete login;
}

TEST_F(GameProtocolTest, ClicksMoveAPieceAndARefusedMoveSaysWhy)
{
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    window->SetWhitePlayer("alpha");
    window->SetBlackPlayer("beta");
    ChessView* board = window->Board();
    struct Step
    {
        const char* reply; // the server's report before the clicks, or null
        std::vector<const char*> clicks;
        const char* sent;   // the MOVE line the clicks send, or null
        const char* status; // the status line afterwards
    };
    const Step steps[] = {
        {nullptr, {"E7"}, nullptr, ChessView::kNotYours},
        // A second click on the picked-up piece puts it down again.
        {nullptr, {"E2", "E2", "E4"}, nullptr, ChessView::kNotYours},
        {nullptr, {"G1", "F3"}, "MOVE 12 G1F3 \r\n", ""},
        // Another piece of one's own picks that one up instead.
        {"114 12 beta E7E5", {"B1", "F3", "E5"}, "MOVE 12 F3E5 \r\n", ""},
        {"114 12 beta D7D6", {"E5", "E3"}, "MOVE 12 E5E3 \r\n", ChessView::kNotLegal},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.clicks.front());
        if (step.reply != nullptr) {
            session.Reply(step.reply);
            ASSERT_TRUE(WaitFor([&] { return window->Turn() == CGC_WHITE; }));
        }
        const size_t before = session.speaker.lines.size();
        for (const char* square : step.clicks)
            QTest::mouseClick(board, Qt::LeftButton, Qt::NoModifier, Centre(square, CGC_WHITE));
        if (step.sent != nullptr)
            EXPECT_TRUE(session.WaitForLine(step.sent));
        else
            EXPECT_EQ(session.speaker.lines.size(), before);
        EXPECT_EQ(window->Status()->Message(), step.status);
    }
}

TEST_F(GameProtocolTest, APremoveIsSentWhenTheOpponentHasMovedOnlyIfStillLegal)
{
    ServerSession session;
    struct Case
    {
        const char* from;
        const char* to;
        const char* reply;
        const char* sent; // null: dropped (or cancelled), nothing sent
        Qt::Key cancel;   // pressed before the reply, Qt::Key_unknown for none
    };
    const Case cases[] = {
        {"D2", "D4", "E7E5", "MOVE 12 D2D4 \r\n", Qt::Key_unknown},
        {"E4", "E5", "E7E5", nullptr, Qt::Key_unknown},
        // Not legal when queued, legal once the opponent has moved.
        {"E4", "D5", "D7D5", "MOVE 12 E4D5 \r\n", Qt::Key_unknown},
        {"D1", "H5", "G7G6", nullptr, Qt::Key_Escape},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + c.to + " after " + c.reply);
        GameWindow* window = OpenPlayed(CGC_WHITE, "12");
        window->SetWhitePlayer("alpha");
        window->SetBlackPlayer("beta");
        Moves(window, {"E2E4"});
        ChessView* board = window->Board();
        Drag(board, Centre(c.from, CGC_WHITE), Centre(c.to, CGC_WHITE));
        EXPECT_EQ(board->Premove(), std::string(c.from) + c.to);
        if (c.cancel != Qt::Key_unknown)
            QTest::keyClick(board, c.cancel);
        session.Reply(std::string("114 12 beta ") + c.reply);
        if (c.sent != nullptr) {
            EXPECT_TRUE(session.WaitForLine(c.sent));
            EXPECT_EQ(window->Turn(), CGC_BLACK);
        } else {
            const std::string note = c.cancel == Qt::Key_unknown ? ChessView::kPremoveDropped : "";
            EXPECT_TRUE(WaitFor([&] { return window->Status()->Message() == note; }));
            QTest::qWait(20);
            EXPECT_EQ(window->Turn(), CGC_WHITE);
        }
        EXPECT_EQ(board->Premove(), "");
        EXPECT_EQ(session.LinesStartingWith("MOVE").size(), c.sent != nullptr ? 1u : 0u);
        delete window;
        session.speaker.lines.clear();
    }
}
