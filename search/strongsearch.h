// The strong search: the same min/max alpha-beta under the same MTD(f) driver, table,
// move ordering and evaluation, with what the fixed-depth search lacks. Its leaves are
// resolved by a quiescence search, a position repeated on the path or from the game is a
// draw at any ply, and zero-window nodes try a null move and reduce late quiet moves.
// Scores are White-positive; nothing is negated between plies.
#pragma once

#include <cstdint>

#include "board/types.h"
#include "search/hashtable.h"
#include "search/searcher.h"

namespace corvina {

// Captures and promotions are followed this many plies below a leaf; beyond it a
// position is scored as it stands, in check or not.
inline constexpr int QuiescePlies = 8;

// The root call under the driver: searches root to depth with the window (alpha, beta)
// and stores the result in the table as alphaBeta does. Returns 0 at once, storing
// nothing, after the hard time limit has passed.
std::int32_t strongSearch(Searcher& searcher, Position& root, std::int32_t alpha,
                          std::int32_t beta, int depth);

// The quiescence search of a leaf at ply: stand pat on the evaluation, then captures and
// queen promotions, most valuable victim and least valuable attacker first; a side in
// check tries every move instead. qply counts the plies below the leaf.
std::int32_t quiesce(Searcher& searcher, Position& position, std::int32_t alpha,
                     std::int32_t beta, int ply, int qply);

// Stores as the design's search does, except that a result crossing the stored one of the
// same position and depth replaces it. Null moves, reductions and the path's draws let two
// searches of one position disagree; merged, their bounds would claim both results.
void storeStrongResult(HashTable& table, const Position& position, const HashEntry& entry,
                       bool force);

// Passes the move: the other side is to move, en passant is gone, the keys follow.
void makeNullMove(Position& position);

}  // namespace corvina
