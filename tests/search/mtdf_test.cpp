#include "search/mtdf.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <vector>

#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "search/alphabeta.h"
#include "tests/search/test_engine.h"

namespace corvina {
namespace {

using namespace testing_support;

const char* const StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

class Mtdf : public ::testing::Test {
protected:
    void SetUp() override { setUpSearch(searcher, engine); }

    // Stores a root entry and runs the administration of a pass at depth 2.
    std::string admin(const Position& root, const Move& move, int lower, int upper, int g,
                      int depth = 2) {
        storeHashEntry(searcher.table, root,
                       packHashEntry(root.hashLockKey, 7, move, lower, upper), true);
        CaptureStdout output;
        postSearchAdmin(searcher, root, depth, g);
        return output.str();
    }

    Engine engine;
    Searcher searcher;
};

struct Step {
    int n, beta, g, lower, upper;
};

std::vector<Step> parseSteps(const std::string& text) {
    static const std::regex line(
        R"(\[(\d+)\] beta: (-?\d+)  g: (-?\d+)  lower: (-?\d+)  upper: (-?\d+)  move: .*  best: .*)");
    std::vector<Step> steps;
    std::istringstream in(text);
    std::string s;
    std::smatch m;
    while (std::getline(in, s)) {
        if (!std::regex_match(s, m, line)) continue;
        steps.push_back({std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]),
                         std::stoi(m[5])});
    }
    return steps;
}

// Each step's window follows from the one before: beta = g + 1 after a fail high onto
// the lower bound, else g; the pass ends when the bounds meet.
void expectMtdfSequence(const std::vector<Step>& steps, int firstGuess, int result) {
    ASSERT_FALSE(steps.empty());
    int lower = -ScoreInfinity;
    int upper = ScoreInfinity;
    int g = firstGuess;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i].n, int(i));
        EXPECT_EQ(steps[i].beta, g == lower ? g + 1 : g);
        g = steps[i].g;
        if (g < steps[i].beta) {
            upper = g;
        } else {
            lower = g;
        }
        EXPECT_EQ(steps[i].lower, lower);
        EXPECT_EQ(steps[i].upper, upper);
        EXPECT_EQ(lower < upper, i + 1 < steps.size());
    }
    EXPECT_EQ(g, result);
}

TEST_F(Mtdf, WindowsFollowFromTheFirstGuessAndThePreviousStep) {
    const BoardRecord root = boardFromFen(StartFen);
    std::string first;
    std::string second;
    std::int32_t g1;
    std::int32_t g2;
    {
        CaptureStdout output;
        g1 = mtdfPass(searcher, root, 0, 2, 1e9);
        first = output.str();
    }
    {
        CaptureStdout output;
        g2 = mtdfPass(searcher, root, g1, 3, 1e9);
        second = output.str();
    }
    std::vector<Step> steps = parseSteps(first);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps[0].beta, 0);  // the window (-1, 0)
    expectMtdfSequence(steps, 0, g1);
    expectMtdfSequence(parseSteps(second), g1, g2);

    // The first pass has no best move before its end; the pass ends with an empty line
    // and the administration.
    EXPECT_NE(first.find("  best: no move\n"), std::string::npos);
    EXPECT_NE(first.find("\n\npostadmin: "), std::string::npos);
    EXPECT_EQ(searcher.passDepth, 3);

    Position position;
    expandPosition(position, root);
    const HashEntry* entry = searcher.table.probe(position);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->lower(), g2);
    EXPECT_EQ(entry->upper(), g2);
    EXPECT_TRUE(searcher.acceptable);
    EXPECT_TRUE(searcher.bestMove.sameSquares(entry->move()));
}

