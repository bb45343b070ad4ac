// The fixed-depth min/max alpha-beta search under the MTD(f) driver. Scores are
// White-positive: White maximises, Black minimises, nothing is negated between plies.
#pragma once

#include <cstdint>

#include "board/movegen.h"
#include "board/types.h"
#include "search/searcher.h"

namespace corvina {

inline constexpr int MateScore = 10101;  // a side mated at ply p scores 10101 - p against it

// Checks keep the depth, so a line of checks could run on without end. From this ply on
// a node is a leaf: the killer table ends here, and the stack stays bounded.
inline constexpr int MaxSearchPly = KillerPlies;

// Searches the node to depth plies with the window (alpha, beta). last is the move that
// led here ("no move" at the root, ply 0). A leaf refreshes the position's evaluation
// terms, hence the non-const position. Returns 0 at once, storing nothing, after the
// hard time limit has passed.
std::int32_t alphaBeta(Searcher& searcher, Position& position, std::int32_t alpha,
                       std::int32_t beta, int depth, int ply, const Move& last);

// Generates the node's moves (after those already in the list) and each child's keys with
// its move, once for the cut-off probe and the move loop, and starts loading each child's
// table slot: the probe and the children's own probes then find their slots in the cache
// instead of waiting on each in turn. Ordering the list must move the keys along.
void generateChildren(const Searcher& searcher, const Position& position, MoveList& list,
                      ChildKeys& keys);

// Looks the children up before searching them: one whose stored bound is deep enough
// and already beyond the window cuts the node off. Returns that bound and its index in
// bestIndex, or initialBest when no child cuts. ply is the node's: its children's mate
// scores are read at ply + 1.
std::int32_t enhancedCutoffProbe(const Searcher& searcher, const MoveList& list,
                                 const ChildKeys& keys, std::int32_t alpha, std::int32_t beta,
                                 bool whiteToMove, std::int32_t initialBest, int depth, int ply,
                                 int& bestIndex);

}  // namespace corvina
