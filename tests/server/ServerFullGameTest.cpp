#include "ServerFixture.h"

using namespace tolvar::server;
using namespace tolvar::server::test;

using FullGame = ServerFixture;

namespace {

// A game with an en passant capture (ply 9), Black castling written as O-O
// (ply 10), a promotion with capture (ply 13) and a fool's-mate finish:
// the queen on H4 checks E1 along H4-G3-F2, and every square around the
// White king is held by its own pieces or covered.
struct Ply
{
    const char* sent;
    const char* applied;
};
const Ply kMateGame[] = {
    {"A2A4", "A2A4"},
    {"G8H6", "G8H6"},
    {"A4A5", "A4A5"},
    {"E7E6", "E7E6"},
    {"F2F3", "F2F3"},
    {"F8D6", "F8D6"},
    {"H2H3", "H2H3"},
    {"B7B5", "B7B5"},
    {"A5B6", "A5B6"}, // en passant: the pawn
                      // on B5 is taken
    {"O-O", "E8G8"},
    {"B6A7", "B6A7"},
    {"C8B7", "C8B7"},
    {"A7B8Q", "A7B8Q"}, // takes the knight
                        // and becomes a queen
    {"F8E8", "F8E8"},
    {"G2G4", "G2G4"},
    {"D8H4", "D8H4"},
};

} // namespace

TEST_F(FullGame, ToMateWithEnPassantCastlingAndPromotionThenADrawChangingTheRatings)
{
    TestClient& alice = Player("alice");
    TestClient& bob = Player("bob");
    TestClient& carol = Player("carol");

    alice.Send("MAKE 1 :first");
    bob.Send("PLAY 1");
    for (TestClient* c : {&alice, &bob, &carol}) {
        EXPECT_EQ(c->Next(), "118 1 0 1 alice :first");
        EXPECT_EQ(c->Next(), "118 1 1 1 bob alice :first");
    }
    carol.Send("OBSERVE 1 on");
    EXPECT_EQ(carol.Next(), "120 1 bob alice :");

    int ply = 0;
    for (const Ply& move : kMateGame) {
        ++ply;
        TestClient& mover = ply % 2 == 1 ? alice : bob;
        if (std::string(move.sent) == "A7B8Q") {
            mover.Send("MOVE 1 A7B8");
            EXPECT_EQ(mover.Next(), "405 1 A7B8 :a pawn reaching the last rank needs a promotion "
                                    "letter (Q, R, B or N)");
        }
        mover.Send(std::string("MOVE 1 ") + move.sent);
        std::string echo = "114 1 " + std::to_string(ply) + " " + move.applied;
        for (TestClient* c : {&alice, &bob, &carol})
            ASSERT_EQ(c->Next(), echo) << move.sent;
    }
    // Black mates: 1500 v 1500 gives White (alice) 1484, Black (bob) 1516.
    for (TestClient* c : {&alice, &bob, &carol}) {
        EXPECT_EQ(c->Next(), "119 1 : Black mates. 0-1");
        EXPECT_EQ(c->Next(), "700 alice 1484");
        EXPECT_EQ(c->Next(), "700 bob 1516");
    }

    // The game is over but its players may still talk; it is no longer listed.
    alice.Send("MOVE 1 B8C8");
    EXPECT_EQ(alice.Next(), "407 :game 1 is over");
    bob.Send("GAMEMSG 1 :gg");
    for (TestClient* c : {&alice, &bob, &carol})
        EXPECT_EQ(c->Next(), "123 bob 1 :gg");
    carol.Send("GAMES");
    EXPECT_TRUE(carol.Silent());
    // Closing the window of a finished game only ends that player's part.
    alice.Send("ABORT 1");
    bob.Send("ABORT 1");
    EXPECT_TRUE(alice.Silent());
    EXPECT_TRUE(carol.Silent());
    bob.Send("GAMEMSG 1 :still there?");
    EXPECT_EQ(bob.Next(), "406 1 :no such game");

    // A draw by repetition, bob White (1516) against alice Black (1484):
    // White expected 0.546, so bob 1516 - 1.47 = 1515 and alice 1485.
    bob.Send("MAKE 1 :rematch");
    alice.Send("PLAY 2");
    for (TestClient* c : {&alice, &bob, &carol}) {
        EXPECT_EQ(c->Next(), "118 2 0 1 bob :rematch");
        EXPECT_EQ(c->Next(), "118 2 1 1 alice bob :rematch");
    }
    const char* shuffle[] = {"G1F3", "G8F6", "F3G1", "F6G8", "G1F3",
                             "G8F6", "F3G1", "F6G8", "G1F3"};
    ply = 0;
    for (const char* move : shuffle) {
        ++ply;
        TestClient& mover = ply % 2 == 1 ? bob : alice;
        mover.Send(std::string("MOVE 2 ") + move);
        std::string echo = "114 2 " + std::to_string(ply) + " " + move;
        EXPECT_EQ(alice.Next(), echo);
        EXPECT_EQ(bob.Next(), echo);
    }
    for (TestClient* c : {&alice, &bob, &carol}) {
        EXPECT_EQ(c->Next(), "119 2 : Draw by threefold repetition. 1/2-1/2");
        EXPECT_EQ(c->Next(), "700 bob 1515");
        EXPECT_EQ(c->Next(), "700 alice 1485");
    }
    carol.Send("USERS");
    EXPECT_EQ(carol.Next(), "700 alice 1485");
    EXPECT_EQ(carol.Next(), "700 bob 1515");
    EXPECT_EQ(carol.Next(), "700 carol 1500");
}
