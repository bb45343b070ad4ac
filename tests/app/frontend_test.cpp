// The command loop through the real executable: scripted standard input, captured output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/test_support.h"

namespace corvina {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

struct EngineRun {
    int status = -1;
    std::string out;
};

// Runs the engine on the input with a small table, no book and no tablebases. The
// timeout turns a hang into a failure instead of a stuck test.
EngineRun runEngine(const std::string& gui, const std::string& input, bool closeWithoutQuit = false) {
    TempDir dir;
    EngineRun run;
    if (!dir.ok()) return run;
    writeFile(dir.file("test.ini"), "[corvina]\ngui=" + gui +
                                        "\nbook=\negtb=" + dir.path().string() +
                                        "/none\nhashsize=1\negtbsize=1\n");
    writeFile(dir.file("input"), input + (closeWithoutQuit ? "" : "\nquit\nquit\n"));
    const std::string command = "cd '" + dir.path().string() + "' && timeout 60 " +
                                CORVINA_BINARY + " test.ini < input > output 2> errors";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readFile(dir.file("output"));
    return run;
}

int countLinesStartingWith(const std::string& text, const std::string& prefix) {
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0) ++count;
    return count;
}

bool hasLine(const std::string& text, const std::string& wanted) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line == wanted) return true;
    return false;
}

TEST(Xboard, FeatureLinesComeFirstAndOneMoveAnswersTheRelayedMove) {
    const EngineRun run = runEngine("xboard",
                              "xboard\nprotover 2\naccepted setboard\nnew\nrandom\nlevel 40 1 0\n"
                              "post\nhard\ntime 6000\notim 6000\nfrobnicate\ne2e4\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("feature setboard=1\nfeature analyze=0\nfeature done=1\n", 0), 0u);
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 1);
    EXPECT_EQ(countLinesStartingWith(run.out, "illegal move"), 0);  // silent in xboard mode
    // "accepted setboard" leaves an empty setboard line: acknowledged, not an error.
    EXPECT_EQ(countLinesStartingWith(run.out, "tellusererror"), 0);
}

