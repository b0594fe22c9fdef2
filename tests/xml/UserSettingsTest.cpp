#include "xml/UserSettings.h"

#include "support/RecordedAlerts.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kCorrupted = "We regret to inform you that your settings file has been "
                               "corrupted.  It has been replaced with a fresh copy.";
const char* const kUnreadable = "Your settings file could not be read.  It has been left as it "
                                "is, and changes made now will not be saved.";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Permissions are not checked for root: a test that needs them checked
// acts as an ordinary user meanwhile (the saved user id brings root back).
class Unprivileged
{
public:
    Unprivileged() : fChanged(geteuid() == 0 && seteuid(65534) == 0) {}
    ~Unprivileged()
    {
        if (fChanged) {
            EXPECT_EQ(seteuid(0), 0);
        }
    }

private:
    bool fChanged;
};

// Every test gets its own settings directory and a settings object that
// reads it afresh, and records the alerts shown.
class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tolvar-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        fDirectory = pattern;
        setenv("XDG_CONFIG_HOME", fDirectory.c_str(), 1);
        umask(022);
        UserSettings::ResetForTests();
    }
    void TearDown() override
    {
        UserSettings::ResetForTests();
        fs::remove_all(fDirectory);
    }

    std::string SettingsPath() const { return fDirectory + "/tolvar/user-settings"; }
    std::vector<std::string> DirectoryEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(fs::path(SettingsPath()).parent_path()))
            names.push_back(entry.path().filename().string());
        return names;
    }

    std::string fDirectory;
    RecordedAlerts fAlerts;
};

} // namespace

// Reading at start-up: what the file holds decides the status, the alert
// and what the file holds afterwards.
TEST_F(SettingsTest, TheFileIsReadCreatedOrReplaced)
{
    const std::string good = "<container>\n  <BOARD-SKIN>Marble</BOARD-SKIN>\n<last-username>  "
                             "bob </last-username><pieces-skin></pieces-skin><long>" +
                             std::string(1200, 'z') + "</long></container>";
    const std::vector<std::pair<std::optional<std::string>, int32>> cases = {
        {std::nullopt, 1},
        {good, 0},
        {"", 2},
        {"<container>\n\t<a>1</a>\n", 2},
        {"<container><a>1</b>", 2},
        {"<settings>\n\t<a>1</a>\n</settings>\n", 2},
        {"<container><a>1</a></container>junk", 2},
        {std::string(100'000, ' ') + std::string(100'000, '<') + "a>", 2},
        {"<container>" + std::string(3 << 20, ' ') + "<a>1</a></container>", 2},
    };
    for (const auto& [content, status] : cases) {
        SCOPED_TRACE(content.value_or("(none)").substr(0, 40));
        UserSettings::ResetForTests();
        fs::remove_all(fDirectory + "/tolvar");
        if (content)
            WriteFile(SettingsPath(), *content);
        const size_t alerts = fAlerts.Alerts().size();
        UserSettings* settings = UserSettings::Instance();
        EXPECT_EQ(settings->FileStatus(), status);
        EXPECT_EQ(fAlerts.Alerts().size(), alerts + (status == 2));
        if (status == 2) {
            EXPECT_EQ(fAlerts.Alerts().back(), (AlertShown{kCorrupted, "Oh, darn!"}));
        }
        EXPECT_EQ(ReadFile(SettingsPath()), status == 0 ? good : "<container/>\n");
        EXPECT_EQ(settings->Data("a"), std::nullopt);
    }
    UserSettings::ResetForTests();
    WriteFile(SettingsPath(), good);
    UserSettings* settings = UserSettings::Instance();
    EXPECT_EQ(settings->Data("board-skin"), "Marble");
    EXPECT_EQ(settings->Data("last-username"), "bob ");
    EXPECT_EQ(settings->Data("pieces-skin"), std::nullopt);
    EXPECT_EQ(settings->Data("long"), std::string(1200, 'z'));
}

