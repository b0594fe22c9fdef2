// The help page the lobby opens: it works offline and every link lands.

#include "Resources.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

TEST(HelpPage, WorksOfflineAndEveryLinkLands)
{
    const QString path = ResourcePath("help/index.html");
    const QString page = QString::fromUtf8(ReadBytes(path));
    ASSERT_TRUE(page.contains("<title>"));

    QSet<QString> anchors;
    const QRegularExpression id(QStringLiteral("\\bid=\"([^\"]+)\""));
    for (const QRegularExpressionMatch& match : id.globalMatch(page))
        anchors.insert(match.captured(1));

    // Every link points into the page itself or to a file beside it.
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
