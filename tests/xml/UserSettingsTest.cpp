#include "xml/UserSettings.h"

#include "kit/ModalAlert.h"

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

const char* const kCorruptedText = "We regret to inform you that your settings file has been "
                                   "corrupted.  It has been replaced with a fresh copy.";
const char* const kUnreadableText = "Your settings file could not be read.  It has been left as it "
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
    Unprivileged()
    {
        if (geteuid() == 0)
            fChanged = seteuid(65534) == 0;
    }
    ~Unprivileged()
    {
        if (fChanged) {
            EXPECT_EQ(seteuid(0), 0);
        }
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

private:
    bool fChanged = false;
};

// Every test gets its own settings directory and records the alerts shown.
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
        ModalAlertFactory::SetPresenter(
            [this](const std::string& text, const std::string& button, AlertType type) {
                fAlerts.push_back(text + "|" + button);
                EXPECT_EQ(type, AlertType::Info);
            });
    }
    void TearDown() override
    {
        UserSettings::ResetForTests();
        ModalAlertFactory::SetPresenter(nullptr);
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
    std::vector<std::string> fAlerts;
};

} // namespace

TEST_F(SettingsTest, AMissingFileIsCreatedSilently)
{
    testing::internal::CaptureStdout();
    UserSettings* settings = UserSettings::Instance();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "lkue\n");

    EXPECT_EQ(settings, UserSettings::Instance());
    EXPECT_EQ(settings->FileStatus(), 1);
    EXPECT_EQ(ReadFile(SettingsPath()), "<container/>\n");
    struct stat info
    {
    };
    ASSERT_EQ(stat((fDirectory + "/tolvar").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0744u);
    EXPECT_TRUE(fAlerts.empty());
    EXPECT_EQ(settings->Data("board-skin"), std::nullopt);
}

TEST_F(SettingsTest, AGoodFileIsReadAndNotRewritten)
{
    const std::string text = "<container>\n  <BOARD-SKIN>Marble</BOARD-SKIN>\n"
                             "<last-username>  bob </last-username><pieces-skin></pieces-skin>"
                             "<long>" +
                             std::string(1200, 'z') + "</long></container>";
    WriteFile(SettingsPath(), text);

    testing::internal::CaptureStdout();
    UserSettings* settings = UserSettings::Instance();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "===1000\n===" + std::to_string(text.size() - 1000) + "\n=!==0\nbeep\n");

    EXPECT_EQ(settings->FileStatus(), 0);
    EXPECT_EQ(settings->Data("board-skin"), "Marble");
    EXPECT_EQ(settings->Data("last-username"), "bob ");
    EXPECT_EQ(settings->Data("pieces-skin"), std::nullopt);
    EXPECT_EQ(settings->Data("long"), std::string(1200, 'z'));
    EXPECT_EQ(ReadFile(SettingsPath()), text);
    EXPECT_TRUE(fAlerts.empty());
}

struct UnusableFile
{
    const char* name;
    std::string content;
};

void PrintTo(const UnusableFile& file, std::ostream* out)
{
    *out << file.name;
}

class UnusableSettingsTest : public SettingsTest, public ::testing::WithParamInterface<UnusableFile>
{
};

TEST_P(UnusableSettingsTest, IsReplacedByAFreshFileWithOneAlert)
{
    WriteFile(SettingsPath(), GetParam().content);

    testing::internal::CaptureStdout();
    UserSettings* settings = UserSettings::Instance();
    std::string trace = testing::internal::GetCapturedStdout();
    UserSettings::Instance();

    EXPECT_EQ(settings->FileStatus(), 2);
    ASSERT_EQ(fAlerts.size(), 1u);
    EXPECT_EQ(fAlerts[0], std::string(kCorruptedText) + "|Oh, darn!");
    EXPECT_EQ(ReadFile(SettingsPath()), "<container/>\n");
    EXPECT_EQ(settings->Data("a"), std::nullopt);
    EXPECT_TRUE(("\n" + trace).ends_with("\n=!==0\nweep\nlkue\n")) << trace;
}