// A file that is there but cannot be read may hold the user's values: it
// is left as it is, then and later, and the alert says so.
TEST_F(SettingsTest, AnUnreadableFileIsReportedAndLeftAlone)
{
    const std::string text = "<container>\n\t<board-skin>Marble</board-skin>\n</container>\n";
    WriteFile(SettingsPath(), text);
    ASSERT_EQ(chmod(fDirectory.c_str(), 0755), 0);
    ASSERT_EQ(chmod((fDirectory + "/tolvar").c_str(), 0777), 0);
    ASSERT_EQ(chmod(SettingsPath().c_str(), 0), 0);
    {
        Unprivileged user;
        UserSettings* settings = UserSettings::Instance();
        EXPECT_EQ(settings->FileStatus(), 2);
        settings->SetData("board-skin", "Glass");
        EXPECT_FALSE(settings->WriteToFile());
    }
    EXPECT_EQ(fAlerts.Alerts(), (std::vector<AlertShown>{{kUnreadable, "Oh, darn!"}}));
    EXPECT_EQ(ReadFile(SettingsPath()), text);
    EXPECT_EQ(fs::status(SettingsPath()).permissions(), fs::perms::none);
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"user-settings"});
}

// A directory that takes no new file, holding a file that may be written:
// the values still reach the file.
TEST_F(SettingsTest, AFileInAReadOnlyDirectoryIsWrittenInPlace)
{
    WriteFile(SettingsPath(), "<container/>\n");
    ASSERT_EQ(chmod(fDirectory.c_str(), 0755), 0);
    ASSERT_EQ(chmod(SettingsPath().c_str(), 0666), 0);
    ASSERT_EQ(chmod((fDirectory + "/tolvar").c_str(), 0555), 0);
    bool written;
    {
        Unprivileged user;
        UserSettings::Instance()->SetData("board-skin", "Glass");
        written = UserSettings::Instance()->WriteToFile();
    }
    ASSERT_EQ(chmod((fDirectory + "/tolvar").c_str(), 0755), 0);
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadFile(SettingsPath()),
              "<container>\n\t<board-skin>Glass</board-skin>\n</container>\n");
}

// What the settings take reads back after a restart, stored as the file can
// hold it; what the file could not hold they refuse, leaving the rest.
TEST_F(SettingsTest, WhatIsStoredReadsBackAfterARestart)
{
    const std::string kFFFD = "\xef\xbf\xbd";
    const std::string huge(XMLReader::kMaxInputBytes, 'h');
    struct Case
    {
        std::string key;
        std::string value;
        bool taken;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {"board-skin", "Glass", true, "Glass"},
        {"last-username", "x\ry\r\nz \"q\" a<b && c>d", true, "x\ry\r\nz \"q\" a<b && c>d"},
        {"_under.score-1", "tab\tkept", true, "tab\tkept"},
        {"caf\xc3\xa9", "\xe2\x99\x9e \xf0\x9f\x98\x80", true, "\xe2\x99\x9e \xf0\x9f\x98\x80"},
        {"control", "Wo\x01od\x1b[31m", true, "Wo" + kFFFD + "od" + kFFFD + "[31m"},
        {"latin1", "caf\xe9!", true, "caf" + kFFFD + "!"},
        {"cut", "\xe2\x99", true, kFFFD + kFFFD},
        {"overlong", "\xc0\xaf", true, kFFFD + kFFFD},
        {"surrogate", "\xed\xa0\x80", true, kFFFD + kFFFD + kFFFD},
        {"nonchar", "\xef\xbf\xbe", true, kFFFD + kFFFD + kFFFD},
        {"beyond", "\xf4\x90\x80\x80", true, kFFFD + kFFFD + kFFFD + kFFFD},
        {"", "v", false, ""},
        {"two words", "v", false, ""},
        {"1st", "v", false, ""},
        {"a/b", "v", false, ""},
        {"bad\xff", "v", false, ""},
        {"huge", huge, false, ""},
        {"board-skin", huge, false, ""},
    };
    UserSettings* settings = UserSettings::Instance();
    for (const Case& c : cases)
        EXPECT_EQ(settings->SetData(c.key, c.value), c.taken) << c.key;
    settings->SetData("cleared", "x");
    settings->SetData("CLEARED", "");
    settings->SetIntData("count", -42);
    settings->SetFloatData("width", 3.7f);
    settings->SetTag("flag", true);
    settings->SetTag("flag", true);
    settings->SetTag("gone", true);
    settings->SetTag("gone", false);
    ASSERT_TRUE(settings->WriteToFile());

    FileXMLReader restarted(SettingsPath(), false);
    EXPECT_EQ(restarted.FileStatus(), 0);
    for (const Case& c : cases)
        if (c.taken) {
            EXPECT_EQ(restarted.Data(c.key), c.stored) << c.key;
        }
    EXPECT_EQ(restarted.Data("board-skin"), "Glass");
    EXPECT_EQ(restarted.Data("cleared"), std::nullopt);
    EXPECT_TRUE(restarted.Tag("cleared"));
    EXPECT_EQ(restarted.Data("count"), "-42");
    EXPECT_EQ(restarted.Data("width"), "4");
    EXPECT_TRUE(restarted.Tag("FLAG"));
    EXPECT_FALSE(restarted.Tag("gone"));
    EXPECT_EQ(restarted.EntityTree()->CountChildren(), 15);
    EXPECT_TRUE(fAlerts.Alerts().empty());
}

