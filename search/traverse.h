// The console listing of the search tree as the transposition table remembers it: the
// root with its entry and state, then every move with the entry of the position it
// leads to.
#pragma once

#include "board/types.h"
#include "search/searcher.h"

namespace corvina {

// Lists the node of board (the game position) at level 0.
void traverseTree(const Searcher& searcher, const BoardRecord& board);

// Board, entry line, level, en passant and the castling rights of the side to move.
void printNodeHeader(const Searcher& searcher, const Position& position, int level);

// "lower: ... upper: ... depth: ... mv: <variation>" with tabs, or "no hash"; no line
// end. True when the position has an entry.
bool printEntryLine(const Searcher& searcher, const Position& position);

}  // namespace corvina
