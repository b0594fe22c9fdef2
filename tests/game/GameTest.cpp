// The game windows, their board and dialogs, in a session whose replies go
// through the real reply handlers. A whole game played by two clients
// through the real server is the end-to-end suite's; these are the paths
// it cannot reach: refusals, draws, a hostile or vanishing server, and the
// promotion choice interrupted.

#include "GameFixture.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/MyGames.h"
#include "game/ChooseColorWindow.h"
#include "game/ChoosePromotionWindow.h"
#include "game/MoveList.h"
#include "game/PlayerName.h"
#include "game/SoundSystem.h"
#include "lobby/BrowserWindow.h"
#include "widgets/StatusView.h"
#include "widgets/UserPanel.h"
#include "xml/UserSettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QWindow>

#include <thread>

namespace {

using GameTest = GameFixture;
using Texts = std::vector<std::string>;

// Moves that bring a white pawn to E7 with E8 empty, White to move.
const Texts kPawnOnE7 = {"D2D4", "E7E5", "D4E5", "E8E7", "E5E6", "E7F6", "E6E7", "F6G6"};

} // namespace

// Nothing can be picked up out of turn, from an empty square or the other
// side, by a watcher, or once the game has a result; the board's cells map
// to the squares as seen from the user's side.
TEST_F(GameTest, TheBoardRefusesPiecesThatAreNotTheUsersToMove)
{
    GameWindow* white = OpenPlayed(CGC_WHITE, "1");
    GameWindow* black = OpenPlayed(CGC_BLACK, "2");
    GameWindow* watched = OpenWatched("", "3");
    GameWindow* ended = OpenPlayed(CGC_WHITE, "4");
    ended->SetWinner("Game Aborted by Black.");
    const std::vector<std::tuple<const char*, GameWindow*, const char*>> refusals = {
        {"out of turn", black, "E7"}, {"empty square", white, "E4"},   {"opponent's", white, "E7"},
        {"watcher", watched, "E2"},   {"after a result", ended, "E2"},
    };
    const std::string watcherStatus = watched->Status()->Message();
    for (const auto& [what, window, square] : refusals) {
        ChessView* board = window->Board();
        QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, Centre(square, board->Color()));
        EXPECT_EQ(board->DragBox(), -1) << what;
        QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, QPoint(-5, -5));
    }
    EXPECT_EQ(watched->Status()->Message(), watcherStatus) << "a watcher is told nothing";
    QTest::mousePress(white->Board(), Qt::LeftButton, Qt::NoModifier, Centre("E2", CGC_WHITE));
    EXPECT_NE(white->Board()->DragBox(), -1);
    QTest::mouseRelease(white->Board(), Qt::LeftButton, Qt::NoModifier, QPoint(-5, -5));

    char move[5] = {};
    black->Board()->PointsToMove(QPoint(5, 5), QPoint(45, 5), move);
    EXPECT_STREQ(move, "H1G1");
    white->Board()->PointsToMove(QPoint(100, 300), QPoint(100, 220), move);
    EXPECT_STREQ(move, "C1C3");
}

// A drop on the piece's own square or off the board sends nothing; a drop
// the engine refuses still goes to the server, which judges it again.
TEST_F(GameTest, OnlyADropOnAnotherSquareSendsAMove)
{
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE);
    Drag(window->Board(), "G1", "G1");
    Drag(window->Board(), "G1", "");
    Drag(window->Board(), "E1", "E3");
    EXPECT_TRUE(session.WaitForLine("MOVE 12 E1E3 \r\n"));
    EXPECT_EQ(session.LinesStartingWith("MOVE"), Texts{"MOVE 12 E1E3 \r\n"});
    EXPECT_EQ(PieceAt(window, "E1"), 'K');
}

TEST_F(GameTest, ADrawMakesBothPanelsBlinkWithItsOwnTextAndSound)
{
    const std::vector<std::pair<Texts, std::string>> cases = {
        {{"G1F3", "G8F6", "F3G1", "F6G8", "G1F3", "G8F6", "F3G1", "F6G8", "G1F3"},
         "Draw. Position Repeated Three Times."},
        {{"E2E3", "A7A5", "D1H5", "A8A6", "H5A5", "H7H5", "H2H4", "A6H6", "A5C7", "F7F6", "C7D7",
          "E8F7", "D7B7", "D8D3", "B7B8", "D3H7", "B8C8", "F7G6", "C8E6"},
         "Stalemate."},
    };
    for (const auto& [moves, text] : cases) {
        Sounds().Clear();
        GameWindow* window = OpenPlayed(CGC_WHITE);
        Moves(window, moves, true);
        EXPECT_EQ(window->Winner(), text);
        EXPECT_EQ(window->WhoIsWinner(), "draw");
        EXPECT_TRUE(window->BlackPanel()->IsBlinking() && window->WhitePanel()->IsBlinking());
        EXPECT_FALSE(window->WhitePanel()->ShowsWinnerMarker());
        EXPECT_EQ(Sounds().Played().back(), "draw.wav");
    }
}

