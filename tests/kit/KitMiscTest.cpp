#include "kit/ModalAlert.h"
#include "kit/SettingsDirectory.h"
#include "kit/Threads.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

TEST(SettingsDirectory, FollowsXdgVariablesAndFallsBackToHome)
{
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/cfg/", 1);
    EXPECT_EQ(kit::UserSettingsDirectory(), "/tmp/cfg");
    // A relative value is not a valid XDG directory and is ignored.
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(kit::UserSettingsDirectory(), "/home/someone/.config");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(kit::UserSettingsDirectory(), "/home/someone/.config");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(kit::UserDataDirectory(), "/home/someone/.local/share");
}

TEST(SettingsDirectory, CreatesEveryMissingParent)
{
    std::string base =
        std::filesystem::temp_directory_path() / ("kit-dirs-" + std::to_string(getpid()));
    std::string deep = base + "/a/b/c";
    EXPECT_TRUE(kit::CreateDirectories(deep, 0744));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(kit::CreateDirectories(deep)); // existing is fine
    std::filesystem::remove_all(base);
}

TEST(Threads, StartedThreadsAreNamedAndJoinedAtTheEnd)
{
    std::atomic<int> finished{0};
    std::string seenName;
    for (int i = 0; i < 5; ++i) {
        kit::StartThread("port_listener", [&, i] {
            if (i == 0) {
                char name[32] = {};
                pthread_getname_np(pthread_self(), name, sizeof name);
                seenName = name;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ++finished;
        });
    }
    kit::JoinAllThreads();
    EXPECT_EQ(finished.load(), 5);
    EXPECT_EQ(seenName, "port_listener");
    EXPECT_EQ(kit::RunningThreadCount(), 0);
}

TEST(ModalAlert, PresenterSeesTextAndButtonAndHeadlessDefaultReturns)
{
    std::string text, button;
    ModalAlertFactory::SetPresenter([&](const std::string& t, const std::string& b, AlertType) {
        text = t;
        button = b;
    });
    EXPECT_TRUE(ModalAlertFactory::Alert("I need more info!", "OK"));
    EXPECT_EQ(text, "I need more info!");
    EXPECT_EQ(button, "OK");
    ModalAlertFactory::SetPresenter(nullptr);
    EXPECT_TRUE(ModalAlertFactory::Alert("headless", "Oops!"));
    EXPECT_EQ(text, "I need more info!");
}
