#include "search/timecontrol.h"

#include <gtest/gtest.h>

#include "board/notation.h"
#include "board/position.h"
#include "search/alphabeta.h"
#include "search/mtdf.h"
#include "tests/search/test_engine.h"

namespace corvina {
namespace {

using namespace testing_support;

// The fake clock: reads fakeNow and then moves it on by fakeStep.
double fakeNow = 0;
double fakeStep = 0;
double fakeClock() {
    const double now = fakeNow;
    fakeNow += fakeStep;
    return now;
}

class TimeControl : public ::testing::Test {
protected:
    void SetUp() override {
        setUpSearch(searcher, engine);
        fakeNow = 0;
        fakeStep = 0;
        setClockSource(fakeClock);
        searcher.startTime = 0;
        searcher.timeBudget = 2.0;
    }
    void TearDown() override { setClockSource(nullptr); }

    // As after a finished first pass.
    void haveBestMove(bool acceptable) {
        searcher.bestMove = Move{4, 1, 4, 3, KindQuiet, 2};
        searcher.acceptable = acceptable;
    }

    Engine engine;
    Searcher searcher;
};

TEST_F(TimeControl, AcceptableMoveStopsAtTheBudget) {
    haveBestMove(true);
    fakeNow = 2000;  // exactly the budget is not beyond it
    EXPECT_FALSE(shouldStopBeforePass(searcher));
    EXPECT_FALSE(searcher.aborted);

    fakeNow = 2100;
    CaptureStdout output;
    EXPECT_TRUE(shouldStopBeforePass(searcher));
    EXPECT_EQ(output.str(), "aborting at time: 2.1\n");
    EXPECT_TRUE(searcher.aborted);
    EXPECT_FALSE(searcher.hardAborted);
}

TEST_F(TimeControl, NonAcceptableMoveRunsToThreeTimesTheBudget) {
    haveBestMove(false);
    CaptureStdout output;
    for (double now : {2100.0, 4000.0, 6000.0}) {
        fakeNow = now;
        EXPECT_FALSE(shouldStopBeforePass(searcher)) << now;
    }
    EXPECT_EQ(output.str(), "");
    EXPECT_FALSE(searcher.aborted);

    fakeNow = 6001;
    EXPECT_TRUE(shouldStopBeforePass(searcher));
    EXPECT_EQ(output.str(), "really aborting at time: 6.001\n");
    EXPECT_TRUE(searcher.aborted);
    EXPECT_TRUE(searcher.hardAborted);
}

TEST_F(TimeControl, WithoutABestMoveNothingStops) {
    fakeNow = 1e9;
    CaptureStdout output;
    EXPECT_FALSE(shouldStopBeforePass(searcher));
    EXPECT_EQ(output.str(), "");
    EXPECT_FALSE(searcher.aborted);
}

TEST_F(TimeControl, EarlierAbortStopsAnAcceptableMoveSilently) {
    haveBestMove(true);
    searcher.aborted = true;
    CaptureStdout output;
    EXPECT_TRUE(shouldStopBeforePass(searcher));
    EXPECT_EQ(output.str(), "");
}

TEST_F(TimeControl, QuietChecksSetTheFlagsWithoutALine) {
    fakeNow = 2500;
    CaptureStdout output;
    EXPECT_FALSE(hardTimeExceeded(searcher, true));
    EXPECT_TRUE(softTimeExceeded(searcher, true));
    fakeNow = 7000;
    EXPECT_TRUE(hardTimeExceeded(searcher, true));
    EXPECT_EQ(output.str(), "");
    EXPECT_TRUE(searcher.aborted);
    EXPECT_TRUE(searcher.hardAborted);
}

TEST_F(TimeControl, FirstPassRunsToItsEndHoweverLate) {
    const BoardRecord start =
        boardFromFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    fakeNow = 1e7;  // hours past the budget before the first pass begins
    fakeStep = 1000;
    CaptureStdout output;
    mtdfPass(searcher, start, 0, 3, 0.001);
    EXPECT_FALSE(searcher.aborted);
    EXPECT_FALSE(searcher.bestMove.isNone());
    EXPECT_EQ(output.str().find("aborting"), std::string::npos);

    // The next pass does not even start.
    const std::string before = output.str();
    EXPECT_EQ(mtdfPass(searcher, start, 1234, 4, 0.001), 1234);
    EXPECT_TRUE(searcher.aborted);
    const std::string after = output.str().substr(before.size());
    EXPECT_EQ(after.find("aborting at time: "), after.find("aborting"));
    EXPECT_EQ(after.find("[0]"), std::string::npos);
}

// A clock driven by the search itself: every leaf costs leafMilliseconds, as on a machine
// that evaluates 1 / leafMilliseconds thousand leaves a second.
const Searcher* leafClockSearcher = nullptr;
double leafMilliseconds = 0;
double leafClock() { return leafClockSearcher->nodeCount * leafMilliseconds; }

// A hard abort inside the tree is noticed within a few milliseconds of search, even on
// a machine fifty times slower than today's (the clock is not read at every move);
// it returns 0 from every level, stores nothing and prints its line once, from the root.
TEST_F(TimeControl, HardAbortInsideTheSearchIsPromptAndPrintsOnlyAtTheRoot) {
    haveBestMove(false);
    searcher.timeBudget = 0.01;  // hard limit 30 ms: 600 leaves at 20,000 a second
    leafClockSearcher = &searcher;
    leafMilliseconds = 0.05;
    setClockSource(leafClock);
    Position root = positionFromFen("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    CaptureStdout output;
    EXPECT_EQ(alphaBeta(searcher, root, -1, 0, 4, 0, NoMove), 0);
    EXPECT_TRUE(searcher.hardAborted);
    EXPECT_LT(leafClock(), 30 + 3);
    const std::string text = output.str();
    EXPECT_EQ(text.rfind("really aborting at time: ", 0), 0u) << text;
    EXPECT_EQ(text.find("aborting", 10), std::string::npos) << text;
    EXPECT_EQ(searcher.table.probe(root), nullptr);
}

// A pass cut by the hard limit is thrown away: the move of the last finished pass stays.
TEST_F(TimeControl, AbortedPassKeepsTheLastFinishedMove) {
    const BoardRecord root =
        boardFromFen("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    CaptureStdout output;
    const std::int32_t first = mtdfPass(searcher, root, 0, 1, 0.05);
    ASSERT_FALSE(searcher.bestMove.isNone());
    const Move kept = searcher.bestMove;
    const bool keptAcceptable = searcher.acceptable;

    // A root entry that would pass for an exact result of the aborted pass (which
    // returns 0) must not be taken.
    const Move d2d4{3, 1, 3, 3, KindQuiet, 2};
    const Move b1c3{1, 0, 2, 2, KindQuiet, 2};
    const Move decoy = kept.sameSquares(d2d4) ? b1c3 : d2d4;
    Position rootPosition;
    expandPosition(rootPosition, root);
    storeHashEntry(searcher.table, rootPosition,
                   packHashEntry(rootPosition.hashLockKey, 1, decoy, 0, 0), true);

    fakeStep = 10;  // the hard limit, 150 ms, falls some fifteen clock reads into the pass
    mtdfPass(searcher, root, first, 4, 0.05);
    EXPECT_TRUE(searcher.aborted);
    EXPECT_TRUE(searcher.hardAborted);
    EXPECT_TRUE(searcher.bestMove.sameSquares(kept));
    EXPECT_EQ(searcher.acceptable, keptAcceptable);
    EXPECT_NE(output.str().find("really aborting at time: "), std::string::npos);
}

TEST(Clock, SteadyClockIsMonotonicAndRestored) {
    setClockSource(nullptr);
    const double a = clockMilliseconds();
    const double b = clockMilliseconds();
    EXPECT_LE(a, b);
    setClockSource(fakeClock);
    fakeNow = -5;
    fakeStep = 0;
    EXPECT_EQ(clockMilliseconds(), -5);
    setClockSource(nullptr);
    EXPECT_GE(clockMilliseconds(), b);
}

}  // namespace
}  // namespace corvina
