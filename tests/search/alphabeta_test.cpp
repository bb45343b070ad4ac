#include "search/alphabeta.h"

#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "search/evaluation.h"
#include "search/hashtable.h"
#include "search/mtdf.h"
#include "tests/search/test_engine.h"

namespace corvina {
namespace {

using namespace testing_support;

class AlphaBeta : public ::testing::Test {
protected:
    void SetUp() override { setUpSearch(searcher, engine); }

    std::string bestMoveText() {
        std::ostringstream text;
        writeCoordinate(text, searcher.bestMove);
        return text.str();
    }

    Engine engine;
    Searcher searcher;
};

Move squares(int fromFile, int fromRank, int toFile, int toRank) {
    return Move{std::int8_t(fromFile), std::int8_t(fromRank), std::int8_t(toFile),
                std::int8_t(toRank), KindQuiet, 2};
}

// Mates found by the driver score 10101 - ply of the mated side, White-positive. The
// mate in one is found at depth 1 only because the checking move keeps the depth.
TEST_F(AlphaBeta, MatesInOneTwoAndThreeScoreByThePlyOfTheMate) {
    struct Case {
        const char* fen;
        int score;
        const char* move;
    };
    const Case cases[] = {
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 10100, "a1a8"},
        {"r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1", -10100, "a8a1"},
        {"7k/8/1R6/R7/8/8/8/K7 w - - 0 1", 10098, nullptr},
        {"k7/8/8/8/r7/1r6/8/7K b - - 0 1", -10098, nullptr},
        {"8/8/6k1/1R6/R7/8/8/K7 w - - 0 1", 10096, nullptr},
        {"k7/8/8/r7/1r6/6K1/8/8 b - - 0 1", -10096, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        setUpSearch(searcher, engine);
        CaptureStdout quiet;
        const std::int32_t g = deepen(searcher, boardFromFen(c.fen), 8);
        EXPECT_EQ(g, c.score);
        EXPECT_TRUE(searcher.stopDeepening);
        if (c.move) {
            EXPECT_EQ(bestMoveText(), c.move);
        }
    }
}

// The table outlives the move: two plies along the mate in two, the next search reads a
// mate in one from the same entries, not the distance from the old root.
TEST_F(AlphaBeta, MateFromTheTableCountsFromTheNewRoot) {
    struct Case {
        const char* fen;
        int mateInTwo;
        int mateInOne;
    };
    const Case cases[] = {
        {"k7/8/2K5/8/8/8/8/7R w - - 0 1", 10098, 10100},
        {"K7/8/2k5/8/8/8/8/7r b - - 0 1", -10098, -10100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        setUpSearch(searcher, engine);
        CaptureStdout quiet;
        BoardRecord board = boardFromFen(c.fen);
        ASSERT_EQ(deepen(searcher, board, 8), c.mateInTwo);
        for (int ply = 0; ply < 2; ++ply) {
            Position position;
            expandPosition(position, board);
            const HashEntry* entry = searcher.table.probe(position);
            ASSERT_NE(entry, nullptr);
            const Move move = completeMove(board, entry->move());
            ASSERT_FALSE(move.isNone());
            applyMoveToBoard(board, move);
        }
        EXPECT_EQ(deepen(searcher, board, 8), c.mateInOne);
    }
}

TEST_F(AlphaBeta, NoLegalMoveIsMateInCheckAndStalemateOtherwise) {
    // White's king is mated on the back rank; searched as if three plies deep.
    Position mated = positionFromFen("7k/8/8/8/8/8/5PPP/r5K1 w - - 0 1");
    EXPECT_EQ(alphaBeta(searcher, mated, -ScoreInfinity, ScoreInfinity, 2, 3, NoMove), -10098);
    Position blackMated = positionFromFen("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1");
    EXPECT_EQ(alphaBeta(searcher, blackMated, -ScoreInfinity, ScoreInfinity, 1, 1, NoMove),
              10100);

    Position stalemate = positionFromFen("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(alphaBeta(searcher, stalemate, -ScoreInfinity, ScoreInfinity, 3, 0, NoMove), 0);
    const HashEntry* entry = searcher.table.probe(stalemate);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->lower(), 0);
    EXPECT_EQ(entry->upper(), 0);
    EXPECT_EQ(searcher.nodeCount, 0u);

    // White must not stalemate with Qf7: Qf8 mates.
    CaptureStdout quiet;
    EXPECT_EQ(deepen(searcher, boardFromFen("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1"), 4), 10100);
}

TEST_F(AlphaBeta, DeepEnoughEntryAnswersWithoutSearching) {
    Position root = positionFromFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
    storeHashEntry(searcher.table, root,
                   packHashEntry(root.hashLockKey, 5, squares(4, 6, 4, 4), 500, ScoreInfinity),
                   false);
    EXPECT_EQ(alphaBeta(searcher, root, 99, 100, 3, 0, NoMove), 500);
    EXPECT_EQ(searcher.nodeCount, 0u);
    EXPECT_TRUE(searcher.killers.moves[0][0].isNone());

    // An upper bound at or below alpha answers as well.
    storeHashEntry(searcher.table, root,
                   packHashEntry(root.hashLockKey, 6, squares(4, 6, 4, 4), -ScoreInfinity, -400),
                   true);
    EXPECT_EQ(alphaBeta(searcher, root, 99, 100, 3, 0, NoMove), -400);
    EXPECT_EQ(searcher.nodeCount, 0u);
}

TEST_F(AlphaBeta, ShallowEntryOnlyGivesTheMoveToTryFirst) {
    Position root = positionFromFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
    // a7a6 stored as the move of a shallow search with a bound the real search won't give.
    storeHashEntry(searcher.table, root,
                   packHashEntry(root.hashLockKey, 1, squares(0, 6, 0, 5), 5000, ScoreInfinity),
                   false);
    const std::int32_t v = alphaBeta(searcher, root, -ScoreInfinity, ScoreInfinity, 2, 0, NoMove);
    EXPECT_LT(v, 5000);
    EXPECT_GT(searcher.nodeCount, 0u);
    const HashEntry* entry = searcher.table.probe(root);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->depth, 2);
    EXPECT_EQ(entry->lower(), v);
    EXPECT_EQ(entry->upper(), v);
}

TEST_F(AlphaBeta, ChildEntryBeyondTheWindowCutsTheNode) {
    Position root = positionFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    const Move d2d4{3, 1, 3, 3, KindQuiet, 2};
    Position child = root;
    makeMove(child, d2d4);
    updateKeysAfterMove(child, root, d2d4);

    // Too shallow for the parent's depth: the probe passes it by.
    storeHashEntry(searcher.table, child,
                   packHashEntry(child.hashLockKey, 2, NoMove, 300, ScoreInfinity), false);
    MoveList list;
    list.reset();
    ChildKeys keys;
    generateChildren(searcher, root, list, keys);
    int bestIndex = -1;
    EXPECT_EQ(enhancedCutoffProbe(searcher, list, keys, 99, 100, true, -ScoreInfinity, 3, 0,
                                  bestIndex),
              -ScoreInfinity);
    EXPECT_EQ(bestIndex, -1);

    storeHashEntry(searcher.table, child,
                   packHashEntry(child.hashLockKey, 3, NoMove, 300, ScoreInfinity), false);
    // An open window never cuts.
    EXPECT_EQ(enhancedCutoffProbe(searcher, list, keys, 99, ScoreInfinity, true, -ScoreInfinity,
                                  3, 0, bestIndex),
              -ScoreInfinity);
    EXPECT_EQ(bestIndex, -1);
    EXPECT_EQ(enhancedCutoffProbe(searcher, list, keys, 99, 100, true, -ScoreInfinity, 3, 0,
                                  bestIndex),
              300);
    ASSERT_GE(bestIndex, 0);
    EXPECT_TRUE(list.moves[bestIndex].sameSquares(d2d4));

    // The node stops before its first move and keeps the cutting move as its best.
    EXPECT_EQ(alphaBeta(searcher, root, 99, 100, 3, 0, NoMove), 300);
    EXPECT_EQ(searcher.nodeCount, 0u);
    const HashEntry* entry = searcher.table.probe(root);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->move().sameSquares(d2d4));
    EXPECT_EQ(entry->lower(), 300);
    EXPECT_EQ(entry->upper(), ScoreInfinity);
    EXPECT_TRUE(searcher.killers.moves[0][0].sameSquares(d2d4));
    EXPECT_EQ(searcher.killers.scores[0][0], 300);