// Names come from the network: shown as typed, never as markup or with the
// title's placeholder processing.
TEST_F(GameTest, PlayerNamesAreShownAsTyped)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    window->SetWhitePlayer("a[*]b");
    window->SetBlackPlayer("<i>c</i>");
    EXPECT_EQ(window->windowHandle()->title(), "a[*]b v. <i>c</i>");
    EXPECT_EQ(PlayerName::PlainText("<b>bob</b>"), QString("<b>bob</b>"));
    EXPECT_EQ(PlayerName::PlainText("a\nb\rc\td"), QString("a b c d"));
}

TEST_F(GameTest, OnlyChatForThisGameReachesItsPanel)
{
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    for (const char* id : {"7", "", "12"}) {
        BMessage message(MSG_GAME_CHAT);
        message.AddString("user", "beta");
        if (*id != '\0')
            message.AddString("game_id", id);
        message.AddString("message", std::string("to game ") + id);
        MessageRepeater::Instance()->PostMessage(message);
    }
    QPlainTextEdit* log = window->Chat()->Log();
    ASSERT_TRUE(WaitFor([&] { return log->toPlainText().contains("12"); }));
    EXPECT_EQ(log->toPlainText().trimmed(), "beta: to game 12");
}

// The promotion choice interrupted: closing the dialog, closing the window,
// or the opponent leaving meanwhile sends no move and changes no square.
TEST_F(GameTest, AnInterruptedPromotionChoiceSendsNoMove)
{
    const std::vector<std::pair<const char*, std::function<void(ServerSession&, GameWindow*)>>>
        cases = {
            {"dialog closed", {}},
            {"window closed", [](ServerSession&, GameWindow* window) { window->close(); }},
            {"game aborted",
             [](ServerSession& session, GameWindow* window) {
                 session.Reply("601 12 0");
                 EXPECT_TRUE(WaitFor([&] { return !window->Winner().empty(); }));
             }},
        };
    for (const auto& [what, interrupt] : cases) {
        ServerSession session;
        GameWindow* window = OpenPlayed(CGC_WHITE);
        QPointer<GameWindow> guard(window);
        Moves(window, kPawnOnE7);
        const std::string before = BoardText(window);
        bool dialogStayed = false;
        AnswerNextModal("", [&](QWidget* dialog) {
            if (interrupt) {
                interrupt(session, window);
                dialogStayed = dialog->isVisible();
            }
        });
        Drag(window->Board(), "E7", "E8");
        EXPECT_FALSE(dialogStayed) << what;
        if (std::string(what) == "window closed") {
            EXPECT_TRUE(session.WaitForLine("ABORT 12 \r\n"));
            EXPECT_TRUE(WaitFor([&] { return guard.isNull(); }));
        } else {
            EXPECT_FALSE(window->Board()->IsChoosingPromotion()) << what;
            EXPECT_EQ(BoardText(window), before) << what;
        }
        EXPECT_TRUE(session.LinesStartingWith("MOVE").empty()) << what;
        delete guard.data();
    }

    // A move from the server without its promotion piece is not applied,
    // whatever the side to move chooses when asked.
    ServerSession session;
    GameWindow* window = OpenPlayed(CGC_WHITE);
    Moves(window, kPawnOnE7);
    const std::string before = BoardText(window);
    bool asked = false;
    AnswerNextModal("rook", [&](QWidget*) { asked = true; });
    session.Reply("114 12 alpha E7E8");
    ASSERT_TRUE(WaitFor([&] { return asked && !window->Board()->IsChoosingPromotion(); }));
    EXPECT_EQ(BoardText(window), before);
}

