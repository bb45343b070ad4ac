#include "search/strongsearch.h"

#include <algorithm>
#include <cstdlib>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/alphabeta.h"
#include "search/evaluation.h"
#include "search/hashtable.h"
#include "search/searchcontext.h"
#include "search/timecontrol.h"

namespace corvina {

namespace {

// A null move is tried from this depth on, and searched this much shallower (more from
// NullDeepFrom on).
constexpr int NullMinDepth = 2;
constexpr int NullReduction = 2;
constexpr int NullDeepFrom = 6;
// Quiet moves after the first few legal ones are searched a ply shallower from this depth
// on, two plies for the very late ones of a deep node; one that beats the bound is
// searched again at full depth.
constexpr int LateMinDepth = 3;
constexpr int LateAfterMoves = 3;
constexpr int LateDeepFrom = 6;
constexpr int LateDeepAfterMoves = 12;
// A capture that cannot lift the score to the window even with this to spare is skipped.
constexpr int DeltaMargin = 200;

// One node of the current path, on the stack of the node itself. reversible: the move
// that led here moved no pawn, captured nothing and castled not (and was no null move);
// only across such moves can an earlier position come back.
struct PathLink {
    std::uint32_t lock;
    std::uint32_t index;
    bool reversible;
    bool reversibleFromRoot;  // every move since the root was reversible
    const PathLink* parent;
};

// Every second position back along reversible moves, then the game before the root.
bool isRepetition(const Searcher& searcher, const Position& position, const PathLink& here) {
    for (const PathLink* p = &here; p->reversible && p->parent && p->parent->reversible &&
                                    p->parent->parent;) {
        p = p->parent->parent;
        if (p->lock == here.lock && p->index == here.index) return true;
    }
    return here.reversibleFromRoot && gameHasSeen(*searcher.engine, position.board);
}

// The generator leaves the promotion byte alone; presetting the whole list costs more
// than setting the moves it made.
void generateAll(MoveList& list, const Position& position) {
    list.count = 0;
    generateMoves(list, position);
    for (int i = 0; i < list.count; ++i) list.moves[i].promotion = 2;
}

int victimValue(const BoardRecord& board, const Move& move) {
    int value = 0;
    if ((move.kind & KindEnPassantBit) != 0) {
        value = pieceValueByType[Pawn];
    } else if ((move.kind & KindCaptureBit) != 0) {
        value = pieceValue(board.squares[move.to()]);
    }
    if ((move.kind & KindPromotionBit) != 0)
        value += pieceValueByType[Queen] - pieceValueByType[Pawn];
    return value;
}

// The king counts as the dearest attacker, not at its material weight.
int attackerValue(const BoardRecord& board, const Move& move) {
    const PieceCode code = board.squares[move.from()];
    return typeOf(code) == King ? 2 * pieceValueByType[Queen] : pieceValue(code);
}

bool defends(const SideState& side, int square) {
    return (side.attackA.cell(square) | side.attackB.cell(square) | side.attackC.cell(square)) !=
           0;
}

// Without a piece beside its pawns a side may be in zugzwang, where passing is no test.
bool hasPieces(const SideState& side) {
    return side.queenCount + side.rookCount + side.bishopCount + side.knightCount > 0;
}

bool isKiller(const Searcher& searcher, int ply, const Move& move) {
    if (ply >= KillerPlies) return false;
    const Move* killers = searcher.killers.moves[ply];
    return move.sameSquares(killers[0]) || move.sameSquares(killers[1]) ||
           move.sameSquares(killers[2]);
}

// A root move that repeats the game is worth the whole contempt, as in the design's
// search; a repetition deeper down a quarter of it, never 0, which the driver reads as a
// proven draw at the root.
std::int32_t treeDrawValue(const Searcher& searcher, int ply) {
    if (ply <= 1) return searcher.drawValue;
    const std::int32_t value = searcher.drawValue / 4;
    return value != 0 ? value : (searcher.drawValue < 0 ? -1 : 1);
}

// Quiescence scores stand on the board terms alone: the exchange on the last move's
// square is what the captures below work out move by move.
std::int32_t standPat(Searcher& searcher, Position& position) {
    evaluationTerms(position, NoMove, gamePawnCache(*searcher.engine));
    ++searcher.nodeCount;
    return evaluate(position);
}

std::int32_t search(Searcher& searcher, Position& position, std::int32_t alpha,
                    std::int32_t beta, int depth, int ply, const Move& last,
                    const PathLink& here, bool nullAllowed) {
    if (ply >= MaxSearchPly) depth = 0;

    // Step 1. A position met before on this path or in the game is a draw. The value
    // depends on the path, so it answers here and is not stored. Deep in the tree a draw
    // is less certain than one on the board (the table carries it to other paths), so
    // there it is never worth a piece to avoid.
    if (ply > 0 && isRepetition(searcher, position, here)) return treeDrawValue(searcher, ply);

    // Step 2. Probe, as the design's search does; the root must end with a move of its
    // own.
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

    const int side = position.board.sideToMove();
    const bool white = side == White;
    const bool inCheck = position.inCheck[side] != 0;
    std::int32_t value;
    Move nodeMove = hashMove;

    if (depth == 0) {
        // Step 3. Leaf: the quiescence search settles the captures first.
        value = quiesce(searcher, position, alpha, beta, ply, 0);
    } else {
        // Step 4. Null move: when even passing keeps the score beyond the bound, a real
        // move will too. Only in zero-window nodes, and never twice in a row.
        if (nullAllowed && ply > 0 && depth >= NullMinDepth && beta - alpha == 1 && !inCheck &&
            hasPieces(position.side(side))) {
            const std::int32_t eval = standPat(searcher, position);
            if (white ? eval >= beta : eval <= alpha) {
                Position child = position;
                makeNullMove(child);
                const int reduction = depth >= NullDeepFrom ? NullReduction + 1 : NullReduction;
                const PathLink link{child.hashLockKey, child.hashIndexKey, false, false, &here};
                std::int32_t v = search(searcher, child, alpha, beta,
                                        std::max(depth - 1 - reduction, 0), ply + 1, NoMove,
                                        link, false);
                if (searcher.hardAborted) return 0;
                if (white ? v >= beta : v <= alpha) {
                    // A mate seen after passing is not one the real moves are known to give.
                    if (std::abs(v) >= MateThreshold) v = white ? beta : alpha;
                    int lower;
                    int upper;
                    boundsOfResult(v, alpha, beta, lower, upper);
                    storeStrongResult(searcher.table, position,
                                      packHashEntry(position.hashLockKey, depth, hashMove,
                                                    scoreToTable(lower, ply),
                                                    scoreToTable(upper, ply)),
                                      false);
                    return v;
                }
            }
        }

        // Step 5. Generate and order as the design's search does.
        MoveList list;
        list.reset();
        ChildKeys& keys = searcher.childKeys[ply];
        generateChildren(searcher, position, list, keys);
        orderMoves(searcher.killers, ply, list, last, hashMove, keys.pair);

        std::int32_t best = white ? -ScoreInfinity : ScoreInfinity;
        int bestIndex = -1;
        best = enhancedCutoffProbe(searcher, list, keys, alpha, beta, white, best, depth, ply,
                                   bestIndex);
        std::int32_t runningAlpha = alpha;
        std::int32_t runningBeta = beta;
        int legalMoves = 0;

        // Step 6. The moves in order; those that surely leave the own king attacked are
        // dropped unmade.
        const IllegalMoveFilter filter = illegalMoveFilter(position);
        for (int i = 0; i < list.count; ++i) {
            if (white ? best >= beta : best <= alpha) break;

            const Move& move = list.moves[i];
            if (filter.rejects(position, move)) continue;
            Position child;
            copyPosition(child, position);
            makeMove(child, move);
            child.hashIndexKey = keys.index(i);
            child.hashLockKey = keys.lock(i);
            if (child.inCheck[side]) continue;  // leaves the own king attacked
            ++legalMoves;

            const bool givesCheck = child.inCheck[1 - side] != 0;
            const int newDepth = depth - 1 + (givesCheck ? 1 : 0);
            const bool quiet = (move.kind & (KindCaptureBit | KindPromotionBit)) == 0;
            const bool reversible = quiet && (move.kind & KindCastlingBit) == 0 &&
                                    typeOf(position.board.squares[move.from()]) != Pawn;
            const PathLink link{child.hashLockKey, child.hashIndexKey, reversible,
                                here.reversibleFromRoot && reversible, &here};

            // Late quiet moves of a zero-window node rarely matter: a shallower look
            // first, the full depth only when that one beats the bound.
            int reduction = 0;
            if (depth >= LateMinDepth && legalMoves > LateAfterMoves && beta - alpha == 1 &&
                quiet && !givesCheck && !inCheck && !move.sameSquares(hashMove) &&
                !isKiller(searcher, ply, move))
                reduction = depth >= LateDeepFrom && legalMoves > LateDeepAfterMoves ? 2 : 1;

            if (white) {
                std::int32_t v = search(searcher, child, runningAlpha, beta, newDepth - reduction,
                                        ply + 1, move, link, true);
                if (reduction && v > runningAlpha && !searcher.hardAborted)
                    v = search(searcher, child, runningAlpha, beta, newDepth, ply + 1, move, link,
                               true);
                if (v > best) {
                    best = v;
                    bestIndex = i;
                }
                runningAlpha = std::max(runningAlpha, best);
            } else {
                std::int32_t v = search(searcher, child, alpha, runningBeta, newDepth - reduction,
                                        ply + 1, move, link, true);
                if (reduction && v < runningBeta && !searcher.hardAborted)
                    v = search(searcher, child, alpha, runningBeta, newDepth, ply + 1, move, link,
                               true);
                if (v < best) {
                    best = v;
                    bestIndex = i;
                }
                runningBeta = std::min(runningBeta, best);
            }

            if (searchMustAbort(searcher, ply)) return 0;
        }

        // Step 7. The best move becomes a killer; no legal move is mate or stalemate.
        if (bestIndex != -1) {
            nodeMove = list.moves[bestIndex];
            recordKiller(searcher.killers, ply, nodeMove, white ? best : -best);
            value = best;
        } else if (inCheck) {
            value = white ? -(MateScore - ply) : MateScore - ply;
        } else {
            value = 0;
        }
    }

    // Step 8. Store with the bounds the narrowed window allows. Below the window (above
    // it for Black) every move's value is only a bound, the best of them no better proven
    // than the rest: the move the table had for this node stays. Left in, the root could
    // play a move from the last failing search of a pass rather than the one that proved
    // the pass's value.
    if ((white ? value <= alpha : value >= beta) && !hashMove.isNone()) nodeMove = hashMove;
    int lower;
    int upper;
    boundsOfResult(value, alpha, beta, lower, upper);
    storeStrongResult(searcher.table, position,
                      packHashEntry(position.hashLockKey, depth, nodeMove,
                                    scoreToTable(lower, ply), scoreToTable(upper, ply)),
                      replaceRootEntry);
    return value;
}

}  // namespace

void storeStrongResult(HashTable& table, const Position& position, const HashEntry& entry,
                       bool force) {
    if (!force) {
        const HashEntry& slot = table.slot(position);
        force = slot.lock == entry.lock && slot.depth == entry.depth &&
                std::max(slot.lower(), entry.lower()) > std::min(slot.upper(), entry.upper());
    }
    storeHashEntry(table, position, entry, force);
}

void makeNullMove(Position& position) {
    const HashKeys& keys = hashKeys();
    BoardRecord& board = position.board;
    if (board.epAvailable()) {
        position.hashIndexKey ^= keys.epIndexKey[board.epFile()];
        position.hashLockKey ^= keys.epLockKey[board.epFile()];
        board.state &= std::uint8_t(~(StateEpAvailable | StateEpFileMask));
    }
    board.state ^= StateWhiteToMove;
    position.hashIndexKey ^= keys.sideIndexKey;
    position.hashLockKey ^= keys.sideLockKey;
}

std::int32_t quiesce(Searcher& searcher, Position& position, std::int32_t alpha,
                     std::int32_t beta, int ply, int qply) {
    const int side = position.board.sideToMove();
    const bool white = side == White;
    // In check, standing pat could hide a mate: every move is tried, up to the bound.
    const bool evasions = position.inCheck[side] && qply < QuiescePlies;

    std::int32_t standing = 0;
    std::int32_t best = white ? -ScoreInfinity : ScoreInfinity;
    if (!evasions) {
        standing = standPat(searcher, position);
        best = standing;
        if (qply >= QuiescePlies) return best;
        if (white ? best >= beta : best <= alpha) return best;
    }
    std::int32_t runningAlpha = white ? std::max(alpha, best) : alpha;
    std::int32_t runningBeta = white ? beta : std::min(beta, best);

    // The moves to try, with their order keys: most valuable victim first, among equal
    // victims the least valuable attacker.
    MoveList list;
    generateAll(list, position);
    int keys[MoveListCapacity];
    int count = 0;
    const BoardRecord& board = position.board;
    const SideState& opponent = position.side(1 - side);
    for (int i = 0; i < list.count; ++i) {
        const Move& move = list.moves[i];
        const bool forcing = (move.kind & (KindCaptureBit | KindPromotionBit)) != 0;
        if (!evasions) {
            if (!forcing) continue;
            const int victim = victimValue(board, move);
            // Too little to reach the window, or a dearer piece taking a defended one:
            // neither changes the score here.
            if ((move.kind & KindPromotionBit) == 0 &&
                (white ? standing + victim + DeltaMargin <= runningAlpha
                       : standing - victim - DeltaMargin >= runningBeta))
                continue;
            if (attackerValue(board, move) > victim && defends(opponent, move.to())) continue;
        }
        keys[count] = victimValue(board, move) * 64 - attackerValue(board, move) / 100;
        list.moves[count++] = move;
    }

    // Moves that surely leave the own king attacked are dropped unmade.
    const IllegalMoveFilter filter = illegalMoveFilter(position);
    int legalMoves = 0;
    for (int n = 0; n < count; ++n) {
        int pick = n;
        for (int i = n + 1; i < count; ++i) {
            if (keys[i] > keys[pick]) pick = i;
        }
        std::swap(keys[n], keys[pick]);
        std::swap(list.moves[n], list.moves[pick]);
        const Move& move = list.moves[n];

        if (filter.rejects(position, move)) continue;

        // Below a leaf nothing reads the keys: no table, no repetitions.
        Position child;
        copyPosition(child, position);
        makeMove(child, move);
        if (child.inCheck[side]) continue;
        ++legalMoves;

        if (white) {
            const std::int32_t v =
                quiesce(searcher, child, runningAlpha, beta, ply + 1, qply + 1);
            if (v > best) best = v;
            if (best >= beta) return best;
            runningAlpha = std::max(runningAlpha, best);
        } else {
            const std::int32_t v =
                quiesce(searcher, child, alpha, runningBeta, ply + 1, qply + 1);
            if (v < best) best = v;
            if (best <= alpha) return best;
            runningBeta = std::min(runningBeta, best);
        }
    }

    if (evasions && legalMoves == 0) return white ? -(MateScore - ply) : MateScore - ply;
    return best;
}

std::int32_t strongSearch(Searcher& searcher, Position& root, std::int32_t alpha,
                          std::int32_t beta, int depth) {
    const PathLink link{root.hashLockKey, root.hashIndexKey, false, true, nullptr};
    return search(searcher, root, alpha, beta, depth, 0, NoMove, link, false);
}

}  // namespace corvina
