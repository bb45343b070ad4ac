#include "tests/search/test_engine.h"

#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"
#include "search/mtdf.h"
#include "search/searchcontext.h"
#include "search/timecontrol.h"

namespace corvina {

bool gameHasSeen(const Engine& engine, const BoardRecord& board) {
    return engine.history.count(board) != 0;
}

PawnCache& gamePawnCache(Engine& engine) { return engine.pawnCache; }

bool gameUsesTablebases(const Engine& engine) { return engine.tablebasesInUse; }

namespace testing_support {

void setUpSearch(Searcher& searcher, Engine& engine, std::int64_t memoryBytes) {
    seedRandom(20260101);
    initTables();
    std::ostringstream memoryLines;
    initSearcher(searcher, &engine, memoryBytes, memoryLines);
}

BoardRecord boardFromFen(const char* fen) {
    BoardRecord board;
    parseFen(board, fen);
    return board;
}

Position positionFromFen(const char* fen) {
    Position position;
    expandPosition(position, boardFromFen(fen));
    return position;
}

std::int32_t deepen(Searcher& searcher, const BoardRecord& root, int maxDepth,
                    double budgetSeconds) {
    resetSearcher(searcher);
    searcher.startTime = clockMilliseconds();
    std::int32_t guess = 0;
    for (int depth = 1; depth <= maxDepth; ++depth) {
        const std::int32_t g = mtdfPass(searcher, root, guess, depth, budgetSeconds);
        if (searcher.aborted) break;
        guess = g;
        if (searcher.stopDeepening) break;
    }
    return guess;
}

}  // namespace testing_support
}  // namespace corvina
