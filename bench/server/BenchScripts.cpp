#include "BenchScripts.h"

#include "GameScripts.h"

namespace tolvar::bench {

std::vector<std::vector<std::string>> FixedGames(int count, int plies)
{
    std::vector<std::vector<std::string>> games;
    for (unsigned seed = 1; static_cast<int>(games.size()) < count && seed < 1000; ++seed) {
        std::vector<std::string> moves = WanderingGame(plies, seed);
        if (static_cast<int>(moves.size()) == plies)
            games.push_back(std::move(moves));
    }
    return games;
}

} // namespace tolvar::bench
