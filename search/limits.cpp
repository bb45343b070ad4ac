#include "search/limits.h"

#include <algorithm>

namespace corvina {

namespace {

// The budget is 0.75 of the time per move and the hard limit three budgets: a pass that
// runs to the hard limit takes 2.25 times the time per move.
constexpr double HardLimitFactor = 2.25;

// The clock held back for each move's relay through the GUI.
constexpr double RelaySeconds = 0.1;

// Own moves still to play before the clock is refilled, this one included.
std::int32_t movesToControl(const SearchLimits& limits, std::int32_t plyCount) {
    if (limits.movesToGo > 0) return limits.movesToGo;
    if (limits.movesPerSession > 0) {
        const std::int32_t done = std::max(0, plyCount - limits.sessionStartPly) / 2;
        return limits.movesPerSession - done % limits.movesPerSession;
    }
    // The whole game on one clock: the classic estimate of the moves still to come.
    return std::max(20, 80 - plyCount / 2);
}

}  // namespace

double secondsForMove(const SearchLimits& limits, std::int32_t plyCount, double elapsed,
                      double maxMoveSeconds) {
    double t;
    if (limits.infinite) {
        t = maxMoveSeconds;
    } else if (limits.moveSeconds > 0) {
        // A fixed time per move is not carried over: even a pass cut at the hard limit
        // must end inside it, with a tenth left for the answer.
        t = 0.9 * limits.moveSeconds / HardLimitFactor - elapsed;
    } else if (limits.clockSeconds == -1.0) {
        t = maxMoveSeconds;
    } else if (limits.movesToGo > 0 || limits.movesPerSession > 0 || limits.incrementSeconds > 0) {
        // The clock and the increments still to come, shared by the moves to the control.
        // A move takes about one and a half times its share, so the last moves before
        // the control are short of time: none may let its hard limit take half the clock.
        // Each move also costs the GUI's (and an adapter's) relay, up to a tenth of a second
        // late in a game under load: that much of the clock is held back for every move to
        // the control, or for the next one when only increments refill it.
        const std::int32_t left = movesToControl(limits, plyCount);
        const bool refilled = limits.movesToGo > 0 || limits.movesPerSession > 0;
        const double held = RelaySeconds * (refilled ? left : 1);
        const double usable = std::max(0.0, limits.clockSeconds - held);
        const double share = (usable + limits.incrementSeconds * (left - 1)) / left;
        t = std::min(share, 0.2 * usable) - elapsed;
    } else {
        int movesLeft = 80 - plyCount / 2;
        if (movesLeft <= 20) movesLeft = 20;
        t = limits.clockSeconds / movesLeft - elapsed;
    }
    if (t < 0) t = 0;
    return t < maxMoveSeconds ? t : maxMoveSeconds;
}

}  // namespace corvina
