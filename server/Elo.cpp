#include "server/Elo.h"

#include <cmath>

namespace tolvar::server {

RatingPair NewRatings(RatingPair before, double whiteScore)
{
    double expectedWhite = 1.0 / (1.0 + std::pow(10.0, (before.black - before.white) / 400.0));
    double expectedBlack = 1.0 - expectedWhite;
    double white = before.white + kEloK * (whiteScore - expectedWhite);
    double black = before.black + kEloK * ((1.0 - whiteScore) - expectedBlack);
    return {static_cast<int>(std::lround(white)), static_cast<int>(std::lround(black))};
}

} // namespace tolvar::server
