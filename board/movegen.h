// Pseudo-legal move generation in the fixed order, move ordering and killer moves.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace corvina {

// Room for every pseudo-legal move a position within the piece limits can have.
constexpr int MoveListCapacity = 256;

struct MoveList {
    std::int32_t count;
    Move moves[MoveListCapacity];

    void reset();  // empty list
};

constexpr int KillerPlies = 100;

struct KillerTable {
    Move moves[KillerPlies][3];
    std::int32_t scores[KillerPlies][3];

    void reset();  // all "no move", scores -30000
};

void generateMoves(MoveList& list, const Position& position);
void orderMoves(KillerTable& killers, int ply, MoveList& list, const Move& previous,
                const Move& hashMove);
void recordKiller(KillerTable& killers, int ply, const Move& move, int score);

// Leaves of the legal move tree below position (moves that leave the mover's king
// attacked are dropped); depth 0 counts the position itself. Depths beyond PerftMaxDepth
// give 0.
constexpr int PerftMaxDepth = 20;
std::uint64_t perft(const Position& position, int depth);

}  // namespace corvina
