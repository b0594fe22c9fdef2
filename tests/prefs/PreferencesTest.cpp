#include "prefs/AboutWindow.h"
#include "prefs/BoardPreferencesView.h"
#include "prefs/PreferencesWindow.h"
#include "prefs/SkinPreferencesView.h"

#include "app/AppLocation.h"
#include "app/MessageCodes.h"
#include "app/MessageRepeater.h"
#include "support/RecordingLooper.h"
#include "xml/FileXMLReader.h"
#include "xml/UserSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

// A program directory with skin directories below it and a private
// settings directory, set up before anything reads the settings.
struct SkinsFixture : testing::Test
{
    SkinsFixture()
    {
        ::setenv("XDG_CONFIG_HOME", settings.path().toUtf8().constData(), 1);
        UserSettings::ResetForTests();
        AppLocation::Instance()->SetPath(program.path().toStdString());
        MessageRepeater::Instance()->Run();
    }

    void MakeSkins(const char* kind, std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            ASSERT_TRUE(QDir().mkpath(
                program.filePath(QStringLiteral("resources/chess-sets/%1/%2").arg(kind, name))));
    }

    // The entries of a skin directory in the directory's own order, CVS left out.
    std::vector<std::string> DirectoryOrder(const char* kind)
    {
        std::vector<std::string> names;
        std::filesystem::path path =
            program.filePath(QStringLiteral("resources/chess-sets/%1").arg(kind)).toStdString();
        for (const auto& entry : std::filesystem::directory_iterator(path))
            if (entry.path().filename() != "CVS")
                names.push_back(entry.path().filename().string());
        return names;
    }

    static std::vector<std::string> Items(QComboBox* menu)
    {
        std::vector<std::string> items;
        for (int i = 0; i < menu->count(); ++i)
            items.push_back(menu->itemText(i).toStdString());
        return items;
    }

    void Store(const char* key, const char* value)
    {
        UserSettings::Instance()->SetData(key, value);
        UserSettings::Instance()->WriteToFile();
    }

    QTemporaryDir settings;
    QTemporaryDir program;
};

} // namespace

TEST_F(SkinsFixture, MenusListTheDirectoriesWithoutCvsAndMarkStandardByDefault)
{
    MakeSkins("boards", {"Standard", "Wood", "CVS"});
    MakeSkins("pieces", {"Glass", "cvs", "Standard"});
    PreferencesWindow* window = PreferencesWindow::Instance();
    window->Show();
    QComboBox* boards = window->Skins()->BoardMenu();
    QComboBox* pieces = window->Skins()->PiecesMenu();
    EXPECT_EQ(Items(boards), DirectoryOrder("boards"));
    std::vector<std::string> sorted = Items(boards);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"Standard", "Wood"}));
    EXPECT_EQ(boards->currentText(), "Standard");
    // "CVS" is left out whatever its case.
    EXPECT_EQ(pieces->count(), 2);
    EXPECT_EQ(pieces->findText("cvs"), -1);
    EXPECT_EQ(pieces->currentText(), "Standard");

    EXPECT_EQ(window->windowTitle(), "User Preferences");
    EXPECT_EQ(window->size(), QSize(450, 400));
    EXPECT_EQ(window->CancelButton()->text(), "Ignore Changes");
    EXPECT_EQ(window->CancelButton()->geometry(), QRect(240, 365, 92, 18));
    EXPECT_EQ(window->SaveButton()->text(), "Save Changes");
    EXPECT_EQ(window->SaveButton()->geometry(), QRect(340, 365, 92, 18));
    EXPECT_TRUE(window->SaveButton()->isDefault());
}

TEST_F(SkinsFixture, TheStoredSkinIsMarkedIgnoringCaseAndAMissingDirectoryShowsTheSetting)
{
    MakeSkins("boards", {"Standard", "Wood"});
    Store("board-skin", "wood");
    Store("pieces-skin", "Marble");
    PreferencesWindow* window = PreferencesWindow::Instance();
    EXPECT_EQ(window->Skins()->BoardMenu()->currentText(), "Wood");
    // No pieces directory at all: an empty menu that shows the stored name.
    QComboBox* pieces = window->Skins()->PiecesMenu();
    EXPECT_EQ(pieces->count(), 0);
    EXPECT_EQ(pieces->currentIndex(), -1);
    EXPECT_EQ(pieces->placeholderText(), "Marble");

    // The marking rule on its own: a setting match wins over Standard
    // wherever it stands; without one, Standard; without either, nothing.
    using Names = std::vector<std::string>;
    EXPECT_EQ(SkinPreferencesView::MarkedSkin(Names{"Wood", "STANDARD"}, "wood"), 0);
    EXPECT_EQ(SkinPreferencesView::MarkedSkin(Names{"standard", "Wood"}, "WOOD"), 1);
    EXPECT_EQ(SkinPreferencesView::MarkedSkin(Names{"Wood", "standard"}, "Glass"), 1);
    EXPECT_EQ(SkinPreferencesView::MarkedSkin(Names{"Wood", "standard"}, std::nullopt), 1);
    EXPECT_EQ(SkinPreferencesView::MarkedSkin(Names{"Wood"}, std::nullopt), -1);
}

