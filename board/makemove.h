// Making moves on a Position: the fast incremental path and the rebuild fallback.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace corvina {

// The move must come from the generator for this position. Does not set the hash keys.
void makeMove(Position& position, const Move& move);
// The rebuild path alone, also used to check the fast path.
void makeMoveByRebuild(Position& position, const Move& move);
// The two keys of the positions the moves lead to, from the parent's keys and board
// alone: the children need not be made.
void keysAfterMoves(const Position& parent, const Move* moves, int count,
                    std::uint32_t* indexKeys, std::uint32_t* lockKeys);
// Sets child's two keys from parent's and the move, without rescanning the board.
void updateKeysAfterMove(Position& child, const Position& parent, const Move& move);

}  // namespace corvina
