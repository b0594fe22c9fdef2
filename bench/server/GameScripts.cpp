#include "GameScripts.h"

#include "cgc/cgc.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace tolvar::bench {

namespace {

game* Replay(const std::vector<std::string>& moves)
{
    game* record = cgc_create_seated_game();
    for (const std::string& move : moves) {
        char buffer[8] = {};
        std::memcpy(buffer, move.data(), move.size());
        cgc_make_move(record, buffer);
    }
    return record;
}

} // namespace

std::vector<std::string> WanderingGame(int plies, unsigned seed)
{
    std::vector<std::string> candidates;
    for (char f1 = 'A'; f1 <= 'H'; ++f1)
        for (char r1 = '1'; r1 <= '8'; ++r1)
            for (char f2 = 'A'; f2 <= 'H'; ++f2)
                for (char r2 = '1'; r2 <= '8'; ++r2)
                    candidates.push_back({f1, r1, f2, r2});

    std::mt19937 random(seed);
    std::vector<std::string> moves;
    game* record = Replay(moves);
    while (static_cast<int>(moves.size()) < plies) {
        std::shuffle(candidates.begin(), candidates.end(), random);
        bool found = false;
        for (const std::string& candidate : candidates) {
            char buffer[8] = {};
            std::memcpy(buffer, candidate.data(), 4);
            int code = cgc_make_move(record, buffer);
            if (code == CGC_NEED_PROMOTION) {
                buffer[4] = 'Q';
                code = cgc_make_move(record, buffer);
            }
            if (code < 0)
                continue;
            if (code == CGC_MOVE_OK || code == CGC_CHECK) {
                moves.push_back(buffer);
                found = true;
                break;
            }
            // That move ended the game; take it back by replaying.
            cgc_free_game(record);
            record = Replay(moves);
        }
        if (!found)
            break;
    }
    cgc_free_game(record);
    return moves;
}

} // namespace tolvar::bench
