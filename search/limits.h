// What a front end allows one move's thinking: the clocks and the time control as the GUI
// gave them, a fixed time per move, a depth or node limit, or no limit until stopped. Every
// protocol fills this value; the time rule below is the one place that turns it into seconds.
#pragma once

#include <cstdint>

namespace corvina {

struct SearchLimits {
    double clockSeconds = -1.0;        // the engine's clock; -1.0 means no clock
    double opponentSeconds = -1.0;     // the opponent's clock, kept for the record
    double incrementSeconds = 0;       // added to the clock after each own move
    std::int32_t movesPerSession = 0;  // moves in each time control; 0: the whole game
    std::int32_t sessionStartPly = 0;  // game ply at which the GUI set the control
    std::int32_t movesToGo = 0;        // own moves to the next control as the GUI counts them
    double moveSeconds = 0;            // fixed time for every move; 0: none
    std::int32_t depth = 0;            // deepest pass; 0: no limit below the driver's 99
    std::uint32_t nodes = 0;           // leaf evaluations; 0: no limit
    bool infinite = false;             // think until stopped
};

// Seconds for the move about to be thought about, before 0.75 of it becomes the search's
// budget (its hard limit is three times that budget). plyCount is the game's ply count,
// elapsed the seconds already gone since the thinking began.
//
// With no clock, no time control and no fixed time this is the classic rule: the clock
// spread over 80 - plyCount / 2 moves, never fewer than 20, or maxMoveSeconds without a
// clock. A time control with a move count or an increment spreads the clock over the moves
// left to the control; a fixed time keeps even the hard limit inside it.
double secondsForMove(const SearchLimits& limits, std::int32_t plyCount, double elapsed,
                      double maxMoveSeconds);

}  // namespace corvina
