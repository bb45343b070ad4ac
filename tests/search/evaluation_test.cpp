#include "search/evaluation.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <sstream>
#include <utility>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

// Pawn board in the occupancy orientation from (file, rank) pairs.
std::uint64_t pawnsOn(std::initializer_list<std::pair<int, int>> squares) {
    std::uint64_t board = 0;
    for (auto [file, rank] : squares) board |= std::uint64_t(1) << (rank * 8 + 7 - file);
    return board;
}

int pawnScore(std::uint64_t white, std::uint64_t black, bool low = false, bool few = false,
              bool gone = false) {
    PawnCache cache;
    return pawnStructureScore(cache, white, black, low, few, gone);
}

Position expanded(const char* fen) {
    BoardRecord board;
    parseFen(board, fen);
    Position position{};
    expandPosition(position, board);
    return position;
}

class EvaluationOfBoards : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        seedRandom(1);
        initTables();
    }
};

TEST(PawnStructure, StartPositionFavoursBlackByTheAdvancementIndex) {
    std::uint64_t white = 0, black = 0;
    for (int f = 0; f < 8; ++f) {
        white |= pawnsOn({{f, 1}});
        black |= pawnsOn({{f, 6}});
    }
    // White 40 + 8 * 2 - 10 = 46; Black 40 + 8 * 5 - 10 = 70.
    EXPECT_EQ(pawnScore(white, black), -24);
}

TEST(PawnStructure, PassedPawnsAndTheirSupport) {
    // e7 and d6, a rank apart: both passed and supported. 10 + 300 * 3 + 100 * 3 - 10.
    EXPECT_EQ(pawnScore(pawnsOn({{4, 6}, {3, 5}}), 0), 1200);
    // d5 is two ranks behind e7: passed but unsupported. 10 + 300 * 2 + 25 * 2 - 10.
    EXPECT_EQ(pawnScore(pawnsOn({{4, 6}, {3, 4}}), 0), 650);
    // With fewPieces the end-game row and base apply: 100 + 550 * 3 + 300 * 3 - 10.
    EXPECT_EQ(pawnScore(pawnsOn({{4, 6}, {3, 5}}), 0, false, true), 2640);
}

TEST(PawnStructure, PassedMeansNoEnemyPawnAheadOnANeighbourFile) {
    // Lone c5: index 8 - 4, passed: 5 + 25 * 2 - 10 - 10.
    EXPECT_EQ(pawnScore(0, pawnsOn({{2, 4}})), -35);
    // White d3 below it guards c4: neither pawn is passed. White 5 + 5 - 20, Black
    // 5 + 25 - 20.
    EXPECT_EQ(pawnScore(pawnsOn({{3, 2}}), pawnsOn({{2, 4}})), -10 - 10);
    // White d6 is past it: both are passed. White 5 + 100 * 2 - 20.
    EXPECT_EQ(pawnScore(pawnsOn({{3, 5}}), pawnsOn({{2, 4}})), 185 - 35);
    // Side by side on the fourth rank neither stops the other. White d4 5 + 10 * 2 - 20,
    // Black c4 5 + 100 * 2 - 20.
    EXPECT_EQ(pawnScore(pawnsOn({{3, 3}}), pawnsOn({{2, 3}})), 5 - 185);
}

TEST(PawnStructure, IsolationIslandsAndDoubling) {
    // A lone pawn pays for its isolation and for its own island: 5 + 2 * 2 - 20.
    EXPECT_EQ(pawnScore(pawnsOn({{0, 1}}), 0), -11);
    // Neighbours make one island, no isolation, and support each other: 10 + 2 * 6 - 10.
    EXPECT_EQ(pawnScore(pawnsOn({{0, 1}, {1, 1}}), 0), 12);
    // Against a Black e7 (5 + 5 - 20 = -10): doubled e2/e3 10 - 70 + 5 - 20 ...
    EXPECT_EQ(pawnScore(pawnsOn({{4, 1}, {4, 2}}), pawnsOn({{4, 6}})), -75 + 10);
    // ... and tripled e2/e3/e4 15 - 160 + 10 - 20.
    EXPECT_EQ(pawnScore(pawnsOn({{4, 1}, {4, 2}, {4, 3}}), pawnsOn({{4, 6}})), -155 + 10);
}

TEST(PawnStructure, DistantPawnsCountOnlyWithFewPieces) {
    const std::uint64_t aAndE = pawnsOn({{0, 1}, {4, 1}});
    const std::uint64_t aAndD = pawnsOn({{0, 1}, {3, 1}});
    // 100 base + 2 * 10 * 2 passed - 20 isolated - 20 islands, plus the bonus.
    EXPECT_EQ(pawnScore(aAndE, 0, false, true), 100 + 200);
    EXPECT_EQ(pawnScore(aAndE, 0, false, true, true), 100 + 400);
    EXPECT_EQ(pawnScore(aAndD, 0, false, true), 100);
    // Without fewPieces: 10 + 2 * 2 * 2 - 40, no bonus.
    EXPECT_EQ(pawnScore(aAndE, 0), -22);
    // Black gets its own: a7 and e7, 100 + 2 * 30 * 2 - 40 + 200.
    EXPECT_EQ(pawnScore(0, pawnsOn({{0, 6}, {4, 6}}), false, true), -380);
}