std::vector<UnusableFile> UnusableFiles()
{
    return {
        {"Empty", ""},
        {"Unfinished", "<container>\n\t<a>1</a>\n"},
        {"NotXml", "not xml at all"},
        {"Mismatched", "<container><a>1</b>"},
        {"OtherRoot", "<settings>\n\t<a>1</a>\n</settings>\n"},
        {"TrailingText", "<container><a>1</a></container>junk"},
        {"SecondRoot", "<container><a>1</a></container>\n<container/>\n"},
        {"TooDeep", std::string(100'000, ' ') + std::string(100'000, '<') + "a>"},
        {"TooLarge", "<container>" + std::string(3 << 20, ' ') + "<a>1</a></container>"},
    };
}

std::string UnusableFileName(const ::testing::TestParamInfo<UnusableFile>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Files, UnusableSettingsTest, ::testing::ValuesIn(UnusableFiles()),
                         UnusableFileName);

// A file that is there but cannot be read may hold the user's values: it
// counts as unusable, and is left as it is, then and later.
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
    EXPECT_EQ(fAlerts, std::vector<std::string>{std::string(kUnreadableText) + "|Oh, darn!"});
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
        UserSettings* settings = UserSettings::Instance();
        settings->SetData("board-skin", "Glass");
        written = settings->WriteToFile();
    }
    ASSERT_EQ(chmod((fDirectory + "/tolvar").c_str(), 0755), 0);
    EXPECT_TRUE(written);
    EXPECT_EQ(ReadFile(SettingsPath()),
              "<container>\n\t<board-skin>Glass</board-skin>\n</container>\n");
}

// What SetData takes reads back after a restart; what the file could not
// hold it refuses, leaving the rest as it was.
TEST_F(SettingsTest, SetDataRefusesWhatTheFileCouldNotHold)
{
    struct Case
    {
        std::string key;
        std::string value;
        bool taken;
    };
    const std::vector<Case> cases = {
        {"board-skin", "Glass", true},
        {"last-username", "x\ry\r\nz", true},
        {"_under.score-1", "v", true},
        {"caf\xc3\xa9", "v", true},
        {"", "v", false},
        {"two words", "v", false},
        {"1st", "v", false},
        {"a/b", "v", false},
        {"a<b", "v", false},
        {"bad\xff", "v", false},
        {"huge", std::string(XMLReader::kMaxInputBytes, 'h'), false},
        {"board-skin", std::string(XMLReader::kMaxInputBytes, 'h'), false},
    };
    UserSettings* settings = UserSettings::Instance();
    for (const Case& c : cases)
        EXPECT_EQ(settings->SetData(c.key, c.value), c.taken) << c.key;
    ASSERT_TRUE(settings->WriteToFile());

    FileXMLReader restarted(SettingsPath(), false);
    EXPECT_EQ(restarted.FileStatus(), 0);
    for (const Case& c : cases) {
        if (c.taken) {
            EXPECT_EQ(restarted.Data(c.key), c.value) << c.key;
        }
    }
    EXPECT_EQ(restarted.Data("board-skin"), "Glass");
    EXPECT_EQ(restarted.Data("huge"), std::nullopt);
}

TEST_F(SettingsTest, ValuesAndTagsSurviveARestart)
{
    UserSettings* settings = UserSettings::Instance();
    settings->SetData("last-username", "first");
    settings->SetData("LAST-USERNAME", "a<b && c>d \"q\"");
    settings->SetData("cleared", "x");
    settings->SetData("cleared", "");
    settings->SetIntData("count", -42);
    settings->SetFloatData("width", 3.7f);
    settings->SetTag("flag", true);
    settings->SetTag("flag", true);
    settings->SetTag("gone", true);
    settings->SetTag("gone", false);
    settings->SetTag("never", false);
    EXPECT_TRUE(settings->WriteToFile());

    {
        FileXMLReader restarted(SettingsPath(), false);
        EXPECT_EQ(restarted.FileStatus(), 0);
        EXPECT_EQ(restarted.Data("last-username"), "a<b && c>d \"q\"");
        EXPECT_EQ(restarted.Data("cleared"), std::nullopt);
        EXPECT_TRUE(restarted.Tag("cleared"));
        EXPECT_EQ(restarted.Data("count"), "-42");
        EXPECT_EQ(restarted.Data("width"), "4");
        EXPECT_TRUE(restarted.Tag("FLAG"));
        EXPECT_FALSE(restarted.Tag("gone"));
        EXPECT_FALSE(restarted.Tag("never"));
        EXPECT_EQ(restarted.EntityTree()->CountChildren(), 5);
        restarted.SetData("pieces-skin", "Wood");
    }
    // The reader writes its file once more when it goes away.
    FileXMLReader again(SettingsPath(), false);
    EXPECT_EQ(again.Data("pieces-skin"), "Wood");
}

