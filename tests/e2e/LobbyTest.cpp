// Accounts, logins that fail, and the lobby of two users: lists, public
// chat, arrivals and departures, with the real server and client programs.

#include "EndToEnd.h"

#include <algorithm>
#include <utility>

using e2e::LobbyChat;
using e2e::LobbyStatus;
using e2e::Rating;

namespace {

const std::string kBadPassword =
    "Authentication failed.  You may have typed in a bad username and password.  Please "
    "re-check and log in again.";
const std::string kDuplicate =
    "Authentication failed.  You may not log in twice with the same username.  Please "
    "disconnect any previous connections and try again.";

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> Players(const QJsonObject& state)
{
    std::vector<std::string> players;
    for (const QJsonValue& row : state["lobby"].toObject()["players"].toArray())
        players.push_back(e2e::Text(row.toObject()["name"]) + " " +
                          e2e::Text(row.toObject()["rating"]));
    return players;
}

} // namespace

TEST_F(EndToEnd, NewAccountsRejectedLoginsAndTheLobbyOfTwoUsers)
{
    ClientProcess& a = StartClient("a");
    ClientProcess& b = StartClient("b");

    // A new account: the login window offers the local server; the lobby
    // fills with the one player there is.
    QJsonObject start;
    ASSERT_TRUE(
        a.WaitFor([](const QJsonObject& s) { return e2e::VisibleLogins(s) == 1; }, kWait, &start));
    EXPECT_EQ(e2e::Text(start["logins"][0]["server"]), "localhost");
    ASSERT_TRUE(LogIn(a, "alice", "wonder land", true));
    EXPECT_EQ(Players(a.State()), std::vector<std::string>{"alice 1500"});
    const std::vector<std::string> sent = e2e::SentLines(a.LogPath());
    ASSERT_GE(sent.size(), 5u);
    // The trace shows the login lines, never the password.
    EXPECT_EQ(sent[0], "CREATE alice ****** \r\n");
    EXPECT_EQ(sent[1], "USER alice ****** \r\n");
    // The features come first, so that the answer to GAMES carries theirs.
    EXPECT_EQ(sent[2].rfind("FEATURES clock resign draw abort rematch", 0), 0u) << sent[2];
    EXPECT_EQ(sent[3], "GAMES \r\n");
    EXPECT_EQ(sent[4], "USERS \r\n");

    // A wrong password: the lobby's alert over "password incorrect", then
    // an empty lobby and a fresh login window offering the name typed last.
    ASSERT_TRUE(Eventually(b, "a login window",
                           [](const QJsonObject& s) { return e2e::VisibleLogins(s) == 1; }));
    ASSERT_TRUE(b.Do("login alice wonderland"));
    QJsonObject rejected;
    ASSERT_TRUE(b.WaitFor(
        [](const QJsonObject& s) { return e2e::Text(e2e::OpenAlert(s)["text"]) == kBadPassword; },
        kWait, &rejected))
        << e2e::Describe(rejected);
    EXPECT_EQ(LobbyStatus(rejected), "password incorrect");
    EXPECT_EQ(e2e::VisibleLogins(rejected), 0);
    ASSERT_TRUE(AnswerAlert(b, kBadPassword, "Hmmm..."));
    QJsonObject again;
    ASSERT_TRUE(
        b.WaitFor([](const QJsonObject& s) { return e2e::VisibleLogins(s) == 1; }, kWait, &again));
    EXPECT_EQ(LobbyStatus(again), "");
    EXPECT_EQ(e2e::Text(again["logins"][0]["user"]), "alice");
    EXPECT_FALSE(std::as_const(again)["lobby"]["chatEnabled"].toBool());

    // The right password while alice is logged in elsewhere.
    ASSERT_TRUE(b.Do("login alice wonder land"));
    ASSERT_TRUE(AnswerAlert(b, kDuplicate, "Hmmm..."));
    ASSERT_TRUE(Eventually(b, "a login window after the duplicate", [](const QJsonObject& s) {
        return e2e::VisibleLogins(s) == 1 && LobbyStatus(s).empty();
    }));

    // A second account: each lobby lists both players; alice is told bob arrived.
    ASSERT_TRUE(LogIn(b, "bob", "builder", true));
    const std::vector<std::string> both{"alice 1500", "bob 1500"};
    ASSERT_TRUE(Eventually(a, "bob's arrival", [&](const QJsonObject& s) {
        return Players(s) == both && Contains(LobbyChat(s), "System: bob has arrived");
    }));
    EXPECT_EQ(Players(b.State()), both);
    EXPECT_FALSE(Contains(LobbyChat(b.State()), "System: bob has arrived"));

    // Public chat reaches both lobbies, the sender's included.
    ASSERT_TRUE(a.Do("say hello bob, <b>how</b> are you?"));
    ASSERT_TRUE(b.Do("say fine: thanks"));
    for (ClientProcess* client : {&a, &b}) {
        ASSERT_TRUE(Eventually(*client, "both chat lines", [](const QJsonObject& s) {
            const std::vector<std::string> chat = LobbyChat(s);
            return Contains(chat, "alice: hello bob, <b>how</b> are you?") &&
                   Contains(chat, "bob: fine: thanks");
        }));
    }
    EXPECT_TRUE(
        Contains(e2e::SentLines(a.LogPath()), "PUBLMSG :hello bob, <b>how</b> are you? \r\n"));

    // Bob logs out: his lobby empties and offers a login; alice is told he
    // left.
    ASSERT_TRUE(b.Do("logout"));
    QJsonObject out;
    ASSERT_TRUE(b.WaitFor(
        [](const QJsonObject& s) {
            return e2e::VisibleLogins(s) == 1 && s["lobby"]["playerCount"].toInt() == 0;
        },
        kWait, &out))
        << e2e::Describe(out);
    EXPECT_EQ(LobbyStatus(out), "");
    ASSERT_TRUE(Eventually(a, "bob's departure", [](const QJsonObject& s) {
        return Players(s) == std::vector<std::string>{"alice 1500"} &&
               Contains(LobbyChat(s), "System: bob has left");
    }));
}
