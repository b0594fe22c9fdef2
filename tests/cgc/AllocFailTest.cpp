// This program brings its own engine allocator, which can be told to fail,
// and counts the blocks that are still live.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "cgc/movecheck.h"

namespace {

int allocations_left = -1; // -1: never fail
int live_blocks = 0;

struct FailAfter
{
    explicit FailAfter(int count) { allocations_left = count; }
    ~FailAfter() { allocations_left = -1; }
};

// Plays the moves; returns the results, one per move.
std::vector<int> play_all(game* g, std::initializer_list<const char*> moves)
{
    std::vector<int> results;
    for (const char* move : moves) {
        char text[8] = {};
        std::snprintf(text, sizeof text, "%s", move);
        results.push_back(cgc_make_move(g, text));
    }
    return results;
}

} // namespace

void* cgc_alloc(std::size_t size)
{
    if (allocations_left == 0)
        return nullptr;
    if (allocations_left > 0)
        --allocations_left;
    ++live_blocks;
    return std::calloc(1, size);
}

void cgc_release(void* block)
{
    if (block != nullptr)
        --live_blocks;
    std::free(block);
}

TEST(AllocationFailure, CreationGivesNullAndLeavesNothingBehind)
{
    for (int granted = 0; granted < 2; ++granted) {
        FailAfter fail(granted);
        EXPECT_EQ(cgc_create_game(), nullptr) << granted;
        EXPECT_EQ(live_blocks, 0) << granted;
    }
    char move[8] = "E2E4";
    EXPECT_EQ(cgc_make_move(nullptr, move), CGC_NO_GAME);
    EXPECT_EQ(cgc_join_game(nullptr, CGC_WHITE), CGC_NO_GAME);
    char text[CGC_BOARD_TEXT_LENGTH + 1] = "x";
    EXPECT_EQ(cgc_getboard(nullptr, text), CGC_NO_GAME);
    EXPECT_STREQ(text, "");
}

TEST(AllocationFailure, MovesGoOnWhenPositionsCannotBeCounted)
{
    game* g = cgc_create_game();
    ASSERT_NE(g, nullptr);
    cgc_join_game(g, CGC_WHITE);
    cgc_join_game(g, CGC_BLACK);
    {
        FailAfter fail(0);
        // Without table entries the shuffle never repeats, but it is played.
        EXPECT_EQ(play_all(g, {"G1F3", "G8F6", "F3G1", "F6G8", "G1F3", "G8F6", "F3G1", "F6G8",
                               "G1F3", "G8F6", "F3G1", "F6G8"}),
                  std::vector<int>(12, CGC_MOVE_OK));
        EXPECT_EQ(play_all(g, {"F2F3", "E7E5", "G2G4", "D8H4"}),
                  (std::vector<int>{0, 0, 0, CGC_MATE}));
    }
    cgc_free_game(g);
    EXPECT_EQ(live_blocks, 0);
}