// A value from a directory name or a typed text may hold what XML cannot:
// it is stored with replacement characters, and the file stays readable.
TEST_F(SettingsTest, ValuesTheFileCannotHoldAreStoredReadably)
{
    const std::string kFFFD = "\xef\xbf\xbd";
    struct Case
    {
        std::string value;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {"Wo\x01od\x1b[31m", "Wo" + kFFFD + "od" + kFFFD + "[31m"},
        {"tab\tkept", "tab\tkept"},
        {"caf\xc3\xa9 \xe2\x99\x9e \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x99\x9e \xf0\x9f\x98\x80"},
        {"latin1 caf\xe9!", "latin1 caf" + kFFFD + "!"},
        {"cut \xe2\x99", "cut " + kFFFD + kFFFD},
        {"overlong \xc0\xaf", "overlong " + kFFFD + kFFFD},
        {"surrogate \xed\xa0\x80", "surrogate " + kFFFD + kFFFD + kFFFD},
        {"nonchar \xef\xbf\xbe", "nonchar " + kFFFD + kFFFD + kFFFD},
        {"beyond \xf4\x90\x80\x80", "beyond " + kFFFD + kFFFD + kFFFD + kFFFD},
    };
    UserSettings* settings = UserSettings::Instance();
    for (size_t i = 0; i < cases.size(); ++i)
        settings->SetData("value" + std::to_string(i), cases[i].value);
    EXPECT_TRUE(settings->WriteToFile());

    FileXMLReader restarted(SettingsPath(), false);
    EXPECT_EQ(restarted.FileStatus(), 0);
    EXPECT_TRUE(fAlerts.empty());
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(restarted.Data("value" + std::to_string(i)), cases[i].stored) << i;
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
}

TEST_F(SettingsTest, WritingKeepsALinkAndTheFileMode)
{
    const std::string real = fDirectory + "/elsewhere/settings.xml";
    WriteFile(real, "<container/>\n");
    ASSERT_EQ(chmod(real.c_str(), 0600), 0);
    fs::create_directories(fs::path(SettingsPath()).parent_path());
    fs::create_symlink(real, SettingsPath());

    UserSettings* settings = UserSettings::Instance();
    settings->SetData("board-skin", "Glass");
    ASSERT_TRUE(settings->WriteToFile());

    EXPECT_TRUE(fs::is_symlink(SettingsPath()));
    EXPECT_EQ(ReadFile(real), "<container>\n\t<board-skin>Glass</board-skin>\n</container>\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SettingsTest, ASettingsPathLongerThan1024BytesIsKeptWhole)
{
    std::string longDirectory = fDirectory;
    while (longDirectory.size() <= 1100)
        longDirectory += "/" + std::string(200, 'd');
    setenv("XDG_CONFIG_HOME", longDirectory.c_str(), 1);

    UserSettings* settings = UserSettings::Instance();
    EXPECT_EQ(settings->Path(), longDirectory + "/tolvar/user-settings");
    EXPECT_EQ(settings->FileStatus(), 1);
    settings->SetData("board-skin", "Long");
    ASSERT_TRUE(settings->WriteToFile());

    FileXMLReader reread("tolvar/user-settings", true);
    EXPECT_EQ(reread.FileStatus(), 0);
    EXPECT_EQ(reread.Data("board-skin"), "Long");
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

    FileXMLReader reread(SettingsPath(), false);
    EXPECT_EQ(reread.EntityTree()->CountChildren(), kThreads * kKeys);
}
