#include "search/mtdf.h"

#include <cmath>
#include <iostream>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "search/alphabeta.h"
#include "search/evaluation.h"
#include "search/searchcontext.h"
#include "search/strongsearch.h"
#include "search/timecontrol.h"
#include "tablebases/registry.h"

namespace corvina {

namespace {

bool outsideTables(int result) { return result > 1000 || result < -1000; }


}  // namespace

std::int32_t mtdfPass(Searcher& searcher, const BoardRecord& root, std::int32_t firstGuess,
                      int depth, double budgetSeconds) {
    if (shouldStopBeforePass(searcher)) return firstGuess;

    Position position;
    expandPosition(position, root);
    // The strong search's root ends on its own passes. An entry left by an earlier search,
    // where this position was an inner node, may be deeper than the passes to come, so it
    // would answer them, take none of their results, and hand over a move no search of
    // this root proved (one that failed below the window there keeps its best bound's
    // move). A repetition mark, without a move, stays.
    if (searcher.kind == SearchKind::Strong && depth == 1) {
        HashEntry& slot = searcher.table.slot(position);
        if (slot.lock == position.hashLockKey && slot.hasMove()) slot = HashEntry{};
    }
    searcher.timeBudget = budgetSeconds;
    searcher.passDepth = depth;

    // Zero-window searches close in on the value from both sides.
    std::int32_t upper = ScoreInfinity;
    std::int32_t lower = -ScoreInfinity;
    std::int32_t g = firstGuess;
    int step = 0;
    do {
        const std::int32_t beta = g == lower ? g + 1 : g;
        std::cout << "[" << step << "] beta: " << beta;
        g = searcher.kind == SearchKind::Strong
                ? strongSearch(searcher, position, beta - 1, beta, depth)
                : alphaBeta(searcher, position, beta - 1, beta, depth, 0, NoMove);
        std::cout << "  g: " << g;
        if (g < beta) {
            upper = g;
        } else {
            lower = g;
        }
        printHashEntry(lower, upper, position, searcher.table, searcher.bestMove);
        ++step;
    } while (lower < upper);
    std::cout << std::endl;

    postSearchAdmin(searcher, position, depth, g);
    return g;
}

void printHashEntry(int lower, int upper, const Position& root, const HashTable& table,
                    const Move& bestMove) {
    std::cout << "  lower: " << lower << "  upper: " << upper;
    const HashEntry* entry = table.probe(root);
    const Move stored = entry ? completeMove(root.board, entry->move()) : NoMove;
    std::cout << "  move: ";
    writeCoordinate(std::cout, stored);
    std::cout << "  best: ";
    writeCoordinate(std::cout, bestMove);
    if (!bestMove.isNone()) {
        Position child = root;
        makeMove(child, bestMove);
        updateKeysAfterMove(child, root, bestMove);
        if (const HashEntry* childEntry = table.probe(child)) {
            std::cout << ", [" << scoreFromTable(childEntry->lower(), 1) << ", "
                      << scoreFromTable(childEntry->upper(), 1) << "]";
        }
    }
    std::cout << std::endl;
}

void postSearchAdmin(Searcher& searcher, const Position& root, int depth, std::int32_t g) {
    // An aborted pass says nothing about the root: its move and verdict stay.
    if (!searcher.aborted) {
        if (const HashEntry* entry = searcher.table.probe(root)) {
            const Move move = completeMove(root.board, entry->move());
            if (move.isNone()) {
                std::cout << "postadmin: no move found!" << std::endl;
            } else if (entry->lower() == g && entry->upper() == g) {
                searcher.acceptable = true;
                searcher.bestMove = move;
                std::cout << "postadmin: acceptable: ";
                writeCoordinate(std::cout, move) << std::endl;
            } else if (searcher.bestMove.isNone() || !searcher.acceptable) {
                searcher.acceptable = false;
                searcher.bestMove = move;
                std::cout << "postadmin: NOT acceptable: ";
                writeCoordinate(std::cout, move) << std::endl;
            }
        }
        std::cout << "postadmin: move_: ";
        writeCoordinate(std::cout, searcher.bestMove) << std::endl;
    }

    if (searcher.bestMove.isNone()) return;
    // A mate score cannot improve with depth; 0 is a draw, which no evaluation gives.
    if (std::abs(g) >= 10000 || g == 0) searcher.stopDeepening = true;
    if (depth != 1) return;

    const int state = gameStateAfter(root, searcher.bestMove);
    if (state == 0 || state == 1) {
        searcher.gameResult = state;
        searcher.stopDeepening = true;
        return;
    }
    // A mate or draw score this early comes from the table, possibly stored by a search from
    // another root (or by the other side when one engine plays both); the tablebases are
    // exact, so they are asked all the same.
    if (!gameUsesTablebases(*searcher.engine)) return;
    if (rootTablebaseProbe(searcher, root.board)) {
        searcher.stopDeepening = true;
        searcher.bestMove = searcher.probeMove;
    }
}

// -1 when the side to move has a legal move; else 2 for stalemate or the colour that
// mated it.
int gameStateOf(const Position& position) {
    const int side = position.board.sideToMove();
    MoveList list;
    list.reset();
    generateMoves(list, position);
    for (int i = 0; i < list.count; ++i) {
        Position child = position;
        makeMove(child, list.moves[i]);
        if (!child.inCheck[side]) return -1;
    }
    return position.inCheck[side] ? 1 - side : 2;
}

int gameStateAfter(const Position& position, const Move& move) {
    if (move.isNone()) return 1 - position.board.sideToMove();
    Position after = position;
    makeMove(after, move);
    return gameStateOf(after);
}

bool rootTablebaseProbe(Searcher& searcher, const BoardRecord& root) {
    const bool white = root.sideToMove() == White;
    searcher.probeMove = NoMove;
    Position position;
    expandPosition(position, root);
    printBoard(std::cout, root) << std::endl;
    const int rootResult = probeTablebases(position);
    std::cout << "probe: " << rootResult << std::endl;
    if (outsideTables(rootResult)) return false;

    MoveList list;
    list.reset();
    generateMoves(list, position);
    std::cout << "material: " << position.material + position.exchange << std::endl;
    bool found = false;
    const int side = root.sideToMove();
    for (int i = 0; i < list.count; ++i) {
        const Move& move = list.moves[i];
        Position child = position;
        makeMove(child, move);
        if (child.inCheck[side]) continue;
        updateKeysAfterMove(child, position, move);

        std::cout << writeLongAlgebraic(move, root);
        const int result = probeTablebases(child);
        std::cout << " probe: " << result;
        // Values from White's side: a tablebase win counts 200 above the material, a
        // loss or a draw far below any move that keeps winning chances.
        std::int32_t score;
        if (outsideTables(result)) {
            evaluationTerms(child, move, gamePawnCache(*searcher.engine));
            score = evaluate(child);
        } else if (result > 0) {
            const double bonus = white ? 200 - result : result - 200;
            score = std::int32_t(std::trunc(bonus + child.material + child.exchange));
            found = true;
        } else if (result < 0) {
            score = white ? -10200 - result : result + 10200;
        } else {
            const int state = gameStateOf(child);
            if (state == 1) {
                score = std::int32_t(std::trunc(child.material + child.exchange + 200.0));
            } else if (state == 0) {
                score = -10200;
            } else {
                score = white ? -10000 : 10000;
            }
        }
        std::cout << ", value: " << score << std::endl;
        const bool better = white ? score > searcher.probeValue : score < searcher.probeValue;
        if (searcher.probeMove.isNone() || better) {
            searcher.probeValue = score;
            searcher.probeMove = move;
        }
    }
    if (searcher.probeValue == (white ? -10000 : 10000)) searcher.probeValue = 0;

    std::cout << "probe best: ";
    writeCoordinate(std::cout, searcher.probeMove) << ", " << searcher.probeValue << std::endl;
    return found;
}

PrincipalVariation principalVariationLine(const Searcher& searcher, const BoardRecord& root) {
    PrincipalVariation line;
    Position position;
    expandPosition(position, root);
    for (int i = 0; i < PrincipalVariation::MaxMoves; ++i) {
        const HashEntry* entry = searcher.table.probe(position);
        if (!entry) break;
        const Move move = completeMove(position.board, entry->move());
        if (move.isNone()) break;
        line.moves[line.count++] = move;
        line.text += writeLongAlgebraic(move, position.board);
        line.text += ' ';
        Position child = position;
        makeMove(child, move);
        updateKeysAfterMove(child, position, move);
        position = child;
    }
    return line;
}

std::string principalVariation(const Searcher& searcher, const BoardRecord& root) {
    return principalVariationLine(searcher, root).text;
}

}  // namespace corvina