TEST_F(SkinsFixture, AChangeIsWrittenAndAnnouncedAtOnceAndIgnorePutsBackWhatWasThere)
{
    MakeSkins("boards", {"Standard"});
    MakeSkins("pieces", {"Standard", "Glass"});
    Store("sound-volume", "70");
    RecordingLooper recorder;
    MessageRepeater::Instance()->AddTarget(&recorder);
    using Setting = std::optional<std::string>;
    for (const bool ignore : {true, false}) {
        SCOPED_TRACE(ignore ? "ignore" : "save");
        QPointer<PreferencesWindow> window = PreferencesWindow::Instance();
        window->Show();
        QComboBox* pieces = window->Skins()->PiecesMenu();
        const int glass = pieces->findText("Glass");
        ASSERT_GE(glass, 0);
        pieces->setCurrentIndex(glass);
        emit pieces->activated(glass);
        BoardPreferencesView* board = window->Board();
        EXPECT_TRUE(board->Coordinates()->isChecked());
        EXPECT_EQ(board->Volume()->value(), 70);
        board->Coordinates()->click();
        board->Sounds()->click();
        board->Volume()->setValue(20);

        FileXMLReader onDisk(UserSettings::Instance()->Path(), false);
        EXPECT_EQ(onDisk.Data("pieces-skin"), Setting("Glass"));
        EXPECT_EQ(onDisk.Data("coordinates"), Setting("off"));
        EXPECT_EQ(onDisk.Data("sounds"), Setting("off"));
        EXPECT_EQ(onDisk.Data("sound-volume"), Setting("20"));
        EXPECT_EQ(onDisk.Data("board-skin"), std::nullopt);
        ASSERT_TRUE(recorder.WaitForWhat(MSG_SKIN_CHANGED, std::chrono::seconds(5)));
        QTest::qWait(20);
        recorder.Clear();

        QTest::mouseClick(ignore ? window->CancelButton() : window->SaveButton(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
        FileXMLReader after(UserSettings::Instance()->Path(), false);
        EXPECT_EQ(after.Data("pieces-skin"), ignore ? std::nullopt : Setting("Glass"));
        EXPECT_EQ(after.Data("coordinates"), ignore ? std::nullopt : Setting("off"));
        EXPECT_EQ(after.Data("sound-volume"), Setting(ignore ? "70" : "20"));
        if (ignore)
            EXPECT_TRUE(recorder.WaitForWhat(MSG_SKIN_CHANGED, std::chrono::seconds(5)));
    }
    MessageRepeater::Instance()->RemoveTarget(&recorder);
    // The next window reads the settings again.
    EXPECT_EQ(PreferencesWindow::Instance()->Skins()->PiecesMenu()->currentText(), "Glass");
}

TEST_F(SkinsFixture, OneWindowWhileOpenAndANewOneAfterItClosed)
{
    QPointer<PreferencesWindow> first = PreferencesWindow::Instance();
    first->Show();
    EXPECT_EQ(PreferencesWindow::Instance(), first.data());
    const int targets = MessageRepeater::Instance()->CountTargets();
    QTest::mouseClick(first->SaveButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 5000));
    EXPECT_EQ(MessageRepeater::Instance()->CountTargets(), targets - 1);
    PreferencesWindow* second = PreferencesWindow::Instance();
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(MessageRepeater::Instance()->CountTargets(), targets);
}

TEST(AboutWindow, ShowsTheVersionAndTheCreditSectionsInOrder)
{
    QPointer<AboutWindow> about = AboutWindow::Instance();
    about->Show();
    EXPECT_EQ(AboutWindow::Instance(), about.data());
    EXPECT_EQ(about->windowTitle(), "About Tolvar Chess");
    EXPECT_EQ(about->size(), QSize(175, 500));
    EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(about->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QString text = about->TextView()->toPlainText();
    EXPECT_TRUE(text.startsWith("Tolvar Chess v1.31\n"));
    qsizetype at = 0;
    for (const char* heading :
         {"Lead Programmer:", "Libraries:", "Graphics:", "The Beta Team:", "Server Provided By:"}) {
        qsizetype found = text.indexOf(heading, at);
        EXPECT_GT(found, at) << heading;
        at = found;
    }
    EXPECT_TRUE(text.contains("tolvar-server"));
    // Escape closes it, wherever the focus is in it.
    ASSERT_TRUE(QTest::qWaitForWindowActive(about.data()));
    QTest::keyClick(about->TextView(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return about.isNull(); }, 5000));
    EXPECT_NE(AboutWindow::Instance(), nullptr);
}
