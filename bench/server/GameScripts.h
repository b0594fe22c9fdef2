#pragma once
// Move sequences for the benchmarks that play whole games through the server.

#include <string>
#include <vector>

namespace tolvar::bench {

// A game in which every move goes on without ending it: `plies` legal moves
// picked at random (fixed seed) from what the engine accepts, passing over
// any move that would end the game. Fewer moves when it runs out of them.
std::vector<std::string> WanderingGame(int plies, unsigned seed);

} // namespace tolvar::bench
