// This program brings its own engine allocator, which can be told to fail,
// and counts the blocks that are still live.
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "cgc/movecheck.h"

namespace {

int allocations_left = -1; // -1: never fail
int live_blocks = 0;

std::vector<int> play(game* g, const std::vector<const char*>& moves)
{
    std::vector<int> results;
    char text[8];
    for (const char* move : moves)
        results.push_back(cgc_make_move(g, std::strcpy(text, move)));
    return results;
}

} // namespace

void* cgc_alloc(std::size_t size)
{
    if (allocations_left == 0)
        return nullptr;
    allocations_left -= allocations_left > 0;
    ++live_blocks;
    return std::calloc(1, size);
}

void cgc_release(void* block)
{
    live_blocks -= block != nullptr;
    std::free(block);
}

TEST(AllocationFailure, CreationGivesNullAndLeavesNothingBehind)
{
    for (int granted = 0; granted < 2; ++granted) {
        allocations_left = granted;
        EXPECT_EQ(cgc_create_game(), nullptr) << granted;
        EXPECT_EQ(live_blocks, 0) << granted;
    }
    allocations_left = -1;
    // The caller may pass the null record on.
    char move[8] = "E2E4", board[CGC_BOARD_TEXT_LENGTH + 1];
    EXPECT_EQ(cgc_make_move(nullptr, move), CGC_NO_GAME);
    EXPECT_EQ(cgc_join_game(nullptr, CGC_WHITE), CGC_NO_GAME);
    EXPECT_EQ(cgc_getboard(nullptr, board), CGC_NO_GAME);
    EXPECT_EQ(cgc_legal_moves(nullptr, nullptr, 0), 0);
}

TEST(AllocationFailure, MovesGoOnWhenPositionsCannotBeCounted)
{
    game* g = cgc_create_game();
    ASSERT_NE(g, nullptr);
    cgc_join_game(g, CGC_WHITE);
    cgc_join_game(g, CGC_BLACK);
    allocations_left = 0;
    // Without table entries the shuffle never repeats, but it is played.
    std::vector<const char*> shuffle = {"G1F3", "G8F6", "F3G1", "F6G8"};
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(play(g, shuffle), std::vector<int>(4, CGC_MOVE_OK));
    EXPECT_EQ(play(g, {"F2F3", "E7E5", "G2G4", "D8H4"}), (std::vector<int>{0, 0, 0, CGC_MATE}));
    allocations_left = -1;
    cgc_free_game(g);
    EXPECT_EQ(live_blocks, 0);
}
