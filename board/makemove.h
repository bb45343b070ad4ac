// Making moves on a Position: the fast incremental path and the rebuild fallback.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace corvina {

// The move must come from the generator for this position. Does not set the hash keys.
void makeMove(Position& position, const Move& move);
// The rebuild path alone, also used to check the fast path.
void makeMoveByRebuild(Position& position, const Move& move);
// Slots addressed by index keys, such as the search's table: the key pass can start
// loading each child's slot into the cache as soon as the child's key is known.
struct SlotArray {
    const char* base = nullptr;  // nullptr: nothing to load
    std::uint32_t mask = 0;      // an index key addresses slot key & mask
    int strideShift = 0;         // log2 of the bytes of a slot
};

// The two keys of the positions the moves lead to, from the parent's keys and board
// alone: the children need not be made. Each child's slot in slots is prefetched as its
// keys are found: spread over the pass, the loads overlap the work instead of queuing up
// behind each other in a burst after it.
void keysAfterMoves(const Position& parent, const Move* moves, int count,
                    std::uint32_t* indexKeys, std::uint32_t* lockKeys,
                    const SlotArray& slots = SlotArray{});
// Sets child's two keys from parent's and the move, without rescanning the board.
void updateKeysAfterMove(Position& child, const Position& parent, const Move& move);

}  // namespace corvina