// A game the server no longer has, or whose connection went, stays on the
// screen but takes no more moves, and its closing sends nothing.
TEST_F(GameTest, AGameThatIsGoneTakesNoMoreMoves)
{
    const std::vector<std::pair<const char*, std::function<void(ServerSession&)>>> cases = {
        {"no such game", [](ServerSession& session) { session.Reply("406 12 :no such game"); }},
        {"server gone", [](ServerSession& session) { session.DropConnection(); }},
    };
    for (const auto& [what, end] : cases) {
        ServerSession session("alpha");
        GameWindow* window = OpenPlayed(CGC_WHITE, "12");
        QPointer<GameWindow> guard(window);
        const std::string status = window->Status()->Message();
        end(session);
        ASSERT_TRUE(WaitFor([&] { return window->Status()->Message() != status; })) << what;
        EXPECT_EQ(MyGames::Instance()->GetGameReference("12"), nullptr) << what;
        const std::string before = BoardText(window);
        Drag(window->Board(), "G1", "F3");
        EXPECT_EQ(BoardText(window), before) << what;
        window->close();
        ASSERT_TRUE(WaitFor([&] { return guard.isNull(); })) << what;
        QTest::qWait(100);
        EXPECT_TRUE(session.LinesStartingWith("MOVE").empty()) << what;
        EXPECT_TRUE(session.LinesStartingWith("ABORT").empty()) << what;
    }
}

// A logout closes the game windows, which abort their games, then resets.
TEST_F(GameTest, ALogoutAbortsTheOpenGamesBeforeTheReset)
{
    ServerSession session("alpha");
    QPointer<GameWindow> guard(OpenPlayed(CGC_WHITE, "12"));
    BrowserWindow::Instance()->PostMessage(MSG_LOGOUT);
    EXPECT_TRUE(WaitFor([&] { return guard.isNull(); }));
    EXPECT_EQ(session.speaker.resets, 1);
    EXPECT_EQ(session.LinesStartingWith("ABORT"), Texts{"ABORT 12 \r\n"});
    // Gone without closing, which would ask the application to quit.
    for (QWidget* login : QApplication::topLevelWidgets())
        if (login->objectName() == "login")
            delete login;
}

TEST_F(GameTest, TheGameDialogsSendWhatWasChosen)
{
    ServerSession session;
    const std::vector<std::tuple<const char*, const char*, const char*>> cases = {
        {nullptr, "white-rook", "MAKE 1 :Let's Play! \r\n"},
        {"", "black-rook", "MAKE 0 \r\n"},
        {"  slow game, please ", "black-rook", "MAKE 0 :  slow game, please  \r\n"},
        {"never sent", "cancel", nullptr},
    };
    int started = 0;
    for (const auto& [description, button, line] : cases) {
        QPointer<ChooseColorWindow> dialog = new ChooseColorWindow();
        dialog->Show();
        if (description != nullptr)
            dialog->findChild<QLineEdit*>("description")->setText(description);
        // Enter in the description neither closes the dialog nor sends.
        QTest::keyClick(dialog->findChild<QLineEdit*>("description"), Qt::Key_Return);
        ASSERT_FALSE(dialog.isNull());
        dialog->findChild<QAbstractButton*>(button)->click();
        EXPECT_TRUE(WaitFor([&] { return dialog.isNull(); })) << button;
        if (line != nullptr) {
            EXPECT_TRUE(session.WaitForLine(line)) << button;
        }
        EXPECT_EQ(MyGames::Instance()->NumStarted(), line != nullptr ? ++started : started);
    }
    EXPECT_EQ(session.LinesStartingWith("MAKE").size(), 3u);

    for (const auto& [side, button, letter] : std::vector<std::tuple<int32, const char*, char>>{
             {CGC_BLACK, "knight", 'N'}, {CGC_WHITE, "bishop", 'B'}, {CGC_WHITE, "", 0}}) {
        ChoosePromotionWindow dialog(side);
        AnswerNextModal(button);
        dialog.exec();
        EXPECT_EQ(dialog.Result(), letter) << button;
    }
}