    // For Black the stored upper bound must lie at or below alpha.
    Position blackRoot =
        positionFromFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
    const Move e7e5{4, 6, 4, 4, KindQuiet, 2};
    Position reply = blackRoot;
    makeMove(reply, e7e5);
    updateKeysAfterMove(reply, blackRoot, e7e5);
    storeHashEntry(searcher.table, reply,
                   packHashEntry(reply.hashLockKey, 4, NoMove, -ScoreInfinity, -200), false);
    EXPECT_EQ(alphaBeta(searcher, blackRoot, -150, -149, 3, 1, NoMove), -200);
    EXPECT_EQ(searcher.nodeCount, 0u);
}

TEST_F(AlphaBeta, RootMoveThatRepeatsTheGameGetsADrawMark) {
    const BoardRecord start = boardFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    BoardRecord afterNf3 = start;
    const Move g1f3{6, 0, 5, 2, KindQuiet, 2};
    applyMoveToBoard(afterNf3, g1f3);
    engine.history[afterNf3] = 1;
    searcher.drawValue = 37;

    Position root;
    expandPosition(root, start);
    std::string text;
    {
        CaptureStdout output;
        alphaBeta(searcher, root, -ScoreInfinity, ScoreInfinity, 2, 0, NoMove);
        text = output.str();
    }
    EXPECT_NE(text.find("repetition: g1f3, value: 37, best: "), std::string::npos) << text;
    EXPECT_EQ(text.find("repetition: ", text.find("repetition: ") + 1), std::string::npos);

    Position child = root;
    makeMove(child, g1f3);
    updateKeysAfterMove(child, root, g1f3);
    const HashEntry* mark = searcher.table.probe(child);
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->depth, RepetitionDepth);
    EXPECT_EQ(mark->lower(), 37);
    EXPECT_EQ(mark->upper(), 37);
    EXPECT_TRUE(mark->move().sameSquares(Move{7, 7, 7, 7, KindQuiet, 2}));