TEST(Xboard, MoveWithoutTimeIsAppliedSilentlyAndGoCountsOncePerGame) {
    EngineRun run = runEngine("xboard", "new\ne2e4\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 0);
    EXPECT_EQ(countLinesStartingWith(run.out, "pawns: "), 1);

    // First go thinks; the second go of the game does not; after new it counts again.
    run = runEngine("xboard", "new\ntime 3000\ngo\ngo\nnew\ntime 3000\ngo\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 2);
}

TEST(Xboard, SetboardTakesTheWholeLineAndRejectsBrokenPositions) {
    EngineRun run = runEngine("xboard", "setboard 8/8/8/8/8/8/8/K6k w - - 0 1\ntime 3000\ngo\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "move a1"), 1) << run.out;

    run = runEngine("xboard", "setboard 8/8/8/8/8/8/8/K6K w - - 0 1\nsetboard garbage\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "tellusererror Illegal position"), 2);
}

TEST(Xboard, PromotionIsSentWithItsPieceLetter) {
    // The promotion mates, so the first pass settles it whatever the machine's speed; a
    // quiet winning position let a loaded machine's deeper pass prefer a king move.
    const EngineRun run =
        runEngine("xboard", "setboard k7/2P5/1K6/8/8/8/8/8 w - - 0 1\ntime 3000\ngo\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "move c7c8q"), 1) << run.out;
}

// Black's king steps back to e5 and its search marks that position as a repetition; the
// mark must not answer for it later, when it is the root of a search: in a new game, or
// when the same engine then moves for White.
TEST(Xboard, PositionMarkedAsARepetitionInAnEarlierGameGetsAMove) {
    const EngineRun run = runEngine(
        "xboard", "new\nsetboard 8/8/8/4k3/8/8/8/R3K3 w - - 0 1\ntime 500\ne1e2\ntime 500\n"
                  "e2e1\nnew\nsetboard 8/8/8/4k3/8/8/8/R3K3 w - - 0 1\ntime 500\ngo\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 3) << run.out;
}

TEST(Console, OneEngineMovesForBothSidesThroughARepetition) {
    const EngineRun run = runEngine(
        "console", "setboard 8/8/8/4k3/8/8/8/R3K3 w - - 0 1\ntime 500\ne1e2\ne2e1\nm\nm\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "103. move "), 1) << run.out;
    EXPECT_EQ(countLinesStartingWith(run.out, "104. move "), 1) << run.out;
}

TEST(Xboard, EmptyOrNegativeClockGivesOnePassAndAMove) {
    // A negative time is a fallen flag, not the "no clock" of a game without `time`.
    for (const char* clock : {"time -100", "time 0"}) {
        const EngineRun run = runEngine("xboard", std::string("new\n") + clock + "\ngo\n");
        EXPECT_TRUE(hasLine(run.out, "time/move: 0")) << clock;
        EXPECT_EQ(countLinesStartingWith(run.out, "postadmin: move_: "), 1) << clock;
        EXPECT_EQ(countLinesStartingWith(run.out, "move "), 1) << clock;
    }
}

TEST(Console, SetboardPlaysOnTheCheckedBoard) {
    // No black pawn made a double step to e5, so e6 is no en passant square and the pawn
    // on d5 cannot go there; on the raw text it "captured" the empty e5.
    EngineRun run = runEngine("console", "setboard 4k3/8/8/R2P4/8/8/8/4K3 w - e6 0 1\nd5e6\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "illegal move or command"), 1) << run.out;
    EXPECT_EQ(countLinesStartingWith(run.out, "100. move d5xe6"), 0) << run.out;

    // A king move into check is refused like any other word, and Black is still to move.
    run = runEngine("console", "setboard 7k/5K2/8/8/8/8/8/8 b - - 0 1\nh8g8\nb\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "illegal move or command"), 1) << run.out;
    EXPECT_EQ(countLinesStartingWith(run.out, "100. move h8g8"), 0) << run.out;
    EXPECT_TRUE(hasLine(run.out, "black to move")) << run.out;
}

TEST(Console, PositionsRunCountsItsSixPositionsAndAnswersOnM) {
    // Playing back into the fifth built-in position would repeat it: only the six count.
    const EngineRun run = runEngine("console", "b\nm\nquit\nquit\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(hasLine(run.out, "white to move"));
    EXPECT_TRUE(hasLine(run.out, "turn:      100"));
    EXPECT_EQ(countLinesStartingWith(run.out, "100. move "), 1);
}

TEST(Console, UserMovesAreEchoedAndWordsAfterResultAreRejected) {
    const EngineRun run = runEngine("console", "new\ne2e4\nresult 1-0 {White mates}\nstat\nquit\nquit\n");
    EXPECT_TRUE(hasLine(run.out, "0. move e2e4"));
    EXPECT_TRUE(hasLine(run.out, "the game is over"));
    EXPECT_EQ(countLinesStartingWith(run.out, "illegal move or command"), 3);
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 0);
}

TEST(Console, RatingSetsContemptAndBadRatingKeepsTheOldOnes) {
    EngineRun run = runEngine("console", "rating 2200 1800\nm\nquit\nquit\n");
    EXPECT_TRUE(hasLine(run.out, "comp_rate: 2200"));
    EXPECT_TRUE(hasLine(run.out, "opp_rate:  1800"));
    EXPECT_TRUE(hasLine(run.out, "contempt: -150"));  // 1800 is below 2200 - 200

    run = runEngine("console", "rating 2200 1800\nrating abc def\nm\nquit\nquit\n");
    EXPECT_TRUE(hasLine(run.out, "comp_rate: 2200"));
    EXPECT_EQ(countLinesStartingWith(run.out, "illegal move or command"), 2);
}

TEST(Console, BrokenSetboardPrintsTheReasonAndKeepsTheGame) {
    const EngineRun run = runEngine("console", "new\nsetboard 8/8/8 w\ne2e4\nquit\nquit\n");
    EXPECT_TRUE(hasLine(run.out, "0. move e2e4")) << run.out;
}

TEST(Console, TravListsTheTreeAtTheNextThink) {
    const EngineRun run = runEngine("console", "trav\nm\nquit\nquit\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "100. move "), 1);
    EXPECT_NE(run.out.find("level"), std::string::npos);
}

TEST(SelfPlay, PlaysToAResult) {
    const EngineRun run = runEngine("both", "", true);
    EXPECT_EQ(run.status, 0);
    EXPECT_GT(countLinesStartingWith(run.out, "suggested move: "), 0);
}

TEST(BadInput, EndOfInputAnywhereEndsTheRunCleanly) {
    const std::vector<std::string> inputs = {
        "",           "garbage words 1234 e9e9",    "setboard 8/8/8/8/8/8/8/K6k w - -",
        "rating 2200", "time",                      "new\ne2e4\ntime 100",
        "\x01\x02\xff", "rating x y z",
    };
    for (const std::string& input : inputs) {
        const EngineRun xboard = runEngine("xboard", input, true);
        EXPECT_EQ(xboard.status, 0) << "xboard input: " << input;
        const EngineRun console = runEngine("console", input, true);
        EXPECT_EQ(console.status, 0) << "console input: " << input;
    }
}

}  // namespace
}  // namespace corvina
