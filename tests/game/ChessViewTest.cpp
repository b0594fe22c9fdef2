#include "GameFixture.h"

#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "game/PlayerName.h"
#include "xml/UserSettings.h"

#include <QPushButton>
#include <QTest>

#include <map>
#include <set>

using testing_support::BoardColour;
using testing_support::Grab;
using testing_support::PieceColour;
using testing_support::WaitFor;

namespace {

class ChessViewTest : public GameFixture
{
};

QColor PixelAt(ChessView* board, QPoint point)
{
    return testing_support::Pixel(Grab(board), point);
}

// The square colour of the "Standard" board under the cell with this point.
QColor SquareColour(QPoint point)
{
    return BoardColour("Standard", (point.x() / 40 + point.y() / 40) % 2 == 1);
}

struct OrientationCase
{
    int32 colour;
    bool flipped;
    char topLeft;        // piece letter drawn in the top-left cell
    char bottomRight;    // and in the bottom-right cell
    const char* topRow;  // PointsToMove((5, 5), (45, 5))
    const char* cColumn; // PointsToMove((100, 300), (100, 220))
};

} // namespace

TEST_F(ChessViewTest, OrientationCellMappingAndMoveTextsFollowTheUsersSide)
{
    const OrientationCase cases[] = {
        {CGC_BLACK, false, 'R', 'r', "H1G1", "F8F6"},
        {CGC_WHITE, false, 'r', 'R', "A8B8", "C1C3"},
        {OBSERVER_COLOR, false, 'r', 'R', "A8B8", "C1C3"},
        {CGC_BLACK, true, 'r', 'R', "A8B8", "C1C3"},
        {CGC_WHITE, true, 'R', 'r', "H1G1", "F8F6"},
        {OBSERVER_COLOR, true, 'R', 'r', "H1G1", "F8F6"},
    };
    for (const OrientationCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.colour << (c.flipped ? " flipped" : ""));
        GameWindow* window = c.colour == OBSERVER_COLOR ? OpenWatched("") : OpenPlayed(c.colour);
        ChessView* board = window->Board();
        // Flipped with the key or the button; twice is no flip at all.
        if (c.flipped) {
            window->FlipButton()->click();
            QTest::keyClick(board, Qt::Key_F);
            QTest::keyClick(board, Qt::Key_F);
        }
        EXPECT_EQ(PixelAt(board, QPoint(20, 20)), PieceColour("Standard", c.topLeft));
        EXPECT_EQ(PixelAt(board, QPoint(300, 300)), PieceColour("Standard", c.bottomRight));
        EXPECT_EQ(board->PointToPiece(QPoint(5, 5)), c.topLeft);
        // The panel of the side shown on top is the upper one.
        EXPECT_EQ(window->BlackPanel()->y() < window->WhitePanel()->y(), c.topLeft == 'r');

        char move[5] = {};
        board->PointsToMove(QPoint(5, 5), QPoint(45, 5), move);
        EXPECT_STREQ(move, c.topRow);
        board->PointsToMove(QPoint(100, 300), QPoint(100, 220), move);
        EXPECT_STREQ(move, c.cColumn);
        delete window;
    }
}

TEST_F(ChessViewTest, InitialStrengthsAreThirtyNineAndFollowCaptures)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    EXPECT_EQ(window->BlackStrength(), 39);
    EXPECT_EQ(window->WhiteStrength(), 39);
    // A pawn takes a knight: Black loses 3.
    Moves(window, {"E2E4", "G8F6", "E4E5", "D7D6", "E5F6"});
    EXPECT_EQ(window->BlackStrength(), 36);
    EXPECT_EQ(window->WhiteStrength(), 39);
}

TEST_F(ChessViewTest, PickUpIsRefusedOutOfTurnOnEmptyOrOpposingSquaresAndAfterAResult)
{
    GameWindow* white = OpenPlayed(CGC_WHITE, "1");
    GameWindow* black = OpenPlayed(CGC_BLACK, "2");
    GameWindow* watched = OpenWatched("", "3");

    struct Refusal
    {
        const char* what;
        GameWindow* window;
        const char* square;
    };
    const Refusal refusals[] = {
        {"black piece out of turn", black, "E7"},
        {"empty square", white, "E4"},
        {"opponent's piece", white, "E7"},
        {"spectator", watched, "E2"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        ChessView* board = r.window->Board();
        const QImage before = Grab(board);
        QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, Centre(r.square, board->Color()));
        EXPECT_EQ(board->DragBox(), -1);
        EXPECT_EQ(Grab(board), before);
        QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier,
                            Centre(r.square, board->Color()));
    }

    // Once a result is known the user's own piece stays put as well.
    white->SetWinner("Game Aborted by Black.");
    ChessView* board = white->Board();
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, Centre("E2", CGC_WHITE));
    EXPECT_EQ(board->DragBox(), -1);
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, Centre("E2", CGC_WHITE));
}

