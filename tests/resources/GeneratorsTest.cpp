// The generators that the build runs: the same sources give the same bytes,
// and bad input fails the build step instead of leaving files missing.

#include "Resources.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

namespace {
// Runs a generator with a watchdog; its exit code, or -1 when it crashed or
// did not finish in time.
int RunGenerator(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

const QString kImagegen = QStringLiteral(TOLVAR_TEST_IMAGEGEN);
const QString kSoundgen = QStringLiteral(TOLVAR_TEST_SOUNDGEN);
const QString kShapes = QStringLiteral(TOLVAR_TEST_SOURCES) + "/pieces/Standard";
} // namespace

TEST(Generators, ARepeatedRunWritesTheSameBytesAsTheBuild)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString out = scratch.path() + "/";
    const QString sets = out + "chess-sets/";
    ASSERT_EQ(RunGenerator(kSoundgen, {out + "sounds"}), 0);
    ASSERT_EQ(RunGenerator(kImagegen, {"graphics", TOLVAR_TEST_BOLD_FONT, out + "graphics"}), 0);
    ASSERT_EQ(RunGenerator(kImagegen, {"pieces", "Ivory", kShapes, sets + "pieces/Ivory"}), 0);
    ASSERT_EQ(RunGenerator(kImagegen, {"glyph-pieces", TOLVAR_TEST_FONT, sets + "pieces/Symbols"}),
              0);
    for (const QStringList& board :
         {QStringList{"Marble", "1280x1280.png", "1280"}, QStringList{"Wood", "320x320.png"},
          QStringList{"Tournament", "board.svg"}}) {
        const QString file = sets + "boards/" + board[0] + "/" + board[1];
        ASSERT_EQ(RunGenerator(kImagegen, QStringList{"board", board[0], file} + board.mid(2)), 0);
    }
    QDirIterator files(out, QDir::Files, QDirIterator::Subdirectories);
    int compared = 0;
    for (; files.hasNext(); ++compared) {
        const QString file = files.next().mid(out.size());
        EXPECT_TRUE(ReadBytes(out + file) == ReadBytes(ResourcePath(file))) << file.toStdString();
    }
    EXPECT_GT(compared, 50);
}

TEST(Generators, FailOnBadInputAndWriteNothing)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString out = scratch.path();
    EXPECT_NE(RunGenerator(kImagegen, {"board", "Plaid", out + "/plaid.png"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"board", "Wood", out + "/wood.svg"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"board", "Wood", out + "/wood.png", "500"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"pieces", "Standard", out + "/no-shapes", out + "/p"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"pieces", "Unpainted", kShapes, out + "/u"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"glyph-pieces", out + "/no-font.ttf", out + "/s"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"sculpt"}), 0);
    EXPECT_NE(RunGenerator(kSoundgen, {}), 0);
    EXPECT_TRUE(QDir(out).isEmpty());
}
