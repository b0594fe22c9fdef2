#pragma once
// The fixed games the load benchmark replays.

#include <string>
#include <vector>

namespace tolvar::bench {

// `count` legal games of `plies` moves each, chosen at random from fixed
// seeds with the engine, none ending before its last move.
std::vector<std::vector<std::string>> FixedGames(int count, int plies);

} // namespace tolvar::bench
