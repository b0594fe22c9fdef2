// The board's own work: its size, flipping, the legal-move hints, moves by
// clicks and premoves.

#include "GameFixture.h"

#include "game/PlayerName.h"
#include "widgets/StatusView.h"
#include "widgets/UserPanel.h"

#include <QPushButton>
#include <QTest>

#include <map>
#include <set>

namespace {
using BoardTest = GameFixture;
} // namespace

// Flipped with the key or the button (twice is no flip at all), the board
// turns with its panels: cells, move texts and the upper panel follow.
TEST_F(BoardTest, FlippingTurnsCellsMovesAndPanels)
{
    const std::vector<std::tuple<int32, bool, char, const char*>> cases = {
        {CGC_BLACK, false, 'R', "H1G1"},      {CGC_WHITE, false, 'r', "A8B8"},
        {OBSERVER_COLOR, false, 'r', "A8B8"}, {CGC_BLACK, true, 'r', "A8B8"},
        {CGC_WHITE, true, 'R', "H1G1"},       {OBSERVER_COLOR, true, 'R', "H1G1"},
    };
    for (const auto& [colour, flipped, topLeft, topRow] : cases) {
        SCOPED_TRACE(testing::Message() << colour << (flipped ? " flipped" : ""));
        GameWindow* window = colour == OBSERVER_COLOR ? OpenWatched("") : OpenPlayed(colour);
        ChessView* board = window->Board();
        if (flipped) {
            window->FlipButton()->click();
            QTest::keyClick(board, Qt::Key_F);
            QTest::keyClick(board, Qt::Key_F);
        }
        EXPECT_EQ(board->PointToPiece(QPoint(5, 5)), topLeft);
        EXPECT_EQ(window->BlackPanel()->y() < window->WhitePanel()->y(), topLeft == 'r');
        char move[5] = {};
        board->PointsToMove(QPoint(5, 5), QPoint(45, 5), move);
        EXPECT_STREQ(move, topRow);
        delete window;
    }
}

TEST_F(BoardTest, ThePickedUpPiecesDotsAreTheEnginesLegalMovesWithPinsAndEnPassant)
{
    // White's knight on C3 is pinned by the bishop on B4; E5 may take D6
    // en passant. Seen from both sides, flipped and not.
    const std::vector<std::string> moves = {"E2E4", "E7E6", "D2D4", "F8B4",
                                            "B1C3", "G8E7", "E4E5", "D7D5"};
    for (const bool flipped : {false, true}) {
        SCOPED_TRACE(flipped);
        GameWindow* window = OpenPlayed(CGC_WHITE);
        Moves(window, moves);
        ChessView* board = window->Board();
        if (flipped)
            board->Flip();
        cgc_move legal[CGC_MAX_MOVES];
        const int count = cgc_legal_moves(window->Game(), legal, CGC_MAX_MOVES);
        std::map<int32, std::set<int32>> expected; // screen cells: from -> targets
        auto cell = [&](int file, int rank) {
            const int32 box = 8 * (7 - rank) + file;
            return flipped ? 63 - box : box;
        };
        for (int i = 0; i < count; ++i)
            expected[cell(legal[i].from_file, legal[i].from_rank)].insert(
                cell(legal[i].to_file, legal[i].to_rank));
        EXPECT_EQ(expected.count(cell(2, 2)), 0u) << "the pinned knight moves";
        EXPECT_EQ(expected[cell(4, 4)].count(cell(3, 5)), 1u) << "no en passant";
        for (int32 from = 0; from < 64; ++from) {
            const QPoint centre((from % 8) * 40 + 20, (from / 8) * 40 + 20);
            if (board->PointToPiece(centre) < 'A' || board->PointToPiece(centre) > 'Z')
                continue;
            QTest::mouseClick(board, Qt::LeftButton, Qt::NoModifier, centre);
            const std::vector<int32> hints = board->Hints();
            EXPECT_EQ(std::set<int32>(hints.begin(), hints.end()), expected[from]) << from;
            QTest::mouseClick(board, Qt::RightButton, Qt::NoModifier, centre);
            EXPECT_TRUE(board->Hints().empty());
        }
        delete window;
    }
}

TEST_F(BoardTest, TheBoardTakesTheRoomInWholeSquaresAndTheWindowKeepsItsSize)
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

TEST_F(BoardTest, ClicksMoveAPieceAndARefusedMoveSaysWhy)
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

TEST_F(BoardTest, APremoveIsSentWhenTheOpponentHasMovedOnlyIfStillLegal)
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