TEST_F(SettingsTest, AFailedWriteLeavesTheOldFileIntact)
{
    UserSettings* settings = UserSettings::Instance();
    settings->SetData("board-skin", "Standard");
    ASSERT_TRUE(settings->WriteToFile());
    const std::string before = ReadFile(SettingsPath());

    // A file size limit makes the write fail halfway, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &original), 0);
    rlimit limited = original;
    limited.rlim_cur = before.size() + 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    settings->SetData("board-skin", std::string(5000, 'm'));
    const bool written = settings->WriteToFile();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &original), 0);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(SettingsPath()), before);
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"user-settings"});
    // The value stayed in memory and reaches the disk once writing works again.
    EXPECT_TRUE(settings->WriteToFile());
    EXPECT_NE(ReadFile(SettingsPath()).find(std::string(5000, 'm')), std::string::npos);

    // The reader writes its file once more when it goes away.
    {
        FileXMLReader reader(SettingsPath(), false);
        reader.SetData("pieces-skin", "Wood");
    }
    EXPECT_EQ(FileXMLReader(SettingsPath(), false).Data("pieces-skin"), "Wood");
}

// Through a link the file it points to is replaced, with the mode it had.
TEST_F(SettingsTest, TheFileKeepsItsLinkAndItsMode)
{
    const std::string real = fDirectory + "/elsewhere/settings.xml";
    WriteFile(real, "<container/>\n");
    ASSERT_EQ(chmod(real.c_str(), 0600), 0);
    fs::create_directories(fs::path(SettingsPath()).parent_path());
    fs::create_symlink(real, SettingsPath());
    UserSettings::Instance()->SetData("board-skin", "Glass");
    ASSERT_TRUE(UserSettings::Instance()->WriteToFile());
    EXPECT_TRUE(fs::is_symlink(SettingsPath()));
    EXPECT_EQ(ReadFile(real), "<container>\n\t<board-skin>Glass</board-skin>\n</container>\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

// Lost changes show here; a missing lock shows reliably in the thread sanitizer build.
TEST_F(SettingsTest, ChangesFromSeveralThreadsAreAllKept)
{
    UserSettings* settings = UserSettings::Instance();
    constexpr int kThreads = 4;
    constexpr int kKeys = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([settings, t] {
            for (int k = 0; k < kKeys; ++k) {
                std::string key = "k" + std::to_string(t) + "-" + std::to_string(k);
                settings->SetIntData(key, k);
                EXPECT_EQ(settings->Data(key), std::to_string(k));
                if (k % 100 == 0)
                    settings->WriteToFile();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_TRUE(settings->WriteToFile());
    EXPECT_EQ(FileXMLReader(SettingsPath(), false).EntityTree()->CountChildren(), kThreads * kKeys);
}
