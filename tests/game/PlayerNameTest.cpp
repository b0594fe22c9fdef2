#include "GameFixture.h"

#include "game/PlayerName.h"

using testing_support::Grab;
using testing_support::TurnMarkerColour;
using testing_support::WaitFor;
using testing_support::WinnerMarkerColour;

namespace {

class PlayerNameTest : public GameFixture
{
};

// Fill and border colours as drawn: (3, 30) lies inside the border and
// away from the name, the markers and the strength line.
QColor Fill(PlayerName* panel)
{
    return testing_support::Pixel(Grab(panel), QPoint(3, 30));
}

QColor Border(PlayerName* panel)
{
    return testing_support::Pixel(Grab(panel), QPoint(0, 30));
}

bool ShowsTurnMarker(PlayerName* panel)
{
    // The marker image is drawn at (6, 15).
    return testing_support::Pixel(Grab(panel), QPoint(10, 20)) == TurnMarkerColour();
}

bool ShowsWinnerMarker(PlayerName* panel)
{
    // The marker image is drawn at (267, 21).
    return testing_support::Pixel(Grab(panel), QPoint(275, 30)) == WinnerMarkerColour();
}

} // namespace

TEST_F(PlayerNameTest, PanelsDrawTheirSidesColoursAndTheTurnMarkerOnlyOnTheirTurn)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    PlayerName* black = window->BlackPanel();
    PlayerName* white = window->WhitePanel();
    EXPECT_EQ(Fill(black), QColor(0, 0, 0));
    EXPECT_EQ(Border(black), QColor(255, 255, 255));
    EXPECT_EQ(Fill(white), QColor(255, 255, 255));
    EXPECT_EQ(Border(white), QColor(0, 0, 0));
    EXPECT_FALSE(ShowsTurnMarker(black));
    EXPECT_TRUE(ShowsTurnMarker(white));

    Moves(window, {"E2E4"});
    EXPECT_TRUE(WaitFor([&] { return ShowsTurnMarker(black) && !ShowsTurnMarker(white); }));
    EXPECT_EQ(window->BlackStrength(), 39);

    // "Strength: 39", drawn from (222, 15), ends clear of the border: the
    // three columns inside the right border stay the panel's fill.
    for (PlayerName* panel : {black, white}) {
        const QImage image = Grab(panel);
        const QColor fill = Fill(panel);
        for (int x = panel->width() - 4; x < panel->width() - 1; ++x)
            for (int y = 2; y < 18; ++y)
                EXPECT_EQ(testing_support::Pixel(image, QPoint(x, y)), fill)
                    << "at (" << x << ", " << y << ")";
    }
}

TEST_F(PlayerNameTest, TheWinnersPanelBlinksWithItsMarkerAndNoPanelKeepsTheTurnMarker)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    PlayerName* black = window->BlackPanel();
    PlayerName* white = window->WhitePanel();
    window->SetWhoIsWinner("white");
    window->SetWinner("White Mates.");
    EXPECT_TRUE(white->IsBlinking());
    EXPECT_FALSE(black->IsBlinking());

    // The white panel swaps to the black colouring and back.
    ASSERT_TRUE(WaitFor([&] { return Fill(white) == QColor(0, 0, 0); }, 2000));
    EXPECT_EQ(Border(white), QColor(255, 255, 255));
    ASSERT_TRUE(WaitFor([&] { return Fill(white) == QColor(255, 255, 255); }, 2000));
    EXPECT_EQ(Border(white), QColor(0, 0, 0));
    EXPECT_EQ(Fill(black), QColor(0, 0, 0));

    // The marker stays through both colourings, on the winner's panel only.
    EXPECT_TRUE(ShowsWinnerMarker(white));
    ASSERT_TRUE(WaitFor([&] { return Fill(white) == QColor(0, 0, 0); }, 2000));
    EXPECT_TRUE(ShowsWinnerMarker(white));
    EXPECT_FALSE(ShowsWinnerMarker(black));
    EXPECT_FALSE(ShowsTurnMarker(white));
    EXPECT_FALSE(ShowsTurnMarker(black));
}

TEST_F(PlayerNameTest, AfterADrawOrAnAbortBothPanelsBlinkWithoutTheWinnerMarker)
{
    for (const char* who : {"draw", "aborted"}) {
        SCOPED_TRACE(who);
        GameWindow* window = OpenPlayed(CGC_BLACK);
        window->SetWhoIsWinner(who);
        window->SetWinner("Stalemate.");
        EXPECT_TRUE(window->BlackPanel()->IsBlinking());
        EXPECT_TRUE(window->WhitePanel()->IsBlinking());
        ASSERT_TRUE(WaitFor([&] { return Fill(window->WhitePanel()) == QColor(0, 0, 0); }, 2000));
        EXPECT_FALSE(ShowsWinnerMarker(window->WhitePanel()));
        EXPECT_FALSE(ShowsWinnerMarker(window->BlackPanel()));
        delete window;
    }
}

TEST_F(PlayerNameTest, ARepeatedResultKeepsOneBlinkerAndAnUnknownWhoBlinksNothing)
{
    GameWindow* window = OpenPlayed(CGC_WHITE);
    window->SetWhoIsWinner("the referee");
    EXPECT_EQ(window->WhoIsWinner(), "the referee");
    EXPECT_FALSE(window->BlackPanel()->IsBlinking());
    EXPECT_FALSE(window->WhitePanel()->IsBlinking());

    window->SetWhoIsWinner("black");
    window->SetWhoIsWinner("aborted");
    PlayerName* black = window->BlackPanel();
    // Count colour swaps over a little more than two periods: one blinker
    // swaps about four times, two would cancel each other or swap twice as often.
    int swaps = 0;
    int32 last = black->ShownColor();
    WaitFor(
        [&] {
            if (black->ShownColor() != last) {
                ++swaps;
                last = black->ShownColor();
            }
            return false;
        },
        2 * PlayerName::kBlinkInterval + 200);
    EXPECT_GE(swaps, 1);
    EXPECT_LE(swaps, 3);
}

TEST_F(PlayerNameTest, NamesAreDrawnAsPlainTextWithControlCharactersBlanked)
{
    EXPECT_EQ(PlayerName::PlainText("<b>bob</b>"), QString("<b>bob</b>"));
    EXPECT_EQ(PlayerName::PlainText("a\nb\rc\td"), QString("a b c d"));
    PlayerName loose(QRect(0, 0, 300, 60), "alpha", CGC_WHITE);
    // Outside a game window only the name and colours are drawn.
    EXPECT_FALSE(loose.ShowsTurnMarker());
    EXPECT_EQ(Fill(&loose), QColor(255, 255, 255));
}
