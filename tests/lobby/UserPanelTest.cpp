#include "lobby/UserPanel.h"

#include "LobbyTestSupport.h"
#include "app/MessageCodes.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kMagenta(255, 0, 255);

struct PanelFixture : testing::Test
{
    PanelFixture()
    {
        speaker.user = "bob";
        speaker.Bind();
        panel.resize(400, 200);
        panel.show();
    }
    RecordedSpeaker speaker;
    UserPanel panel;
};
} // namespace

TEST_F(PanelFixture, ChatLinesColourTheSenderByExactNameAndNoticesAreMagenta)
{
    panel.ReceivedMessage("bob", "nil", "hello all");
    panel.ReceivedMessage("Bob", "nil", "I am not you");
    panel.ReceivedMessage("carl", "", "hi");
    panel.ReceivedNotification("bob has left");
    std::vector<LogRun> expected = {
        {"bob", kGreen},
        {": hello all", kWhite},
        {"Bob", kRed},
        {": I am not you", kWhite},
        {"carl", kRed},
        {": hi", kWhite},
        {"System: bob has left", kMagenta},
    };
    EXPECT_EQ(Runs(panel.Log()), expected);
    EXPECT_EQ(panel.Log()->toPlainText().toStdString(),
              "bob: hello all\nBob: I am not you\ncarl: hi\nSystem: bob has left\n");
}

TEST_F(PanelFixture, MarkupFromTheNetworkIsShownAsTyped)
{
    panel.ReceivedMessage("<i>eve</i>", "nil", "<b>x</b> &amp; <a href=\"y\">z</a>");
    panel.ReceivedNotification("<font color=red>boom</font>");
    EXPECT_EQ(panel.Log()->toPlainText().toStdString(),
              "<i>eve</i>: <b>x</b> &amp; <a href=\"y\">z</a>\n"
              "System: <font color=red>boom</font>\n");
    std::vector<LogRun> runs = Runs(panel.Log());
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0], (LogRun{"<i>eve</i>", kRed}));
}

TEST_F(PanelFixture, EnterSendsTheTextUnchangedAndAGamePanelAddsItsId)
{
    panel.SetEnabled(true);
    QLineEdit* entry = panel.Entry();
    panel.Log()->setFocus();
    QTest::keyClicks(entry, "  hi there  ");
    QTest::keyClick(entry, Qt::Key_Return);
    ASSERT_EQ(speaker.posts.size(), 1u);
    const BMessage& lobbyLine = speaker.posts[0];
    EXPECT_EQ(lobbyLine.what, MSG_CHAT_SEND);
    EXPECT_EQ(lobbyLine.GetString("data"), "  hi there  ");
    EXPECT_FALSE(lobbyLine.HasString("game_id"));
    EXPECT_EQ(lobbyLine.CountFields(), 1);
    EXPECT_TRUE(entry->text().isEmpty());
    EXPECT_EQ(panel.focusWidget(), entry);
    // What was sent is not echoed into the log.
    EXPECT_TRUE(panel.Log()->toPlainText().isEmpty());

    panel.SetGameID("12");
    QTest::keyClicks(entry, "gg");
    QTest::keyClick(entry, Qt::Key_Enter);
    ASSERT_EQ(speaker.posts.size(), 2u);
    EXPECT_EQ(speaker.posts[1].GetString("game_id"), "12");
    EXPECT_EQ(speaker.posts[1].GetString("data"), "gg");
}

TEST_F(PanelFixture, EnterOnAnEmptyEntrySendsNothingAndKeepsTheFocus)
{
    panel.Log()->setFocus();
    QTest::keyClick(panel.Entry(), Qt::Key_Return);
    EXPECT_TRUE(speaker.posts.empty());
    EXPECT_EQ(panel.focusWidget(), panel.Log());
}

TEST_F(PanelFixture, DisabledEntryGreysOutWhileLinesStillArriveAndResetClearsOnlyTheLog)
{
    panel.SetEnabled(false);
    EXPECT_FALSE(panel.Entry()->isEnabled());
    EXPECT_FALSE(panel.IsEnabled());
    panel.ReceivedNotification("Welcome");
    EXPECT_EQ(panel.Log()->toPlainText().toStdString(), "System: Welcome\n");

    panel.SetEnabled(true);
    panel.Entry()->setText("draft");
    panel.Reset();
    EXPECT_TRUE(panel.Log()->toPlainText().isEmpty());
    EXPECT_EQ(panel.Entry()->text().toStdString(), "draft");
    panel.ReceivedMessage("carl", "", "after");
    EXPECT_EQ(panel.Log()->toPlainText().toStdString(), "carl: after\n");
}

TEST_F(PanelFixture, TheLogKeepsTheNewestLinesInViewAndDropsTheOldestPastItsCap)
{
    const int total = UserPanel::kMaxLogLines + 25;
    for (int i = 0; i < total; ++i)
        panel.ReceivedNotification(std::to_string(i));
    QTextDocument* document = panel.Log()->document();
    // kMaxLogLines lines plus the empty block after the last line feed.
    EXPECT_EQ(document->blockCount(), UserPanel::kMaxLogLines + 1);
    EXPECT_EQ(document->firstBlock().text().toStdString(), "System: 25");
    EXPECT_EQ(document->lastBlock().previous().text().toStdString(),
              "System: " + std::to_string(total - 1));
    QScrollBar* bar = panel.Log()->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());
}
