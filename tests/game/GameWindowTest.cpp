#include "GameFixture.h"
#include "ServerSession.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "app/MyGames.h"
#include "game/PlayerName.h"
#include "widgets/BubbleView.h"
#include "widgets/StatusView.h"
#include "widgets/UserPanel.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QWindow>

using testing_support::Sounds;
using testing_support::WaitFor;

namespace {

class GameWindowTest : public GameFixture
{
};

using Played = std::vector<std::string>;

const std::vector<std::string> kScholarsMate = {"E2E4", "E7E5", "F1C4", "B8C6",
                                                "D1H5", "G8F6", "H5F7"};
// Knights out and back twice, then out again: the position after the ninth
// move is reached for the third time.
const std::vector<std::string> kKnightShuffle = {"G1F3", "G8F6", "F3G1", "F6G8", "G1F3",
                                                 "G8F6", "F3G1", "F6G8", "G1F3"};
// The shortest known stalemate; the sixth white move gives check.
const std::vector<std::string> kStalemate = {"E2E3", "A7A5", "D1H5", "A8A6", "H5A5", "H7H5", "H2H4",
                                             "A6H6", "A5C7", "F7F6", "C7D7", "E8F7", "D7B7", "D8D3",
                                             "B7B8", "D3H7", "B8C8", "F7G6", "C8E6"};

} // namespace

TEST_F(GameWindowTest, TheBoardTakesTheRoomInWholeSquaresAndTheWindowKeepsItsSize)
{
    GameWindow* window = OpenPlayed(CGC_BLACK);
    EXPECT_EQ(window->size(), QSize(650, 448));
    ChessView* board = window->Board();
    StatusView* status = window->Status();
    QWidget* chatFrame = window->Chat()->parentWidget();
    // The largest board of whole squares that leaves the panel column on
    // its right and the chat below it; the classic 40 when nothing more fits.
    const QSize sizes[] = {{650, 448},   {650, 600},   {1001, 700},
                           {1600, 1000}, {1920, 1080}, {900, 449}};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        window->resize(size);
        ASSERT_TRUE(WaitFor([&] { return window->size() == size; }));
        const int cell = board->CellSize();
        const QRect onWindow(board->mapTo(window, QPoint(0, 0)), board->size());
        EXPECT_EQ(board->size(), QSize(8 * cell, 8 * cell));
        const auto fits = [&](int c) {
            return 8 * c + 330 <= size.width() && 8 * c + 128 <= size.height();
        };
        EXPECT_TRUE(cell == 40 || fits(cell));
        EXPECT_FALSE(fits(cell + 1));
        EXPECT_EQ(onWindow.topLeft(), QPoint(10, 14));
        EXPECT_EQ(window->WhitePanel()->x(), onWindow.right() + 11);
        EXPECT_EQ(window->BlackPanel()->geometry().bottom(), onWindow.bottom() - 17);
        EXPECT_EQ(chatFrame->geometry().top(), onWindow.bottom() + 15);
        EXPECT_EQ(chatFrame->geometry().bottom() + 1,
                  std::max(size.height() - 6 - status->GetHeight(), chatFrame->geometry().top()));
        // Every square's middle is that square: the grid is exact.
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(board->PointToPiece(QPoint(i * cell + cell / 2, cell / 2)), "RNBKQBNR"[i]);
    }
    window->resize(780, 560);
    ASSERT_TRUE(WaitFor([&] { return window->width() == 780; }));
    window->close();
    GameWindow* next = OpenPlayed(CGC_WHITE, "13");
    EXPECT_EQ(next->size(), QSize(780, 560));
}

TEST_F(GameWindowTest, TitlePanelsAndChatFollowThePlayersAndTheStartIsHeard)
{
    ServerSession session("alpha");
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    UserPanel* chat = window->Chat();
    EXPECT_EQ(window->windowTitle(), "Awaiting Opponent");
    EXPECT_EQ(window->WhitePanel()->Text(), "...waiting...");
    EXPECT_EQ(window->BlackPanel()->Text(), "...waiting...");
    EXPECT_FALSE(chat->IsEnabled());

    // The user's own name does not bind the chat.
    window->SetWhitePlayer("alpha");
    EXPECT_EQ(window->windowTitle(), "Awaiting Opponent");
    EXPECT_EQ(chat->GameID(), "");
    EXPECT_FALSE(chat->IsEnabled());
    EXPECT_TRUE(Sounds().Played().empty());

    window->SetBlackPlayer("beta");
    EXPECT_EQ(window->windowTitle(), "alpha v. beta");
    EXPECT_EQ(window->WhitePanel()->Text(), "alpha");
    EXPECT_EQ(window->BlackPanel()->Text(), "beta");
    EXPECT_EQ(chat->GameID(), "12");
    EXPECT_TRUE(chat->IsEnabled());
    EXPECT_EQ(Sounds().Played(), Played{"event:Tolvar Game Started"});
    EXPECT_TRUE(window->IsUserPlaying("beta"));
    EXPECT_FALSE(window->IsUserPlaying("gamma"));

    // A repeat of the names sounds the start again.
    window->SetBlackPlayer("beta");
    EXPECT_EQ(Sounds().Played().size(), 2u);

    // A watched game never sounds it.
    Sounds().Clear();
    GameWindow* watched = OpenWatched("", "13");
    watched->SetWhitePlayer("gamma");
    watched->SetBlackPlayer("delta");
    EXPECT_TRUE(watched->Chat()->IsEnabled());
    EXPECT_EQ(watched->Chat()->GameID(), "13");
    EXPECT_TRUE(Sounds().Played().empty());
}

