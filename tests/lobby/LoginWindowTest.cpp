#include "lobby/LoginWindow.h"

#include "LobbyTestSupport.h"
#include "app/MessageCodes.h"
#include "lobby/BrowserWindow.h"
#include "xml/FileXMLReader.h"
#include "xml/UserSettings.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

struct LoginFixture : testing::Test
{
    // The name as the settings file on disk holds it right now.
    std::optional<std::string> StoredName()
    {
        FileXMLReader file(UserSettings::Instance()->Path(), false);
        return file.Data("last-username");
    }

    void RememberName(const std::string& name)
    {
        UserSettings::Instance()->SetData("last-username", name);
        UserSettings::Instance()->WriteToFile();
    }

    LobbyEnvironment env;
};

} // namespace

TEST_F(LoginFixture, AStoredNameIsShownAndEnterInThePasswordLogsInAndCloses)
{
    RememberName("alice");
    QPointer<LoginWindow> login = new LoginWindow();
    login->Show();
    EXPECT_EQ(login->UserField()->text(), "alice");
    EXPECT_EQ(login->focusWidget(), login->PasswordField());

    // The name must be on disk before the connection is attempted.
    std::optional<std::string> storedAtConnect;
    env.speaker.onLogin = [&] { storedAtConnect = StoredName(); };
    login->UserField()->setText("bob");
    QTest::keyClicks(login->PasswordField(), "secret");
    QTest::keyClick(login->PasswordField(), Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return login.isNull(); }));
    ASSERT_EQ(env.speaker.logins.size(), 1u);
    const auto& connect = env.speaker.logins[0];
    EXPECT_EQ(connect.server, "localhost");
    EXPECT_EQ(connect.user, "bob");
    EXPECT_EQ(connect.password, "secret");
    EXPECT_FALSE(connect.create);
    EXPECT_EQ(storedAtConnect, std::optional<std::string>("bob"));
    EXPECT_TRUE(env.Alerts().empty());
    EXPECT_EQ(env.quitRequests, 0);
}

// Every field must hold something, though blanks count; what was typed
// stays for another try. A second submit queued before the window closes
// starts nothing more.
TEST_F(LoginFixture, EveryFieldIsNeededAndTypedAsIs)
{
    RememberName("");
    struct Case
    {
        const char *server, *user, *password;
        bool create;
    };
    const Case cases[] = {{"", "bob", "pw", false},
                          {"host", "", "pw", false},
                          {"host", "bob", "", false},
                          {" ", " new user ", "  ", true}};
    for (const Case& c : cases) {
        QPointer<LoginWindow> login = new LoginWindow();
        login->Show();
        login->ServerField()->setText(c.server);
        login->UserField()->setText(c.user);
        login->PasswordField()->setText(c.password);
        login->CreateBox()->setChecked(c.create);
        login->PostMessage(MSG_LOGIN_SUBMIT);
        login->PostMessage(MSG_LOGIN_SUBMIT);
        Settle();
        if (!c.create) {
            ASSERT_FALSE(login.isNull());
            EXPECT_EQ(login->UserField()->text(), c.user);
            login->close();
        }
    }
    EXPECT_EQ(env.Alerts(), std::vector<AlertShown>(6, {"I need more info!", "OK"}));
    ASSERT_EQ(env.speaker.logins.size(), 1u);
    EXPECT_EQ(env.speaker.logins[0].server, " ");
    EXPECT_EQ(env.speaker.logins[0].user, " new user ");
    EXPECT_EQ(env.speaker.logins[0].password, "  ");
    EXPECT_TRUE(env.speaker.logins[0].create);
}

// Without a login the lobby can do nothing: every way of closing the dialog
// but logging in ends the program.
TEST_F(LoginFixture, QuitTheCloseBoxAndEscapeEndTheProgram)
{
    BrowserWindow* lobby = BrowserWindow::Instance();
    lobby->Show();
    const std::vector<std::pair<const char*, std::function<void(LoginWindow*)>>> ways = {
        {"Quit",
         [](LoginWindow* login) { QTest::mouseClick(login->QuitButton(), Qt::LeftButton); }},
        {"close box", [](LoginWindow* login) { login->close(); }},
        {"Escape", [](LoginWindow* login) { QTest::keyClick(login->UserField(), Qt::Key_Escape); }},
    };
    for (size_t i = 0; i < ways.size(); ++i) {
        auto* login = new LoginWindow();
        login->Show();
        ways[i].second(login);
        ASSERT_TRUE(WaitFor([&] { return env.quitRequests == static_cast<int>(i) + 1; }))
            << ways[i].first;
        for (QWidget* window : VisibleWindows("login"))
            delete window;
    }
    EXPECT_TRUE(env.speaker.logins.empty());
}
