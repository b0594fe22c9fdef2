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
