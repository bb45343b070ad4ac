#include "app/engine.h"

#include <cstdlib>
#include <iostream>
#include <sstream>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "search/mtdf.h"
#include "search/timecontrol.h"
#include "search/traverse.h"
#include "tablebases/registry.h"

namespace corvina {

// The search reaches its owner through these.
bool gameHasSeen(const Engine& engine, const BoardRecord& board) {
    return engine.seenAtLeast(board, 1);
}
PawnCache& gamePawnCache(Engine& engine) { return engine.pawnCache; }
bool gameUsesTablebases(const Engine& engine) { return engine.tablebasesInUse; }

Engine::Engine(const std::string& bookPath, const std::string& egtbDirectories,
               std::int32_t hashMegabytes, std::int32_t egtbMegabytes)
    : book(bookPath) {
    initSearcher(searcher, this, std::int64_t(hashMegabytes) << 20, std::cout);
    newGame();
    // A negative size would turn into an enormous one: it asks for no cache at all.
    const std::size_t cacheBytes = egtbMegabytes > 0 ? std::size_t(egtbMegabytes) << 20 : 0;
    tablebasesInUse = startTablebases(egtbDirectories, cacheBytes);
    std::cout << (tablebasesInUse ? "egtb: in use" : "egtb: not in use") << std::endl;
}

void Engine::newGame() {
    setStartPosition(board);
    result = -1;
    plyCount = 0;
    history.clear();
    pawnCache.clear();
    resetSearcher(searcher);
}

void Engine::setPosition(const std::string& fen) {
    parseFen(board, fen.c_str());
    ++history[board];
}

void Engine::applyMove(const Move& move) {
    const BoardRecord before = board;
    applyMoveToBoard(board, move);
    ++plyCount;
    ++history[board];
    // Pawn structure changes only when a pawn moves or is taken.
    const PieceCode mover = before.squares[move.from()];
    const PieceCode taken = before.squares[move.toFile * 8 + move.toRank];
    if ((!isEmptyCode(mover) && typeOf(mover) == Pawn) ||
        ((move.kind & KindCaptureBit) && !isEmptyCode(taken) && typeOf(taken) == Pawn))
        pawnCache.clear();
    std::cout << "pawns: " << pawnCache.size() << std::endl;
}

void Engine::updateContempt() {
    contempt = 50;
    std::cout << "comp_rate: " << engineRating << std::endl;
    std::cout << "opp_rate:  " << opponentRating << std::endl;
    const int c = engineRating;
    const int o = opponentRating;
    if (o > c + 200) contempt = 300;
    else if (o > c + 100) contempt = 250;
    else if (o > c + 50) contempt = 150;
    else if (o < c - 200) contempt = -150;
    else if (o < c - 100) contempt = -100;
    std::cout << "contempt: " << contempt << std::endl;
}

double Engine::timeForMove(double startMilliseconds) const {
    const double elapsed = (clockMilliseconds() - startMilliseconds) * 0.001;
    if (clockSeconds == -1.0) return maxMoveSeconds;
    int movesLeft = 80 - plyCount / 2;
    if (movesLeft <= 20) movesLeft = 20;
    double t = clockSeconds / movesLeft - elapsed;
    if (t < 0) t = 0;
    return t < maxMoveSeconds ? t : maxMoveSeconds;
}

bool Engine::seenAtLeast(const BoardRecord& record, std::int32_t n) const {
    const auto found = history.find(record);
    return found != history.end() && found->second >= n;
}

namespace {

std::string coordinate(const Move& move) {
    std::ostringstream text;
    writeCoordinate(text, move);
    return text.str();
}

// The first move in generation order that does not leave the mover's king attacked.
Move firstLegalMove(const BoardRecord& board) {
    Position position;
    expandPosition(position, board);
    MoveList list;
    list.reset();
    generateMoves(list, position);
    const int side = board.sideToMove();
    for (int i = 0; i < list.count; ++i) {
        Position child = position;
        makeMove(child, list.moves[i]);
        if (!child.inCheck[side]) return list.moves[i];
    }
    return NoMove;
}

}  // namespace

Move Engine::think() {
    const BookEntry entry = book.lookupBookMove(board);
    if (!entry.move.isNone()) {
        std::cout << "0 0 0 0 " << entry.name << std::endl;
        return entry.move;
    }

    engineSide = board.sideToMove();
    std::cout << "now playing " << (engineSide == 1 ? "white" : "black") << std::endl;
    updateContempt();
    // Scores are from White's side: a draw worth contempt to Black is -contempt.
    searcher.drawValue = engineSide == 1 ? contempt : -contempt;

    const double start = clockMilliseconds();
    resetSearcher(searcher);
    searcher.startTime = start;
    const double t = timeForMove(start);
    std::cout << "turn:      " << plyCount << std::endl;
    std::cout << "time/move: " << t << std::endl;
    const double limit = 0.75 * t;

    Move chosen = NoMove;
    std::int32_t guess = 0;
    std::int32_t lastScore = 0;
    for (int depth = 1; depth <= 99; ++depth) {
        const double passStart = clockMilliseconds();
        const std::int32_t g = mtdfPass(searcher, board, guess, depth, limit);
        const double now = clockMilliseconds();
        const double sinceStart = (now - start) * 0.001;
        const std::string pv = principalVariation(searcher, board);
        std::cout << "MTDf  size: " << searcher.nodeCount << std::endl;
        std::cout << "      time: " << sinceStart << std::endl;
        std::cout << "      eval: " << g << std::endl;
        std::cout << "      move: " << coordinate(searcher.bestMove) << std::endl;
        std::cout << "      pv:   " << pv << std::endl;
        result = searcher.gameResult;
        chosen = searcher.bestMove;
        if (!searcher.aborted) {
            const double passSeconds = (now - passStart) * 0.001;
            const long long speed =
                passSeconds > 0 ? static_cast<long long>(searcher.nodeCount / passSeconds) : 0;
            std::cout << depth << ' ' << (engineSide == 0 ? -g : g) << ' '
                      << static_cast<long long>(sinceStart * 100) << ' ' << speed << ' ' << pv
                      << std::endl;
        }
        if (showTree) traverseTree(searcher, board);
        if (searcher.aborted) break;
        guess = g;
        lastScore = g;
        if (searcher.stopDeepening) break;
    }
    // The marks hold for this game as it stands; the table outlives both.
    clearRepetitionMarks(searcher);

    const Move probe = searcher.probeMove;
    const std::int32_t v = searcher.probeValue;
    const std::int32_t ownV = board.sideToMove() == 1 ? v : -v;
    if (probe.isNone()) {
        std::cout << "no probe move found" << std::endl;
    } else if (ownV > -10000 && std::abs(lastScore) != 10100) {
        std::cout << "using probe move " << coordinate(probe) << "(" << v << ") instead of "
                  << coordinate(chosen) << "(" << lastScore << ")" << std::endl;
        chosen = probe;
    } else {
        std::cout << "not using probe move " << coordinate(probe) << "(" << v << ")"
                  << " due to " << coordinate(chosen) << "(" << lastScore << ")" << std::endl;
    }

    // Should the table still fail the root (its slot lost to another position in every
    // pass), any legal move beats none: under a clock "no move" loses on time.
    if (chosen.isNone()) {
        chosen = firstLegalMove(board);
        if (!chosen.isNone())
            std::cout << "no move from the search, playing " << coordinate(chosen) << std::endl;
    }

    std::cout << "suggested move: " << writeLongAlgebraic(chosen, board) << std::endl;
    // With no move there is no position after it to count.
    if (!chosen.isNone()) {
        BoardRecord after = board;
        applyMoveToBoard(after, chosen);
        if (seenAtLeast(after, 3)) result = 3;
    }
    if (!searcher.acceptable)
        std::cout << "******* WARNING: using non-acceptable move! *******" << std::endl;
    printEvalBreakdown(board, std::cout);
    return chosen;
}

}  // namespace corvina
