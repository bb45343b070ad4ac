#include "search/alphabeta.h"

#include <algorithm>
#include <iostream>

#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "search/evaluation.h"
#include "search/hashtable.h"
#include "search/searchcontext.h"
#include "search/timecontrol.h"

namespace corvina {

void generateChildren(const Searcher& searcher, const Position& position, MoveList& list,
                      ChildKeys& keys) {
    static_assert(sizeof(HashEntry) == SlotArray::SlotBytes);
    const HashTable& table = searcher.table;
    ChildKeyWriter writer = childKeyWriter(
        position, keys.pair + list.count,
        SlotArray{reinterpret_cast<const char*>(table.entries.get()), table.entryCount - 1});
    generateMoves(list, position, writer);
}

std::int32_t enhancedCutoffProbe(const Searcher& searcher, const MoveList& list,
                                 const ChildKeys& keys, std::int32_t alpha, std::int32_t beta,
                                 bool whiteToMove, std::int32_t initialBest, int depth, int ply,
                                 int& bestIndex) {
    // With an open side no stored bound can lie beyond the window.
    if (whiteToMove ? beta == ScoreInfinity : alpha == -ScoreInfinity) return initialBest;

    // probeDeep, with the table's pointers and mask read once for the whole list.
    const HashTable& table = searcher.table;
    const HashEntry* entries = table.entries.get();
    const std::uint64_t* deepSlots = table.deepSlots.get();
    const std::uint32_t mask = table.entryCount - 1;
    for (int i = 0; i < list.count; ++i) {
        const std::uint32_t slot = keys.index(i) & mask;
        if (depth > 0 && !((deepSlots[slot >> 6] >> (slot & 63)) & 1)) continue;
        const HashEntry* entry = &entries[slot];
        if (entry->lock != keys.lock(i) || entry->depth < depth) continue;
        if (whiteToMove) {
            const int lower = scoreFromTable(entry->lower(), ply + 1);
            if (lower >= beta) {
                bestIndex = i;
                return lower;
            }
        } else {
            const int upper = scoreFromTable(entry->upper(), ply + 1);
            if (upper <= alpha) {
                bestIndex = i;
                return upper;
            }
        }
    }
    return initialBest;
}

namespace {

// What a node's first step answers from the table, read with its keys alone: an entry
// of at least its depth whose bound falls outside its window (as in step 1 below). The
// caller must know the node legal, its depth exact and not cut by the ply limit.
inline bool childAnswer(const Searcher& searcher, const ChildKeys& keys, int i, int depth,
                        int ply, std::int32_t alpha, std::int32_t beta, std::int32_t& value) {
    const HashEntry* entry = searcher.table.probe(keys.index(i), keys.lock(i));
    if (!entry || entry->depth < depth) return false;
    const int lower = scoreFromTable(entry->lower(), ply);
    if (lower >= beta) {
        value = lower;
        return true;
    }
    const int upper = scoreFromTable(entry->upper(), ply);
    if (upper <= alpha) {
        value = upper;
        return true;
    }
    return false;
}

}  // namespace

std::int32_t alphaBeta(Searcher& searcher, Position& position, std::int32_t alpha,
                       std::int32_t beta, int depth, int ply, const Move& last) {
    if (ply >= MaxSearchPly) depth = 0;

    // Step 1. Probe: a deep enough entry answers or narrows the window; any entry of
    // this position gives the move to try first. The root must end with a move of its
    // own: an answer without one (a repetition mark from another game, say) neither
    // settles it nor keeps its result out of the slot.
    Move hashMove = NoMove;
    bool replaceRootEntry = false;
    if (const HashEntry* entry = searcher.table.probe(position)) {
        const bool moveless = ply == 0 && !entry->hasMove();
        replaceRootEntry = moveless && entry->depth > depth;
        if (entry->depth >= depth && !moveless) {
            const int lower = scoreFromTable(entry->lower(), ply);
            const int upper = scoreFromTable(entry->upper(), ply);
            if (lower >= beta) return lower;
            if (upper <= alpha) return upper;
            alpha = std::max(alpha, lower);
            beta = std::min(beta, upper);
        }
        hashMove = entry->move();
    }

    std::int32_t value;
    Move nodeMove = hashMove;
    if (depth == 0) {
        // Step 2. Leaf: the static evaluation, no quiescence.
        evaluationTerms(position, last, gamePawnCache(*searcher.engine));
        ++searcher.nodeCount;
        value = evaluate(position);
    } else {
        // Step 3. Generate and order: hash move, recaptures, killers, captures.
        MoveList list;
        list.reset();
        ChildKeys& keys = searcher.childKeys[ply];
        generateChildren(searcher, position, list, keys);
        orderMoves(searcher.killers, ply, list, last, hashMove, keys.pair);

        // Step 4. Children already in the table may cut the node at once.
        const int side = position.board.sideToMove();
        const bool white = side == White;
        std::int32_t best = white ? -ScoreInfinity : ScoreInfinity;
        int bestIndex = -1;
        best = enhancedCutoffProbe(searcher, list, keys, alpha, beta, white, best, depth, ply,
                                   bestIndex);
        std::int32_t runningAlpha = alpha;
        std::int32_t runningBeta = beta;

        // Step 5. The moves in order; those that surely leave the own king attacked are
        // dropped unmade.
        const IllegalMoveFilter filter = illegalMoveFilter(position);
        const ForeseenMoveTest foreseen = foreseenMoveTest(position);
        const bool childrenMayAnswer = ply > 0 && ply + 1 < MaxSearchPly;
        for (int i = 0; i < list.count; ++i) {
            if (white ? best >= beta : best <= alpha) break;

            const Move& move = list.moves[i];
            if (filter.rejects(position, move)) continue;
            const std::int32_t childAlpha = white ? runningAlpha : alpha;
            const std::int32_t childBeta = white ? beta : runningBeta;
            // A child whose entry answers its first step need not be made, where the node
            // can tell unmade that the move is legal and gives no check (so the child's
            // depth is one less). The root makes every child: it marks repetitions.
            std::int32_t v;
            if (!(childrenMayAnswer &&
                  childAnswer(searcher, keys, i, depth - 1, ply + 1, childAlpha, childBeta, v) &&
                  foreseen.foresees(position, move))) {
                Position child;
                copyPosition(child, position);
                makeMove(child, move);
                child.hashIndexKey = keys.index(i);
                child.hashLockKey = keys.lock(i);
                if (child.inCheck[side]) continue;  // leaves the own king attacked

                // A checking move is searched one ply deeper than the others.
                const int newDepth = depth - 1 + (child.inCheck[1 - side] ? 1 : 0);

                // Only the root knows the game: a child that repeats it is marked as a
                // draw and the search below finds the mark at once.
                if (ply == 0 && gameHasSeen(*searcher.engine, child.board)) {
                    markRepetition(searcher, child);
                    std::cout << "repetition: ";
                    writeCoordinate(std::cout, move);
                    std::cout << ", value: " << searcher.drawValue << ", best: " << best
                              << std::endl;
                }
                v = alphaBeta(searcher, child, childAlpha, childBeta, newDepth, ply + 1, move);
            }

            if (white) {
                if (v > best) {
                    best = v;
                    bestIndex = i;
                }
                runningAlpha = std::max(runningAlpha, best);
            } else {
                if (v < best) {
                    best = v;
                    bestIndex = i;
                }
                runningBeta = std::min(runningBeta, best);
            }

            if (searchMustAbort(searcher, ply)) return 0;
        }

        // Step 6. The best move becomes a killer; no legal move is mate or stalemate.
        if (bestIndex != -1) {
            nodeMove = list.moves[bestIndex];
            recordKiller(searcher.killers, ply, nodeMove, white ? best : -best);
            value = best;
        } else if (position.inCheck[side]) {
            value = white ? -(MateScore - ply) : MateScore - ply;
        } else {
            value = 0;
        }
    }

    // Step 7. Store with the bounds the narrowed window allows.
    int lower;
    int upper;
    boundsOfResult(value, alpha, beta, lower, upper);
    storeHashEntry(searcher.table, position,
                   packHashEntry(position.hashLockKey, depth, nodeMove, scoreToTable(lower, ply),
                                 scoreToTable(upper, ply)),
                   replaceRootEntry);
    return value;
}

}  // namespace corvina