TEST_F(GameWindowTest, PlayerNamesReachTheTitleAsWritten)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    window->SetWhitePlayer("a[*]b");
    window->SetBlackPlayer("<i>c</i>");
    // The window system shows the title with Qt's placeholder processing.
    EXPECT_EQ(window->windowHandle()->title(), "a[*]b v. <i>c</i>");
    EXPECT_EQ(window->BlackPanel()->Text(), "<i>c</i>");
}

TEST_F(GameWindowTest, AReplayedWatchedGameIsHeardOnlyOnItsLastMove)
{
    GameWindow* window = OpenWatched("E2E4 E7E5 ");
    EXPECT_EQ(PieceAt(window, "E4"), 'P');
    EXPECT_EQ(PieceAt(window, "E5"), 'p');
    EXPECT_EQ(window->Turn(), CGC_WHITE);
    EXPECT_EQ(Sounds().Played(), Played{"piece-moved.wav"});
    // E7 is column 4, row 1 and E5 row 3 with White at the bottom.
    EXPECT_EQ(window->Board()->LastFrom(), 1 * 8 + 4);
    EXPECT_EQ(window->Board()->LastTo(), 3 * 8 + 4);

    // A move received right afterwards is heard again.
    Moves(window, {"G1F3"}, true);
    EXPECT_EQ(Sounds().Played(), (Played{"piece-moved.wav", "piece-moved.wav"}));

    // Without the final blank the last text is not a move; a leading blank is skipped.
    Sounds().Clear();
    GameWindow* partial = OpenWatched(" E2E4 E7E5", "13");
    EXPECT_EQ(PieceAt(partial, "E4"), 'P');
    EXPECT_EQ(PieceAt(partial, "E7"), 'p');
    EXPECT_EQ(partial->Turn(), CGC_BLACK);
    EXPECT_EQ(Sounds().Played(), Played{"piece-moved.wav"});
}

TEST_F(GameWindowTest, ADrawMakesBothPanelsBlinkWithItsOwnTextAndSound)
{
    struct DrawCase
    {
        const std::vector<std::string>* moves;
        const char* text;
    };
    const DrawCase cases[] = {{&kKnightShuffle, "Draw. Position Repeated Three Times."},
                              {&kStalemate, "Stalemate."}};
    for (const DrawCase& c : cases) {
        SCOPED_TRACE(c.text);
        Sounds().Clear();
        GameWindow* window = OpenPlayed(CGC_WHITE);
        Moves(window, *c.moves, true);
        EXPECT_EQ(window->Winner(), c.text);
        EXPECT_EQ(window->WhoIsWinner(), "draw");
        EXPECT_TRUE(window->BlackPanel()->IsBlinking());
        EXPECT_TRUE(window->WhitePanel()->IsBlinking());
        EXPECT_FALSE(window->BlackPanel()->ShowsWinnerMarker());
        EXPECT_FALSE(window->WhitePanel()->ShowsWinnerMarker());
        ASSERT_NE(window->Announcement(), nullptr);
        EXPECT_EQ(window->Announcement()->Text().toStdString(), c.text);
        EXPECT_EQ(Sounds().Played().back(), "draw.wav");
        delete window;
    }
    // The stalemate line passes a check on the way.
    const Played played = Sounds().Played();
    EXPECT_EQ(std::count(played.begin(), played.end(), "check.wav"), 1);
}

TEST_F(GameWindowTest, ALaterResultReplacesTheBannerBetweenThePanels)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    Moves(window, kScholarsMate);
    BubbleView* banner = window->Announcement();
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->geometry(), QRect(340, 165, 300, 21));
    EXPECT_EQ(banner->Text().toStdString(), "White Mates.");
    EXPECT_EQ(banner->Background(), QColor(0, 0, 255));
    EXPECT_EQ(banner->Foreground(), QColor(255, 255, 255));

    window->SetWhoIsWinner("aborted");
    window->SetWinner("Game Aborted by Black.");
    EXPECT_EQ(window->findChildren<QWidget*>("announcement").size(), 1);
    EXPECT_EQ(window->Announcement()->Text().toStdString(), "Game Aborted by Black.");
    EXPECT_EQ(window->Announcement()->geometry(), QRect(340, 165, 300, 21));
}

TEST_F(GameWindowTest, OnlyChatForThisGameReachesItsPanel)
{
    GameWindow* window = OpenPlayed(CGC_WHITE, "12");
    auto post = [](const char* gameId, const char* text) {
        BMessage message(MSG_GAME_CHAT);
        message.AddString("user", "beta");
        if (gameId != nullptr)
            message.AddString("game_id", gameId);
        message.AddString("message", text);
        MessageRepeater::Instance()->PostMessage(message);
    };
    post("7", "wrong game");
    post(nullptr, "no game");
    post("12", "hello");
    QPlainTextEdit* log = window->Chat()->Log();
    ASSERT_TRUE(WaitFor([&] { return log->toPlainText().contains("hello"); }));
    EXPECT_EQ(log->toPlainText().trimmed(), "beta: hello");
}

TEST_F(GameWindowTest, TheWindowJoinsAndLeavesTheRegistryAndTheBroadcast)
{
    const int targets = MessageRepeater::Instance()->CountTargets();
    GameWindow* window = Track(new GameWindow("12", NewRecord(), CGC_WHITE));
    EXPECT_EQ(MyGames::Instance()->GetGameReference("12"), window);
    EXPECT_EQ(MessageRepeater::Instance()->CountTargets(), targets + 1);
    delete window;
    EXPECT_EQ(MyGames::Instance()->GetGameReference("12"), nullptr);
    EXPECT_EQ(MessageRepeater::Instance()->CountTargets(), targets);
}
