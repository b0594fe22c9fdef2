#include "app/AppLocation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace {
std::string CurrentDirectory()
{
    return std::filesystem::current_path().string();
}
const char* kNoLink = "/nonexistent/self-link";
} // namespace

TEST(AppLocation, ResolvesBelowTheExecutablesDirectory)
{
    AppLocation* location = AppLocation::Instance();
    EXPECT_EQ(location->Path(), "");
    location->SetPath("/apps/chess");
    EXPECT_EQ(location->AbsolutePath("resources/sounds/check.wav"),
              "/apps/chess/resources/sounds/check.wav");
    // No normalisation and no special cases.
    EXPECT_EQ(location->AbsolutePath(""), "/apps/chess/");
    EXPECT_EQ(location->AbsolutePath("/etc/x"), "/apps/chess//etc/x");
}

TEST(AppLocation, AbsoluteRelativeAndBareNameStartsGiveAnAbsoluteDirectory)
{
    std::string cwd = CurrentDirectory();
    EXPECT_EQ(AppLocation::ExecutableDirectory("/apps/chess/client", kNoLink), "/apps/chess");
    EXPECT_EQ(AppLocation::ExecutableDirectory("./client", kNoLink), cwd);
    EXPECT_EQ(AppLocation::ExecutableDirectory("bin/client", kNoLink), cwd + "/bin");
    // A bare name (started through PATH): the running executable's real path wins.
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string expected = std::filesystem::path(self).parent_path().string();
    EXPECT_EQ(AppLocation::ExecutableDirectory("app_tests"), expected);
    AppLocation::Instance()->SetExecutableCall("app_tests");
    EXPECT_EQ(AppLocation::Instance()->Path(), expected);
    EXPECT_EQ(AppLocation::Instance()->Path().front(), '/');
}
