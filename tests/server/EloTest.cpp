#include "server/Elo.h"

#include <gtest/gtest.h>

using namespace tolvar::server;

// Expected values computed by hand from the Elo formula with K = 32:
// E = 1 / (1 + 10^((Rb - Ra) / 400)), R' = R + 32 (S - E), rounded.
TEST(Elo, NewRatings)
{
    struct Case
    {
        RatingPair before;
        double whiteScore;
        RatingPair after;
    };
    const Case cases[] = {
        {{1500, 1500}, 1.0, {1516, 1484}}, {{1500, 1500}, 0.0, {1484, 1516}},
        {{1500, 1500}, 0.5, {1500, 1500}}, {{1516, 1484}, 0.5, {1515, 1485}}, // 1514.53 and 1485.47
        {{1516, 1484}, 0.0, {1499, 1501}},                                    // 1498.53 and 1501.47
        {{1484, 1516}, 0.0, {1469, 1531}},                                    // 1469.47 and 1530.53
        {{2000, 1200}, 1.0, {2000, 1200}}, // +0.32 and -0.32 round away
        {{1200, 2000}, 1.0, {1232, 1968}}, // 31.68 each way
    };
    for (const Case& c : cases) {
        RatingPair after = NewRatings(c.before, c.whiteScore);
        EXPECT_EQ(after.white, c.after.white) << c.before.white << " v " << c.before.black;
        EXPECT_EQ(after.black, c.after.black) << c.before.white << " v " << c.before.black;
    }
}
