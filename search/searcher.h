// The search state an engine keeps for its whole life: the transposition table, the
// killer moves and the per-move results and flags of the driver.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>

#include "board/movegen.h"
#include "board/types.h"
#include "search/hashtable.h"

namespace corvina {

struct Engine;  // the owner: game history, pawn cache, tablebase switch

// The two hash keys of every child in a move list, by list index.
struct ChildKeys {
    std::uint64_t pair[MoveListCapacity];  // index key low, lock key high

    std::uint32_t index(int i) const { return std::uint32_t(pair[i]); }
    std::uint32_t lock(int i) const { return std::uint32_t(pair[i] >> 32); }
};

// A slot the current move's search marked as a repetition, and the position it marked.
struct RepetitionMark {
    std::uint32_t index;
    std::uint32_t lock;
};

// Which search the driver runs below its root: the design's fixed-depth alpha-beta with
// static leaves, or the strong one with a quiescence search, repetitions in the tree and
// pruning. Both share the driver, the table, the ordering and the evaluation.
enum class SearchKind : std::uint8_t { Design, Strong };

// "design" or "strong"; anything else is the design search.
SearchKind searchKindNamed(const char* name);

struct Searcher {
    Engine* engine = nullptr;
    SearchKind kind = SearchKind::Design;  // kept across moves; set by the settings
    HashTable table;  // kept across moves and games
    KillerTable killers;
    Move bestMove = NoMove;  // "no move" until a pass has produced one
    double timeBudget = 0;   // seconds, the soft limit of the move
    std::int32_t passDepth = 0;
    std::int32_t drawValue = 50;   // a root move that repeats the game scores this
    double startTime = 0;          // clock in milliseconds when the move's thinking began
    std::int32_t gameResult = -1;  // colour mated by the best move, -1 none
    std::uint8_t stopDeepening = 0;
    std::uint8_t aborted = 0;
    std::uint8_t hardAborted = 0;
    std::uint8_t acceptable = 0;
    std::int32_t probeValue = 0;
    Move probeMove = NoMove;      // best root move by the tablebases
    std::uint32_t nodeCount = 0;  // leaf evaluations of the current move
    // Set from outside the search (a front end's input thread): give up the move's
    // thinking as at the hard limit. Polled beside the clock; nullptr when nobody stops.
    const std::atomic<bool>* stopRequest = nullptr;
    std::uint32_t nodeLimit = 0;  // leaf evaluations allowed for the move; 0: no limit
    std::int32_t pollCount = 0;   // hard-limit checks since the clock was last read
    ChildKeys childKeys[KillerPlies];  // of the interior node at each ply (below 100)
    // A mark is true only for the game and history of the search that made it: these
    // are emptied before the table serves another move.
    RepetitionMark marks[MoveListCapacity];
    std::int32_t markCount = 0;
};

// Sizes and zero-fills the table for memoryBytes (hashsize * 2^20), draws the hash keys
// for its size and prints the four memory lines on out. When the table cannot be
// allocated it says so on standard error and tries half the size, down to one entry.
void initSearcher(Searcher& searcher, Engine* engine, std::int64_t memoryBytes);
void initSearcher(Searcher& searcher, Engine* engine, std::int64_t memoryBytes, std::ostream& out);

// Per-move reset: killers, results and flags, and the repetition marks of the last move
// are taken out of the table. The rest of the table, drawValue and startTime stay.
void resetSearcher(Searcher& searcher);

// Marks a root child that repeats the game as a draw worth drawValue (depth 99, no move,
// written with force) and remembers its slot.
void markRepetition(Searcher& searcher, const Position& child);

// Empties the slots still holding this search's marks; a slot another position has
// taken since is left alone.
void clearRepetitionMarks(Searcher& searcher);

}  // namespace corvina