TEST(PawnCache, IsConsultedFirstUnderTheKeyOfBoardsAndFlags) {
    const std::uint64_t white = pawnsOn({{0, 1}}), black = pawnsOn({{7, 6}});
    PawnCache cache;
    // lowMaterial + piecesGone: flags 4 + 1.
    cache[PawnKey{white, black, 5}] = 777;
    EXPECT_EQ(pawnStructureScore(cache, white, black, true, false, true), 777);
    EXPECT_EQ(cache.size(), 1u);

    const int computed = pawnStructureScore(cache, white, black, false, true, false);
    EXPECT_NE(computed, 777);
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ((cache[PawnKey{white, black, 2}]), computed);
    // A second lookup of the same key adds nothing.
    EXPECT_EQ(pawnStructureScore(cache, white, black, false, true, false), computed);
    EXPECT_EQ(cache.size(), 2u);
}

TEST(PawnCache, KeysOrderUnsignedBoardsThenSignedFlags) {
    const std::uint64_t top = std::uint64_t(1) << 63;
    EXPECT_LT((PawnKey{1, ~std::uint64_t(0), 7}), (PawnKey{top, 0, 0}));
    EXPECT_LT((PawnKey{5, 1, 7}), (PawnKey{5, top, 0}));
    EXPECT_LT((PawnKey{5, 5, -1}), (PawnKey{5, 5, 0}));
    EXPECT_FALSE((PawnKey{5, 5, 3}) < (PawnKey{5, 5, 3}));
}

TEST(Evaluate, TruncatesEachProductSeparately) {
    Position p{};
    p.pawnTerm = 19;            // 1.9
    p.kingTerm = 3;             // 1.5
    EXPECT_EQ(evaluate(p), 2);  // a single truncation of 3.4 would give 3

    p = Position{};
    p.material = 100;
    p.exchange = -900;
    p.squareControl = -39;  // -1.95 truncates toward zero
    p.development = -2;
    EXPECT_EQ(evaluate(p), -800 - 1 - 20);
}

TEST(Evaluate, NeverReturnsTheDrawScore) {
    Position p{};
    EXPECT_EQ(evaluate(p), 1);
    p.pawnTerm = 10;        // +1
    p.squareControl = -20;  // -1
    EXPECT_EQ(evaluate(p), 1);
    p.pawnTerm = 9;  // 0.9 and -1: the sum is -1, left alone
    EXPECT_EQ(evaluate(p), -1);
}

TEST_F(EvaluationOfBoards, StartPositionScoresMinusTwo) {
    Position p = expanded("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    PawnCache cache;
    evaluationTerms(p, NoMove, cache);
    EXPECT_EQ(p.pawnTerm, -24);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(evaluate(p), -2);
}

TEST_F(EvaluationOfBoards, PawnTermUsesTheFlagsOfThePass) {
    // King and pawns: the end-game row and base apply. See the breakdown below.
    Position p = expanded("8/p4k2/8/8/3P4/8/4K3/8 w - - 0 1");
    PawnCache cache;
    evaluationTerms(p, NoMove, cache);
    EXPECT_EQ(p.pawnTerm, 100);
    EXPECT_EQ(cache.count(PawnKey{p.white.pawns, p.black.pawns, 7}), 1u);
}

TEST_F(EvaluationOfBoards, BreakdownPrintsFlagsAndPawnScore) {
    BoardRecord board;
    setStartPosition(board);
    std::ostringstream out;
    printEvalBreakdown(board, out);
    EXPECT_EQ(out.str(), "mid: 0, end: 0, king: 0\ndiff: -24\n");

    // d4 passed and unblocked: 50 + 80 * 2 - 20; a7: 50 + 30 * 2 - 20.
    parseFen(board, "8/p4k2/8/8/3P4/8/4K3/8 w - - 0 1");
    out.str("");
    printEvalBreakdown(board, out);
    EXPECT_EQ(out.str(), "mid: 1, end: 1, king: 1\ndiff: 100\n");
}

// The search evaluates positions made by the fast make-move path, which leaves material
// and square control stale: the pass must rebuild every term from lists and boards.
TEST_F(EvaluationOfBoards, MadePositionsScoreAsTheirFullExpansion) {
    std::mt19937 rng(2024);
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    };
    PawnCache cache;
    int compared = 0;
    for (const char* fen : fens) {
        for (int game = 0; game < 4; ++game) {
            Position p = expanded(fen);
            for (int ply = 0; ply < 60; ++ply) {
                MoveList list;
                list.reset();
                generateMoves(list, p);
                bool moved = false;
                for (int attempt = 0; attempt < 20 && list.count > 0 && !moved; ++attempt) {
                    const Move m = list.moves[rng() % list.count];
                    Position made = p;
                    makeMove(made, m);
                    if (made.inCheck[p.board.sideToMove()]) continue;
                    Position full{};
                    expandPosition(full, made.board);
                    evaluationTerms(made, m, cache);
                    evaluationTerms(full, m, cache);
                    const std::string where = std::string(fen) + " ply " + std::to_string(ply);
                    ASSERT_EQ(made.material, full.material) << where;
                    ASSERT_EQ(made.squareControl, full.squareControl) << where;
                    ASSERT_EQ(made.exchange, full.exchange) << where;
                    ASSERT_EQ(made.pawnTerm, full.pawnTerm) << where;
                    ASSERT_EQ(made.kingTerm, full.kingTerm) << where;
                    ASSERT_EQ(made.development, full.development) << where;
                    ASSERT_EQ(evaluate(made), evaluate(full)) << where;
                    ++compared;
                    p = made;
                    moved = true;
                }
                if (!moved) break;
            }
        }
    }
    EXPECT_GT(compared, 300);
}

}  // namespace
}  // namespace corvina
