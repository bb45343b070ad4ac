// The time rule over every kind of limit a front end can give.
#include "search/limits.h"

#include <gtest/gtest.h>

namespace corvina {
namespace {

TEST(SecondsForMove, FollowsTheLimitsTheFrontEndGave) {
    struct Row {
        const char* what;
        SearchLimits limits;
        int plyCount;
        double elapsed;
        double seconds;
    };
    auto clock = [](double seconds) {
        SearchLimits limits;
        limits.clockSeconds = seconds;
        return limits;
    };
    auto level = [](int moves, double seconds, double increment, int startPly) {
        SearchLimits limits;
        limits.clockSeconds = seconds;
        limits.movesPerSession = moves;
        limits.incrementSeconds = increment;
        limits.sessionStartPly = startPly;
        return limits;
    };
    SearchLimits fixed;
    fixed.moveSeconds = 5;
    fixed.clockSeconds = 100;
    SearchLimits infinite = clock(60);
    infinite.infinite = true;
    SearchLimits toGo = clock(30);
    toGo.movesToGo = 10;
    toGo.movesPerSession = 40;  // the GUI's own count wins
    const Row rows[] = {
        {"no clock", SearchLimits{}, 0, 0, 10000},
        {"sudden death, the classic rule", clock(60), 0, 0, 0.75},
        {"classic rule, never fewer than 20 moves", clock(10), 121, 0, 0.5},
        {"classic rule takes off the time spent", clock(60), 0, 0.5, 0.25},
        {"a clock that ran out", clock(0), 10, 0, 0},
        {"capped at the longest move", clock(1e9), 0, 0, 10000},
        {"40 moves in a minute, first move", level(40, 60, 0, 0), 0, 0, (60 - 4) / 40.0},
        {"black's first move counts as the first too", level(40, 60, 0, 0), 1, 0, 1.4},
        {"ten moves played of forty", level(40, 45, 0, 0), 20, 0, (45 - 3) / 30.0},
        {"the session counted from its level command", level(40, 60, 0, 20), 20, 0, 1.4},
        {"second session after forty moves", level(40, 60, 0, 0), 80, 0, 1.4},
        {"last moves before the control keep a reserve", level(40, 10, 0, 0), 78, 0, 0.2 * 9.9},
        {"three moves on half a second keep a tenth each for the relay",
         level(40, 0.5, 0, 0), 74, 0, 0.2 * (0.5 - 0.1 * 3)},
        {"a clock below the relay reserve gives the shortest move", level(40, 0.25, 0, 0), 74,
         0, 0},
        {"increment shared over the classic move estimate", level(0, 60, 2, 0), 0, 0,
         (59.9 + 2 * 79) / 80.0},
        {"increment on a low clock keeps a reserve", level(0, 1, 2, 0), 40, 0, 0.2 * 0.9},
        {"moves to go from the GUI", toGo, 0, 0, 2.9},
        {"fixed time keeps the hard limit inside it", fixed, 0, 0, 2},
        {"fixed time takes off the time spent", fixed, 0, 0.5, 1.5},
        {"infinite", infinite, 0, 0, 10000},
    };
    for (const Row& row : rows)
        EXPECT_DOUBLE_EQ(secondsForMove(row.limits, row.plyCount, row.elapsed, 10000), row.seconds)
            << row.what;
}

}  // namespace
}  // namespace corvina
