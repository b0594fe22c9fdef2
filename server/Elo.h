#pragma once
// Elo ratings: every account starts at 1500; each game moves both ratings by
// K = 32 times the difference between the score and the expected score.
// Pure functions; any thread.

namespace tolvar::server {

inline constexpr int kStartRating = 1500;
inline constexpr double kEloK = 32.0;

struct RatingPair
{
    int white;
    int black;
};

// `whiteScore` is 1 for a White win, 0 for a Black win, 0.5 for a draw.
// Each new rating is rounded to the nearest whole number on its own.
RatingPair NewRatings(RatingPair before, double whiteScore);

} // namespace tolvar::server
