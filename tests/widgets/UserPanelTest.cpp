#include "widgets/UserPanel.h"

#include "support/RecordingSpeaker.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kMagenta(255, 0, 255);

struct LogRun
{
    std::string text;
    QColor colour;
    bool operator==(const LogRun& other) const
    {
        return text == other.text && colour == other.colour;
    }
};

void PrintTo(const LogRun& run, std::ostream* out)
{
    *out << "\"" << run.text << "\" " << run.colour.name().toStdString();
}

// Every text run of the log in order, with its colour; each line ends a
// block, so a run never includes the line feed.
std::vector<LogRun> Runs(const QPlainTextEdit* log)
{
    std::vector<LogRun> runs;
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            runs.push_back(
                {fragment.text().toStdString(), fragment.charFormat().foreground().color()});
        }
    }
    return runs;
}

struct PanelFixture : testing::Test
{
    PanelFixture()
    {
        speaker.user = "bob";
        panel.resize(400, 200);
        panel.show();
    }
    RecordingSpeaker speaker; // whose user is "bob"
    UserPanel panel;
};
} // namespace

// Lines come from the network: markup in them is shown as typed. The
// sender's name is green only when it is the user's, byte for byte.
TEST_F(PanelFixture, ChatLinesAreShownAsTypedWithTheSenderColoured)
{
    panel.ReceivedMessage("bob", "nil", "hello all");
    panel.ReceivedMessage("Bob", "nil", "I am not you");
    panel.ReceivedMessage("<i>eve</i>", "", "<b>x</b> &amp; <a href=\"y\">z</a>");
    panel.ReceivedNotification("<font color=red>boom</font>");
    std::vector<LogRun> expected = {
        {"bob", kGreen},
        {": hello all", kWhite},
        {"Bob", kRed},
        {": I am not you", kWhite},
        {"<i>eve</i>", kRed},
        {": <b>x</b> &amp; <a href=\"y\">z</a>", kWhite},
        {"System: <font color=red>boom</font>", kMagenta},
    };
    EXPECT_EQ(Runs(panel.Log()), expected);
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

// A hostile server's lines of 64 KiB would grow the log to hundreds of
// megabytes: a line is cut at its length limit, never inside a character.
TEST_F(PanelFixture, ALineLongerThanTheLimitIsCutWithAnEllipsis)
{
    const int limit = static_cast<int>(UserPanel::kMaxLineLength);
    std::string emoji;
    for (int i = 0; i < limit; ++i)
        emoji += "\xf0\x9f\x98\x80";
    panel.ReceivedMessage("eve", "", std::string(64 * 1024, 'x'));
    panel.ReceivedNotification(std::string(limit - 8, 'y'));
    panel.ReceivedMessage("carla", "", emoji);
    const QStringList lines = panel.Log()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "eve: " + QString(limit - 5, 'x') + QChar(0x2026));
    EXPECT_EQ(lines[1], "System: " + QString(limit - 8, 'y'));
    // "carla: " leaves an odd number of places: the last whole character fits.
    EXPECT_EQ(lines[2].size(), limit);
    EXPECT_TRUE(lines[2].at(limit - 2).isLowSurrogate());
    EXPECT_EQ(lines[2].back(), QChar(0x2026));
    EXPECT_EQ(Runs(panel.Log())[0], (LogRun{"eve", kRed}));
}
