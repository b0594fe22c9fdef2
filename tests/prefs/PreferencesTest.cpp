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

    void Store(const char* key, const char* value)
    {
        UserSettings::Instance()->SetData(key, value);
        UserSettings::Instance()->WriteToFile();
    }

    QTemporaryDir settings;
    QTemporaryDir program;
};

} // namespace

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
    const std::vector<std::tuple<Names, std::optional<std::string>, int>> cases = {
        {{"Wood", "STANDARD"}, "wood", 0},  {{"standard", "Wood"}, "WOOD", 1},
        {{"Wood", "standard"}, "Glass", 1}, {{"Wood", "standard"}, std::nullopt, 1},
        {{"Wood"}, std::nullopt, -1},
    };
    for (const auto& [names, setting, marked] : cases)
        EXPECT_EQ(SkinPreferencesView::MarkedSkin(names, setting), marked) << setting.value_or("");
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
        if (ignore) {
            EXPECT_TRUE(recorder.WaitForWhat(MSG_SKIN_CHANGED, std::chrono::seconds(5)));
        }
    }
    MessageRepeater::Instance()->RemoveTarget(&recorder);
    // The next window reads the settings again.
    EXPECT_EQ(PreferencesWindow::Instance()->Skins()->PiecesMenu()->currentText(), "Glass");
}