TEST_F(Mtdf, StepLineShowsTheBoundsOfTheBestMovesChild) {
    Position root;
    expandPosition(root, boardFromFen(StartFen));
    const Move e2e4{4, 1, 4, 3, KindQuiet, 2};
    Position child = root;
    makeMove(child, e2e4);
    updateKeysAfterMove(child, root, e2e4);
    storeHashEntry(searcher.table, root, packHashEntry(root.hashLockKey, 2, e2e4, 10, 20), true);
    storeHashEntry(searcher.table, child,
                   packHashEntry(child.hashLockKey, 1, NoMove, -5, 30000), true);
    CaptureStdout output;
    printHashEntry(-7, 8, root, searcher.table, e2e4);
    printHashEntry(-7, 8, root, searcher.table, NoMove);
    EXPECT_EQ(output.str(),
              "  lower: -7  upper: 8  move: e2e4  best: e2e4, [-5, 30000]\n"
              "  lower: -7  upper: 8  move: e2e4  best: no move\n");
}

TEST_F(Mtdf, AdministrationJudgesTheRootEntry) {
    Position root;
    expandPosition(root, boardFromFen(StartFen));
    const Move e2e4{4, 1, 4, 3, KindQuiet, 2};
    const Move d2d4{3, 1, 3, 3, KindQuiet, 2};

    // No entry: only the unchanged best move.
    {
        CaptureStdout output;
        postSearchAdmin(searcher, root, 2, 35);
        EXPECT_EQ(output.str(), "postadmin: move_: no move\n");
    }

    // A bound only, with no acceptable move yet: taken, but not acceptable.
    EXPECT_EQ(admin(root, d2d4, 35, 30000, 35),
              "postadmin: NOT acceptable: d2d4\npostadmin: move_: d2d4\n");
    EXPECT_FALSE(searcher.acceptable);

    // An exact value equal to the pass result: acceptable.
    EXPECT_EQ(admin(root, e2e4, 20, 20, 20),
              "postadmin: acceptable: e2e4\npostadmin: move_: e2e4\n");
    EXPECT_TRUE(searcher.acceptable);

    // Later a bound only: the acceptable move stays.
    EXPECT_EQ(admin(root, d2d4, -30000, 15, 15), "postadmin: move_: e2e4\n");
    EXPECT_TRUE(searcher.bestMove.sameSquares(e2e4));
    EXPECT_TRUE(searcher.acceptable);

    // A stored move the position does not have.
    EXPECT_EQ(admin(root, NoMove, 15, 15, 15),
              "postadmin: no move found!\npostadmin: move_: e2e4\n");

    // An aborted pass is not looked at.
    searcher.aborted = true;
    EXPECT_EQ(admin(root, d2d4, 15, 15, 15), "");
    EXPECT_TRUE(searcher.bestMove.sameSquares(e2e4));
    EXPECT_FALSE(searcher.stopDeepening);
}

TEST_F(Mtdf, MateAndDrawScoresStopTheDeepening) {
    Position root;
    expandPosition(root, boardFromFen(StartFen));
    const Move e2e4{4, 1, 4, 3, KindQuiet, 2};
    for (int g : {50, -9999, 9999, 1}) {
        admin(root, e2e4, g, g, g);
        EXPECT_FALSE(searcher.stopDeepening) << g;
    }
    for (int g : {0, 10000, -10000, 10096}) {
        resetSearcher(searcher);
        admin(root, e2e4, g, g, g);
        EXPECT_TRUE(searcher.stopDeepening) << g;
    }
    // Without any move nothing stops, whatever the score.
    resetSearcher(searcher);
    searcher.table.entries[root.hashIndexKey & (searcher.table.entryCount - 1)] = HashEntry{};
    CaptureStdout quiet;
    postSearchAdmin(searcher, root, 2, 0);
    EXPECT_FALSE(searcher.stopDeepening);
}

TEST_F(Mtdf, MateOnTheBoardAtDepthOneEndsTheGame) {
    CaptureStdout quiet;
    mtdfPass(searcher, boardFromFen("r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1"), 0, 1, 1e9);
    EXPECT_EQ(searcher.gameResult, 0);  // Black mates
    EXPECT_TRUE(searcher.stopDeepening);

    resetSearcher(searcher);
    mtdfPass(searcher, boardFromFen(StartFen), 0, 1, 1e9);
    EXPECT_EQ(searcher.gameResult, -1);
    EXPECT_FALSE(searcher.stopDeepening);
}

