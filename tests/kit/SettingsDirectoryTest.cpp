#include "kit/SettingsDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

TEST(SettingsDirectory, FollowsTheXdgVariablesAndFallsBackToHome)
{
    struct Case
    {
        const char* config;
        const char* data;
        std::string settings;
        std::string user;
    };
    // A relative value is not a valid XDG directory and is ignored.
    const std::vector<Case> cases = {
        {"/tmp/cfg/", "/tmp/data", "/tmp/cfg", "/tmp/data"},
        {"relative", nullptr, "/home/someone/.config", "/home/someone/.local/share"},
        {nullptr, "", "/home/someone/.config", "/home/someone/.local/share"},
    };
    setenv("HOME", "/home/someone", 1);
    for (const Case& c : cases) {
        c.config ? setenv("XDG_CONFIG_HOME", c.config, 1) : unsetenv("XDG_CONFIG_HOME");
        c.data ? setenv("XDG_DATA_HOME", c.data, 1) : unsetenv("XDG_DATA_HOME");
        EXPECT_EQ(kit::UserSettingsDirectory(), c.settings);
        EXPECT_EQ(kit::UserDataDirectory(), c.user);
    }
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
}

TEST(SettingsDirectory, CreatesEveryMissingParent)
{
    std::string base =
        std::filesystem::temp_directory_path() / ("kit-dirs-" + std::to_string(getpid()));
    std::string deep = base + "/a/b/c";
    EXPECT_TRUE(kit::CreateDirectories(deep, 0744));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(kit::CreateDirectories(deep)); // existing is fine
    // Below a file nothing can be made.
    FILE* file = std::fopen((base + "/file").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_FALSE(kit::CreateDirectories(base + "/file/x"));
    std::filesystem::remove_all(base);
}