TEST_F(ChessViewTest, ADraggedPieceFollowsThePointerAtItsGrabOffsetAndLeavesItsSquareEmpty)
{
    GameWindow* window = OpenPlayed(CGC_BLACK);
    Moves(window, {"E2E4"});
    ChessView* board = window->Board();
    // Grab the black pawn on D7 (from Black's side: column 4, row 6) off-centre.
    const QPoint grab(4 * 40 + 13, 6 * 40 + 27);
    ASSERT_EQ(board->PointToPiece(grab), 'p');
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, grab);
    EXPECT_EQ(board->DragBox(), 6 * 8 + 4);
    const QPoint pointer(200, 130);
    QTest::mouseMove(board, pointer);
    ASSERT_TRUE(WaitFor([&] {
        return PixelAt(board, pointer - QPoint(13, 27) + QPoint(20, 20)) ==
               PieceColour("Standard", 'p');
    }));
    // The pawn's own square shows no pawn.
    const QPoint home(4 * 40 + 20, 6 * 40 + 20);
    EXPECT_NE(PixelAt(board, home), PieceColour("Standard", 'p'));

    // Released off the board: back home, no move.
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, QPoint(-30, 500));
    EXPECT_EQ(board->DragBox(), -1);
    EXPECT_TRUE(WaitFor([&] { return PixelAt(board, home) == PieceColour("Standard", 'p'); }));
    EXPECT_EQ(PieceAt(window, "D7"), 'p');
    EXPECT_EQ(window->Turn(), CGC_BLACK);
}

TEST_F(ChessViewTest, ThePickedUpPiecesDotsAreTheEnginesLegalMovesWithPinsAndEnPassant)
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

TEST_F(ChessViewTest, AMoveMarksItsSquaresWithTheRedLineUnderThePieces)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    ChessView* board = window->Board();
    EXPECT_EQ(board->LastFrom(), -1);
    Moves(window, {"G1F3"});
    // G1 is column 6, row 7; F3 column 5, row 5 from White's side.
    EXPECT_EQ(board->LastFrom(), 7 * 8 + 6);
    EXPECT_EQ(board->LastTo(), 5 * 8 + 5);
    ASSERT_TRUE(WaitFor([&] {
        // Half way between the two centres the line is red.
        QColor middle = PixelAt(board, QPoint(240, 260));
        return middle.red() > 200 && middle.green() < 60 && middle.blue() < 60;
    }));
    // At the knight's new square the piece lies over the line.
    EXPECT_EQ(PixelAt(board, Centre("F3", CGC_WHITE)), PieceColour("Standard", 'N'));
}

TEST_F(ChessViewTest, ASkinChangeReloadsBoardAndPiecesAndAMissingImageCannotBeDragged)
{
    GameWindow* window = OpenPlayed(CGC_BLACK);
    ChessView* board = window->Board();
    const QPoint king = Centre("E8", CGC_BLACK);
    const QPoint emptySquare = Centre("E5", CGC_BLACK);
    EXPECT_EQ(PixelAt(board, emptySquare), SquareColour(emptySquare));

    UserSettings::Instance()->SetData("board-skin", "Wood");
    UserSettings::Instance()->SetData("pieces-skin", "Wood");
    MessageRepeater::Instance()->PostMessage(MSG_SKIN_CHANGED);
    ASSERT_TRUE(WaitFor([&] { return PixelAt(board, king) == PieceColour("Wood", 'k'); }));
    EXPECT_EQ(PixelAt(board, emptySquare),
              BoardColour("Wood", (emptySquare.x() / 40 + emptySquare.y() / 40) % 2 == 1));

    // A skin without black-king.png: no king drawn, and nothing to pick up.
    UserSettings::Instance()->SetData("pieces-skin", "NoBlackKing");
    MessageRepeater::Instance()->PostMessage(MSG_SKIN_CHANGED);
    ASSERT_TRUE(WaitFor([&] { return PixelAt(board, king) != PieceColour("Wood", 'k'); }));
    EXPECT_EQ(PixelAt(board, king), BoardColour("Wood", (king.x() / 40 + king.y() / 40) % 2 == 1));
    Moves(window, {"E2E4"});
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, king);
    EXPECT_EQ(board->DragBox(), -1);
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, king);
    // The queen beside it still can be.
    QTest::mousePress(board, Qt::LeftButton, Qt::NoModifier, Centre("D8", CGC_BLACK));
    EXPECT_NE(board->DragBox(), -1);
    QTest::mouseRelease(board, Qt::LeftButton, Qt::NoModifier, QPoint(-5, -5));
}
