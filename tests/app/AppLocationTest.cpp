#include "app/AppLocation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

TEST(AppLocation, ResourcesResolveBelowTheExecutablesAbsoluteDirectory)
{
    AppLocation* location = AppLocation::Instance();
    location->SetPath("/apps/chess");
    // No normalisation and no special cases.
    EXPECT_EQ(location->AbsolutePath("resources/sounds/check.wav"),
              "/apps/chess/resources/sounds/check.wav");
    EXPECT_EQ(location->AbsolutePath(""), "/apps/chess/");
    EXPECT_EQ(location->AbsolutePath("/etc/x"), "/apps/chess//etc/x");

    const std::string cwd = std::filesystem::current_path().string();
    const char* noLink = "/nonexistent/self-link";
    EXPECT_EQ(AppLocation::ExecutableDirectory("/apps/chess/client", noLink), "/apps/chess");
    EXPECT_EQ(AppLocation::ExecutableDirectory("./client", noLink), cwd);
    EXPECT_EQ(AppLocation::ExecutableDirectory("bin/client", noLink), cwd + "/bin");
    // A bare name (started through PATH): the running executable's real path wins.
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    location->SetExecutableCall("app_tests");
    EXPECT_EQ(location->Path(), std::filesystem::path(self).parent_path().string());
}