TEST(GameState, AfterAMoveTheGameGoesOnOrIsDecided) {
    Engine engine;
    Searcher searcher;
    setUpSearch(searcher, engine);
    EXPECT_EQ(gameStateAfter(positionFromFen("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1"),
                             Move{0, 0, 0, 7, KindQuiet, 2}),
              1);
    EXPECT_EQ(gameStateAfter(positionFromFen("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1"),
                             Move{0, 0, 0, 6, KindQuiet, 2}),
              -1);
    EXPECT_EQ(gameStateAfter(positionFromFen("7k/8/6K1/8/8/8/8/5Q2 w - - 0 1"),
                             Move{5, 0, 5, 6, KindQuiet, 2}),
              2);
    EXPECT_EQ(gameStateAfter(positionFromFen("r5k1/8/8/8/8/8/5PPP/6K1 b - - 0 1"),
                             Move{0, 7, 0, 0, KindQuiet, 2}),
              0);
    // No move: the side not to move is taken to have mated.
    EXPECT_EQ(gameStateAfter(positionFromFen(StartFen), NoMove), 0);
}

TEST_F(Mtdf, RootOutsideTheTablesPrintsBoardAndProbeOnly) {
    const BoardRecord root = boardFromFen(StartFen);
    std::ostringstream expected;
    printBoard(expected, root) << "\n" << "probe: 32767\n";
    CaptureStdout output;
    EXPECT_FALSE(rootTablebaseProbe(searcher, root));
    EXPECT_EQ(output.str(), expected.str());
    EXPECT_TRUE(searcher.probeMove.isNone());

    // With the switch on, the first pass asks the tables and, finding nothing, goes on.
    engine.tablebasesInUse = true;
    resetSearcher(searcher);
    mtdfPass(searcher, root, 0, 1, 1e9);
    EXPECT_NE(output.str().find("probe: 32767\n", expected.str().size()), std::string::npos);
    EXPECT_FALSE(searcher.stopDeepening);
    EXPECT_FALSE(searcher.bestMove.isNone());
}

TEST_F(Mtdf, VariationFollowsTheTableForAtMostTenMoves) {
    const BoardRecord root = boardFromFen(StartFen);
    EXPECT_EQ(principalVariation(searcher, root), "");

    // Knights out and back: a cycle of four entries.
    const Move cycle[4] = {{6, 0, 5, 2, KindQuiet, 2},
                           {6, 7, 5, 5, KindQuiet, 2},
                           {5, 2, 6, 0, KindQuiet, 2},
                           {5, 5, 6, 7, KindQuiet, 2}};
    Position position;
    expandPosition(position, root);
    for (const Move& move : cycle) {
        storeHashEntry(searcher.table, position,
                       packHashEntry(position.hashLockKey, 1, move, 0, 0), true);
        Position child = position;
        makeMove(child, move);
        updateKeysAfterMove(child, position, move);
        position = child;
    }
    EXPECT_EQ(principalVariation(searcher, root),
              "Ng1f3 Ng8f6 Nf3g1 Nf6g8 Ng1f3 Ng8f6 Nf3g1 Nf6g8 Ng1f3 Ng8f6 ");

    // A stored move that is not in the position ends the walk.
    Position afterNf3;
    expandPosition(afterNf3, root);
    Position child = afterNf3;
    makeMove(child, cycle[0]);
    updateKeysAfterMove(child, afterNf3, cycle[0]);
    storeHashEntry(searcher.table, child,
                   packHashEntry(child.hashLockKey, 1, Move{0, 0, 0, 5, KindQuiet, 2}, 0, 0),
                   true);
    EXPECT_EQ(principalVariation(searcher, root), "Ng1f3 ");
}

TEST_F(Mtdf, VariationOfASearchStartsWithItsBestMove) {
    const BoardRecord root =
        boardFromFen("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    CaptureStdout quiet;
    deepen(searcher, root, 4);
    const std::string pv = principalVariation(searcher, root);
    ASSERT_FALSE(pv.empty());
    EXPECT_EQ(pv.back(), ' ');
    EXPECT_EQ(pv.rfind(writeLongAlgebraic(searcher.bestMove, root) + " ", 0), 0u) << pv;
}

}  // namespace
}  // namespace corvina
