#include "search/strongsearch.h"

#include <gtest/gtest.h>

#include "board/movegen.h"
#include "board/position.h"
#include "search/alphabeta.h"
#include "search/evaluation.h"
#include "tests/search/test_engine.h"

namespace corvina {
namespace {

using namespace testing_support;

class StrongSearch : public ::testing::Test {
protected:
    void SetUp() override {
        setUpSearch(searcher, engine);
        searcher.kind = SearchKind::Strong;
    }

    std::int32_t standingScore(Position position) {
        evaluationTerms(position, NoMove, engine.pawnCache);
        return evaluate(position);
    }

    Engine engine;
    Searcher searcher;
};

// A leaf is scored after the captures settle: a hanging piece is taken, a defended pawn
// is not worth the queen, and the side to move may always stand pat.
TEST_F(StrongSearch, QuiescenceScoresALeafOnlyOnceTheCapturesAreOver) {
    struct Case {
        const char* fen;
        int minGain;  // White-positive change from the standing score, at least
        int maxGain;  // and at most
    };
    const Case cases[] = {
        {"4k3/8/8/3r4/8/8/8/3RK3 w - - 0 1", 400, 700},           // Rxd5, nothing takes back
        {"3rk3/8/8/8/3Q4/8/8/4K3 b - - 0 1", -1200, -800},        // Rxd4 wins the queen
        {"4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", 0, 0},             // Qxd5 cxd5 loses the queen
        {"4k3/8/8/3p4/2P5/1P6/8/4K3 b - - 0 1", -60, 0},          // dxc4 bxc4 leaves it even
        {"4k3/8/8/8/8/8/6p1/4K3 b - - 0 1", -1100, -600},         // g1=Q
    };
    for (const Case& c : cases) {
        Position position = positionFromFen(c.fen);
        const int standing = standingScore(position);
        const int value = quiesce(searcher, position, -ScoreInfinity, ScoreInfinity, 1, 0);
        EXPECT_GE(value - standing, c.minGain) << c.fen;
        EXPECT_LE(value - standing, c.maxGain) << c.fen;
    }
}

// In check a leaf may not stand pat: with no way out it is mate, counted from the root.
TEST_F(StrongSearch, QuiescenceInCheckWithoutEscapeIsMate) {
    Position mated = positionFromFen("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(quiesce(searcher, mated, -ScoreInfinity, ScoreInfinity, 3, 0), MateScore - 3);
    Position escapes = positionFromFen("7k/8/6K1/8/8/8/8/7Q b - - 0 1");
    EXPECT_LT(quiesce(searcher, escapes, -ScoreInfinity, ScoreInfinity, 3, 0), MateThreshold);
}

// Passing flips the side, drops en passant and keeps the keys as a full rebuild has them.
TEST_F(StrongSearch, NullMoveKeysMatchAFullRecomputation) {
    Position position =
        positionFromFen("rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 3");
    ASSERT_TRUE(position.board.epAvailable());
    makeNullMove(position);
    EXPECT_EQ(position.board.sideToMove(), Black);
    EXPECT_FALSE(position.board.epAvailable());
    std::uint32_t index = 0;
    std::uint32_t lock = 0;
    computeFullKeys(position, index, lock);
    EXPECT_EQ(position.hashIndexKey, index);
    EXPECT_EQ(position.hashLockKey, lock);
}

// A position the game has seen counts as a draw below the root too, worth a quarter of the
// contempt that deep: with every position two plies on already played, White cannot win
// the rook ending.
TEST_F(StrongSearch, PositionTheGameHasSeenIsADrawInTheTree) {
    searcher.drawValue = -84;
    const BoardRecord root = boardFromFen("7k/8/5K2/8/8/8/8/R7 b - - 0 1");
    Position position;
    expandPosition(position, root);
    MoveList replies;
    replies.reset();
    generateMoves(replies, position);
    for (int i = 0; i < replies.count; ++i) {
        BoardRecord reply = root;
        applyMoveToBoard(reply, replies.moves[i]);
        Position after;
        expandPosition(after, reply);
        MoveList list;
        list.reset();
        generateMoves(list, after);
        for (int k = 0; k < list.count; ++k) {
            BoardRecord played = reply;
            applyMoveToBoard(played, list.moves[k]);
            ++engine.history[played];
        }
    }
    EXPECT_EQ(deepen(searcher, root, 4), -21);
}

// Down a queen and a rook, White's only save is the perpetual Qe8+ Kh7 Qh5+ Kg8: the
// position after four plies is the root again, a draw on the path with nothing from the
// game. The design's search, blind to it below the root, scores the lost material.
TEST_F(StrongSearch, PerpetualCheckOnThePathIsADraw) {
    searcher.drawValue = -84;
    const BoardRecord root = boardFromFen("6k1/3Q2p1/8/8/8/1q6/r5PP/7K w - - 0 1");
    EXPECT_EQ(deepen(searcher, root, 6), -21);

    Engine designEngine;
    Searcher design;
    setUpSearch(design, designEngine);
    design.drawValue = -84;
    EXPECT_LT(deepen(design, root, 6), -300);
}

// Two searches of one position to one depth may disagree (a null move or a reduction on
// one path, a repetition on the other): the later result replaces a stored one it crosses,
// where merging would leave a lower bound above the upper. Results that agree still merge.
TEST_F(StrongSearch, ContradictingResultsReplaceRatherThanCross) {
    HashTable table;
    ASSERT_TRUE(table.allocate(1024));
    Position position;
    position.hashIndexKey = 7;
    position.hashLockKey = 0xC0FFEEu;
    const Move e2e4{4, 1, 4, 3, KindQuiet, 2};
    storeStrongResult(table, position, packHashEntry(0xC0FFEEu, 5, e2e4, 300, ScoreInfinity),
                      false);
    storeStrongResult(table, position, packHashEntry(0xC0FFEEu, 5, e2e4, -ScoreInfinity, -25),
                      false);
    EXPECT_EQ(table.slot(position).lower(), -ScoreInfinity);
    EXPECT_EQ(table.slot(position).upper(), -25);
    storeStrongResult(table, position, packHashEntry(0xC0FFEEu, 5, e2e4, -100, ScoreInfinity),
                      false);
    EXPECT_EQ(table.slot(position).lower(), -100);
    EXPECT_EQ(table.slot(position).upper(), -25);
}

// A search that fails below its window proves no move better than another, so the root
// keeps the move of the table; one that fails above it stores the move that did. Taking
// the best bound of a failed search let a pass end on an unproven, losing move.
TEST_F(StrongSearch, OnlyASearchAboveTheWindowReplacesTheNodesMove) {
    Position root = positionFromFen("4k3/8/8/3q4/8/8/8/3QK3 w - - 0 1");
    const Move kingAway{4, 0, 5, 1, KindQuiet, 2};  // Kf2 leaves the queen to be taken
    const Move takesQueen{3, 0, 3, 4, KindCapture, 2};
    storeHashEntry(searcher.table, root,
                   packHashEntry(root.hashLockKey, 3, kingAway, -ScoreInfinity, ScoreInfinity),
                   true);
    auto storedMove = [&] { return searcher.table.probe(root)->move(); };

    EXPECT_LT(strongSearch(searcher, root, 5000, 5001, 3), 5001);
    EXPECT_TRUE(storedMove().sameSquares(kingAway));
    EXPECT_GE(strongSearch(searcher, root, 500, 501, 3), 501);
    EXPECT_TRUE(storedMove().sameSquares(takesQueen));
    EXPECT_LT(strongSearch(searcher, root, 5000, 5001, 3), 5001);
    EXPECT_TRUE(storedMove().sameSquares(takesQueen));
}

// An entry of the root left deeper by an earlier search, with a move that search never
// proved, neither answers the passes nor outlives them: the move played is the passes' own.
TEST_F(StrongSearch, RootEntryOfAnEarlierSearchGivesWayToThePasses) {
    const BoardRecord root = boardFromFen("4k3/8/8/3q4/8/8/8/3QK3 w - - 0 1");
    Position position;
    expandPosition(position, root);
    const Move kingAway{4, 0, 5, 1, KindQuiet, 2};
    storeHashEntry(searcher.table, position,
                   packHashEntry(position.hashLockKey, 20, kingAway, -ScoreInfinity, 100),
                   true);
    deepen(searcher, root, 3);
    EXPECT_TRUE(searcher.bestMove.sameSquares(Move{3, 0, 3, 4, KindCapture, 2}));
}

}  // namespace
}  // namespace corvina
