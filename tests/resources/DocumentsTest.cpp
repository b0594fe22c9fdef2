// The help page the lobby opens and the desktop entry installed with the program.

#include "ImageMeasures.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

namespace {
QString ReadText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
} // namespace

TEST(HelpPage, WorksOfflineAndEveryLinkLands)
{
    const QString path = ResourcePath("help/index.html");
    const QString page = ReadText(path);
    ASSERT_FALSE(page.isEmpty());
    EXPECT_TRUE(page.contains("<title>"));

    QSet<QString> anchors;
    const QRegularExpression id(QStringLiteral("\\bid=\"([^\"]+)\""));
    for (const QRegularExpressionMatch& match : id.globalMatch(page))
        anchors.insert(match.captured(1));

    // Every link points into the page itself or to a file beside it: the page
    // needs no network and no other program's files.
    const QRegularExpression reference(QStringLiteral("\\b(?:href|src)=\"([^\"]*)\""));
    for (const QRegularExpressionMatch& match : reference.globalMatch(page)) {
        const QString target = match.captured(1);
        SCOPED_TRACE(target.toStdString());
        if (target.startsWith('#')) {
            EXPECT_TRUE(anchors.contains(target.mid(1)));
        } else {
            EXPECT_FALSE(target.contains(':')) << "links outside the help folder";
            EXPECT_TRUE(QFileInfo::exists(QFileInfo(path).absolutePath() + "/" + target));
        }
    }
}

TEST(HelpPage, DescribesTheServerCommandLine)
{
    const QString page = ReadText(ResourcePath("help/index.html"));
    for (const char* phrase : {"tolvar-server [--listen ADDRESS] [--port N] [--db PATH]",
                               "127.0.0.1", "5000", "make run"}) {
        EXPECT_TRUE(page.contains(QLatin1String(phrase))) << phrase;
    }
}

TEST(DesktopEntry, LaunchesTheInstalledProgramWithItsIcon)
{
    const QString entry = ReadText(QStringLiteral(TOLVAR_TEST_SOURCES) + "/desktop/tolvar.desktop");
    ASSERT_FALSE(entry.isEmpty());
    QMap<QString, QString> keys;
    QString group;
    for (const QString& line : entry.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            EXPECT_TRUE(line.endsWith(']')) << line.toStdString();
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        ASSERT_GT(equals, 0) << "not a key=value line: " << line.toStdString();
        EXPECT_EQ(group, "Desktop Entry");
        EXPECT_FALSE(keys.contains(line.left(equals))) << "duplicate " << line.toStdString();
        keys.insert(line.left(equals), line.mid(equals + 1));
    }
    EXPECT_EQ(keys.value("Type"), "Application");
    EXPECT_FALSE(keys.value("Name").isEmpty());
    // The install puts the program on the PATH as "tolvar" and its icons in
    // the hicolor theme as "tolvar".
    EXPECT_EQ(keys.value("Exec"), "tolvar");
    EXPECT_EQ(keys.value("Icon"), "tolvar");
    EXPECT_TRUE(QFileInfo::exists(ResourcePath("icons/tolvar-256.png")));
    EXPECT_TRUE(QFileInfo::exists(ResourcePath("icons/tolvar-48.png")));
    EXPECT_TRUE(keys.value("Categories").split(';').contains("Game"));
}
