// The MTD(f) driver for one depth and the decisions taken at the root after a pass:
// whether the pass's move is acceptable, whether deepening can stop, and the root
// tablebase probe.
#pragma once

#include <cstdint>
#include <string>

#include "board/types.h"
#include "search/hashtable.h"
#include "search/searcher.h"

namespace corvina {

// One pass of zero-window searches at depth until the bounds meet; prints one line per
// step. Returns firstGuess without searching when the time rules say stop.
std::int32_t mtdfPass(Searcher& searcher, const BoardRecord& root, std::int32_t firstGuess,
                      int depth, double budgetSeconds);

// The step line's tail: the bounds, the root entry's move, the best move and the
// bounds stored for the position after the best move.
void printHashEntry(int lower, int upper, const Position& root, const HashTable& table,
                    const Move& bestMove);

// Takes the pass's move from the root entry, judges it and decides on stopping.
void postSearchAdmin(Searcher& searcher, const Position& root, int depth, std::int32_t g);

// After move in position: -1 the game goes on, 2 stalemate, otherwise the colour that
// has just mated. "no move" counts as mate by the side not to move.
// -1 while the side to move has a legal move; else 2 for stalemate or the mating colour.
int gameStateOf(const Position& position);
int gameStateAfter(const Position& position, const Move& move);

// Probes the root and each legal root move in the tablebases; sets probeMove and
// probeValue. True when a move that wins by the tables was found.
bool rootTablebaseProbe(Searcher& searcher, const BoardRecord& root);

// The moves along the table's entries from the root, at most ten, and their text.
struct PrincipalVariation {
    static constexpr int MaxMoves = 10;
    Move moves[MaxMoves];
    int count = 0;
    std::string text;  // each move in long algebraic form, each followed by a blank
};
PrincipalVariation principalVariationLine(const Searcher& searcher, const BoardRecord& root);

// Up to ten moves along the table's entries, each followed by a blank.
std::string principalVariation(const Searcher& searcher, const BoardRecord& root);

}  // namespace corvina