    // The mark holds for this game only: the next move's reset takes it out, and a mark
    // left on a root (here by hand) does not settle that root without a move.
    resetSearcher(searcher);
    EXPECT_EQ(searcher.table.probe(child), nullptr);
    storeHashEntry(searcher.table, child,
                   packHashEntry(child.hashLockKey, RepetitionDepth, NoMove, 37, 37), true);
    {
        CaptureStdout quiet;
        deepen(searcher, child.board, 2);
    }
    EXPECT_FALSE(searcher.bestMove.isNone());

    // Below the root the game is not consulted: the same position two plies down is
    // searched normally and prints nothing.
    engine.history.clear();
    BoardRecord deeper = afterNf3;
    applyMoveToBoard(deeper, Move{6, 7, 5, 5, KindQuiet, 2});
    engine.history[deeper] = 1;
    CaptureStdout output;
    alphaBeta(searcher, root, -ScoreInfinity, ScoreInfinity, 3, 0, NoMove);
    EXPECT_EQ(output.str().find("repetition: "), std::string::npos);
}

TEST_F(AlphaBeta, NodesAtTheKillerTableEndAreLeaves) {
    Position position = positionFromFen("4k3/8/8/8/8/8/3Q4/4K3 w - - 0 1");
    const Move last{4, 1, 4, 0, KindQuiet, 2};
    const std::int32_t v = alphaBeta(searcher, position, -ScoreInfinity, ScoreInfinity, 5,
                                     MaxSearchPly, last);
    EXPECT_EQ(searcher.nodeCount, 1u);
    Position evaluated = positionFromFen("4k3/8/8/8/8/8/3Q4/4K3 w - - 0 1");
    PawnCache cache;
    evaluationTerms(evaluated, last, cache);
    EXPECT_EQ(v, evaluate(evaluated));
}

// White's queen checks on and on while Black's king only walks: the checks keep the
// depth, so lines run into the ply limit. Nothing past the killer table may be touched:
// behind its moves lie the scores of the first plies, behind those the Searcher's best
// move and budget.
TEST_F(AlphaBeta, LongCheckingSequenceStopsAtThePlyLimit) {
    constexpr int startPly = MaxSearchPly - 12;
    Position position = positionFromFen("k7/8/8/8/8/8/8/3QK3 w - - 0 1");
    const std::int32_t v = alphaBeta(searcher, position, -ScoreInfinity, ScoreInfinity, 8,
                                     startPly, Move{3, 1, 3, 0, KindQuiet, 2});
    EXPECT_GT(v, 0);
    for (int ply = 0; ply < startPly; ++ply) {
        for (int slot = 0; slot < 3; ++slot) {
            EXPECT_TRUE(searcher.killers.moves[ply][slot].isNone()) << ply;
            EXPECT_EQ(searcher.killers.scores[ply][slot], -30000) << ply;
        }
    }
    EXPECT_TRUE(searcher.bestMove.isNone());
    EXPECT_EQ(searcher.timeBudget, 0.0);
    bool recorded = false;
    for (int slot = 0; slot < 3; ++slot)
        recorded = recorded || !searcher.killers.moves[KillerPlies - 1][slot].isNone();
    EXPECT_TRUE(recorded);
}

}  // namespace
}  // namespace corvina
