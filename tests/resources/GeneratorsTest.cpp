// The generators that the build runs: the same sources give the same bytes,
// and bad input fails the build step instead of leaving files missing.

#include "ImageMeasures.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {
// Runs a generator with a watchdog; returns its exit code, -1 when it crashed
// or did not finish in time.
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

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kImagegen = QStringLiteral(TOLVAR_TEST_IMAGEGEN);
const QString kSoundgen = QStringLiteral(TOLVAR_TEST_SOUNDGEN);
const QString kSources = QStringLiteral(TOLVAR_TEST_SOURCES);
} // namespace

TEST(Generators, ARepeatedRunWritesTheSameBytesAsTheBuild)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString out = scratch.path();
    ASSERT_EQ(RunGenerator(kSoundgen, {out + "/sounds"}), 0);
    ASSERT_EQ(
        RunGenerator(kImagegen, {"pieces", "Standard", kSources + "/pieces/Standard", out + "/p"}),
        0);
    ASSERT_EQ(RunGenerator(kImagegen, {"glyph-pieces", TOLVAR_TEST_FONT, out + "/s"}), 0);
    ASSERT_EQ(RunGenerator(kImagegen, {"board", "Wood", out + "/wood.png"}), 0);
    ASSERT_EQ(RunGenerator(kImagegen, {"board", "Marble", out + "/marble.png"}), 0);
    ASSERT_EQ(RunGenerator(kImagegen, {"graphics", TOLVAR_TEST_BOLD_FONT, out + "/g"}), 0);

    const std::pair<QString, QString> pairs[] = {
        {out + "/sounds/piece-moved.wav", ResourcePath("sounds/piece-moved.wav")},
        {out + "/sounds/checkmate.wav", ResourcePath("sounds/checkmate.wav")},
        {out + "/p/white-knight.png", ResourcePath("chess-sets/pieces/Standard/white-knight.png")},
        {out + "/p/black-queen.png", ResourcePath("chess-sets/pieces/Standard/black-queen.png")},
        {out + "/s/black-king.png", ResourcePath("chess-sets/pieces/Symbols/black-king.png")},
        {out + "/wood.png", ResourcePath("chess-sets/boards/Wood/320x320.png")},
        {out + "/marble.png", ResourcePath("chess-sets/boards/Marble/320x320.png")},
        {out + "/g/game-background.png", ResourcePath("graphics/game-background.png")},
        {out + "/g/watch-game-down.png", ResourcePath("graphics/watch-game-down.png")},
    };
    for (const auto& [fresh, built] : pairs) {
        SCOPED_TRACE(built.toStdString());
        const QByteArray bytes = Bytes(fresh);
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_TRUE(bytes == Bytes(built));
    }
}

TEST(Generators, FailOnBadInputAndWriteNothing)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString out = scratch.path();
    EXPECT_NE(RunGenerator(kImagegen, {"board", "Plaid", out + "/plaid.png"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"pieces", "Standard", out + "/no-shapes", out + "/p"}), 0);
    EXPECT_NE(
        RunGenerator(kImagegen, {"pieces", "Unpainted", kSources + "/pieces/Standard", out + "/u"}),
        0);
    EXPECT_NE(RunGenerator(kImagegen, {"glyph-pieces", out + "/no-font.ttf", out + "/s"}), 0);
    EXPECT_NE(RunGenerator(kImagegen, {"sculpt"}), 0);
    EXPECT_NE(RunGenerator(kSoundgen, {}), 0);
    EXPECT_TRUE(QDir(out).isEmpty());
}