// Each request carries its own sound flag, whatever other threads ask; a
// missing file silences only its own sound.
TEST(Sound, RequestsAndMissingFiles)
{
    SoundSystem::ResetForTests();
    SoundSystem* sounds = SoundSystem::Instance();
    Sounds().Clear();
    std::thread silent([&] {
        for (int i = 0; i < 200; ++i)
            sounds->PlayPieceMoved(false);
    });
    for (int i = 0; i < 200; ++i)
        sounds->PlayCheck(true);
    silent.join();
    EXPECT_EQ(Sounds().Played(), Texts(200, "check.wav"));

    Sounds().Clear();
    sounds->EnableSound(false);
    sounds->PlayGameAborted();
    sounds->EnableSound(true);
    sounds->PlayGameAborted();
    EXPECT_EQ(Sounds().Played(), Texts{"game-aborted.wav"});

    // The user's switch and volume apply from the next sound on.
    Sounds().Clear();
    UserSettings::Instance()->SetData("sounds", "off");
    sounds->PlayCheck();
    UserSettings::Instance()->SetData("sounds", "on");
    UserSettings::Instance()->SetData("sound-volume", "35");
    sounds->PlayDraw();
    UserSettings::Instance()->SetData("sound-volume", "");
    EXPECT_EQ(Sounds().Played(), Texts{"draw.wav"});
    EXPECT_FLOAT_EQ(Sounds().Volume(), 0.35f);

    const std::string draw = AppLocation::Instance()->AbsolutePath("resources/sounds/draw.wav");
    ASSERT_EQ(std::rename(draw.c_str(), (draw + ".away").c_str()), 0);
    SoundSystem::ResetForTests();
    Sounds().Clear();
    SoundSystem::Instance()->PlayDraw();
    SoundSystem::Instance()->PlayPieceMoved();
    EXPECT_EQ(Sounds().Played(), Texts{"piece-moved.wav"});
    ASSERT_EQ(std::rename((draw + ".away").c_str(), draw.c_str()), 0);
    SoundSystem::ResetForTests();
}

TEST_F(GameTest, AStoredGameIsReviewedUpToItsFirstUnplayableMove)
{
    const struct
    {
        std::vector<std::string> moves;
        int shown;
        const char* note; // a part of the note, or empty for none
    } rows[] = {
        {{"E2E4", "E7E5", "G1F3", "B8C6", "F1C4", "F8C5", "O-O"}, 7, ""},
        {{"E2E4", "E7E5", "Z9Z9", "D2D4"}, 2, "move 2. Z9Z9"},
        {{"E2E4", "D7D5", "E4D5", "E8E7"}, 3, "move 2... E8E7"},
        {{"E2E4", "E7E5", "E2E4\x09overlong", "D2D4"}, 2, "move 2. E2E4\x09ov"},
        {{"", "E2E4"}, 0, "move 1. ;"},
    };
    for (const auto& row : rows) {
        game* record = cgc_create_seated_game();
        PgnFacts facts;
        facts.white = "alice";
        facts.black = "bob";
        auto* window = Open(new GameWindow("7", record, row.moves, facts));
        EXPECT_EQ(window->Moves()->Count(), row.shown) << row.note;
        const std::string note = window->Moves()->findChild<QLabel*>("note")->text().toStdString();
        EXPECT_NE(note.find(row.note), std::string::npos) << note;
        EXPECT_EQ(note.empty(), *row.note == 0) << note;
        EXPECT_FALSE(MyGames::Instance()->GetGameReference("7"));
        // The keys step through what could be read, and End returns.
        window->show();
        window->activateWindow();
        for (auto [key, shown] : {std::pair{Qt::Key_Home, 0},
                                  {Qt::Key_Right, 1},
                                  {Qt::Key_Left, 0},
                                  {Qt::Key_End, row.shown}}) {
            QTest::keyClick(window, key);
            EXPECT_EQ(window->Moves()->Shown(), std::min(shown, row.shown)) << key;
        }
        window->close();
    }
}

// An absent player's time to return counts down in the status line until
// the player is back or the game ends.
TEST_F(GameTest, AnAbsentPlayersTimeToReturnCountsDownUntilTheReturnOrTheEnd)
{
    for (const char* end : {"141 12 bravo back", "119 12 : Black left the server and loses. 1-0"}) {
        ServerSession session("alpha");
        session.Reply("130 resume");
        GameWindow* window = OpenPlayed(CGC_WHITE, "12");
        const std::string before = window->Status()->Message();
        const std::string away = "bravo lost the connection; ";
        session.Reply("141 12 bravo 2");
        ASSERT_TRUE(WaitFor([&] { return window->Status()->Message() == away + "2 s to return"; }));
        ASSERT_TRUE(WaitFor([&] { return window->Status()->Message() == away + "1 s to return"; }));
        session.Reply(end);
        QTest::qWait(1500);
        EXPECT_EQ(window->Status()->Message(), end[1] == '4' ? "bravo is back" : before) << end;
    }
}

// A move that went with the connection is sent again when the game comes back.
TEST_F(GameTest, AMoveLostWithTheConnectionIsSentAgainWhenTheGameComesBack)
{
    ServerSession session("alpha");
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    Drag(window->Board(), "E2", "E4");
    window->ConnectionLost();
    session.Reply("120 12 bravo alpha :");
    ASSERT_TRUE(WaitFor([&] { return session.LinesStartingWith("MOVE").size() == 2; }));
    EXPECT_TRUE(window->TakesMoves());
}
