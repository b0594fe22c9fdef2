#include "GameFixture.h"
#include "ServerSession.h"

#include "app/MyGames.h"
#include "game/ChooseColorWindow.h"
#include "game/ChoosePromotionWindow.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using testing_support::IconColour;
using testing_support::PieceColour;
using testing_support::WaitFor;

namespace {

class DialogsTest : public GameFixture
{
};

struct MakeCase
{
    const char* description; // null: leave the default text
    const char* button;
    const char* line;
};

std::vector<std::string> Labels(QWidget* dialog)
{
    std::vector<std::string> labels;
    for (QLabel* label : dialog->findChildren<QLabel*>())
        labels.push_back(label->text().toStdString());
    return labels;
}

} // namespace

TEST_F(DialogsTest, TheRookButtonsSendMakeLinesAndCountTheGame)
{
    ServerSession session;
    const MakeCase cases[] = {
        {nullptr, "white-rook", "MAKE 1 :Let's Play! \r\n"},
        {"", "black-rook", "MAKE 0 \r\n"},
        {"  slow game, please ", "black-rook", "MAKE 0 :  slow game, please  \r\n"},
    };
    int started = 0;
    for (const MakeCase& c : cases) {
        SCOPED_TRACE(c.line);
        QPointer<ChooseColorWindow> dialog = new ChooseColorWindow();
        dialog->Show();
        auto* description = dialog->findChild<QLineEdit*>("description");
        ASSERT_NE(description, nullptr);
        EXPECT_EQ(description->text(), "Let's Play!");
        if (c.description != nullptr)
            description->setText(c.description);
        dialog->findChild<QAbstractButton*>(c.button)->click();
        EXPECT_TRUE(session.WaitForLine(c.line));
        EXPECT_EQ(MyGames::Instance()->NumStarted(), ++started);
        EXPECT_TRUE(WaitFor([&] { return dialog.isNull(); }));
    }
}

TEST_F(DialogsTest, NevermindClosesAndSendsNothing)
{
    ServerSession session;
    QPointer<ChooseColorWindow> dialog = new ChooseColorWindow();
    dialog->Show();
    EXPECT_EQ(dialog->windowTitle(), "Choose Game Characteristics");
    EXPECT_EQ(dialog->size(), QSize(300, 150));
    EXPECT_TRUE(dialog->isModal());
    const std::vector<std::string> labels = Labels(dialog);
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Game Description:"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Please select your playing color:"),
              labels.end());
    EXPECT_EQ(IconColour(dialog->findChild<QWidget*>("black-rook")), PieceColour("Standard", 'r'));
    EXPECT_EQ(IconColour(dialog->findChild<QWidget*>("white-rook")), PieceColour("Standard", 'R'));
    EXPECT_EQ(dialog->findChild<QWidget*>("black-rook")->geometry(), QRect(100, 72, 40, 40));
    EXPECT_EQ(dialog->findChild<QWidget*>("white-rook")->geometry(), QRect(160, 72, 40, 40));

    // Enter in the description neither cancels nor sends anything.
    QTest::keyClick(dialog->findChild<QLineEdit*>("description"), Qt::Key_Return);
    QTest::qWait(50);
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());

    auto* cancel = dialog->findChild<QAbstractButton*>("cancel");
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), "Nevermind");
    cancel->click();
    EXPECT_TRUE(WaitFor([&] { return dialog.isNull(); }));
    EXPECT_EQ(MyGames::Instance()->NumStarted(), 0);
    // Anything the dialog sent would have arrived before a later line.
    GameWindow* window = OpenPlayed(CGC_WHITE, "5");
    window->close();
    EXPECT_TRUE(session.WaitForLine("ABORT 5 \r\n"));
    EXPECT_TRUE(session.LinesStartingWith("MAKE").empty());
}

TEST_F(DialogsTest, ThePromotionDialogShowsTheSidesPiecesAndReturnsTheLetter)
{
    struct Choice
    {
        int32 side;
        const char* button;
        char letter;
        char shown; // the piece letter whose image the button shows
    };
    const Choice choices[] = {{CGC_BLACK, "knight", 'N', 'n'},
                              {CGC_BLACK, "queen", 'Q', 'q'},
                              {CGC_WHITE, "bishop", 'B', 'B'},
                              {CGC_WHITE, "rook", 'R', 'R'}};
    for (const Choice& c : choices) {
        SCOPED_TRACE(c.button);
        ChoosePromotionWindow dialog(c.side);
        EXPECT_EQ(dialog.windowTitle(), "Choose Your Promoting Piece");
        EXPECT_EQ(dialog.size(), QSize(300, 104));
        EXPECT_EQ(Labels(&dialog), std::vector<std::string>{"Please select your promotion..."});
        auto* button = dialog.findChild<QAbstractButton*>(c.button);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(IconColour(button), PieceColour("Standard", c.shown));
        testing_support::AnswerNextModal(c.button);
        dialog.exec();
        EXPECT_EQ(dialog.Result(), c.letter);
    }
    // The buttons span 200 pixels in the middle of the window.
    ChoosePromotionWindow dialog(CGC_WHITE);
    EXPECT_EQ(dialog.findChild<QWidget*>("queen")->geometry().left(), 50);
    EXPECT_EQ(dialog.findChild<QWidget*>("knight")->geometry().right() + 1, 250);
    testing_support::AnswerNextModal("");
    dialog.exec();
    EXPECT_EQ(dialog.Result(), 0);
}
