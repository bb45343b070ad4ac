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

// The sides the engine thought for, in order: "white" or "black" per "now playing" line.
std::vector<std::string> sidesPlayed(const std::string& text) {
    std::vector<std::string> sides;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("now playing ", 0) == 0) sides.push_back(line.substr(12));
    return sides;
}

// The value after the label on the last line that starts with it, or -1.
double lastValue(const std::string& text, const std::string& label) {
    double value = -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(label, 0) == 0) value = std::atof(line.c_str() + label.size());
    return value;
}

TEST(Xboard, FeatureLinesComeFirstAndOneMoveAnswersTheRelayedMove) {
    const EngineRun run = runEngine("xboard",
                              "xboard\nprotover 2\naccepted setboard\nnew\nrandom\nlevel 40 1 0\n"
                              "post\nhard\ntime 6000\notim 6000\nfrobnicate\ne2e4\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("feature setboard=1\nfeature analyze=0\nfeature done=1\n", 0), 0u);
    // protover 2 is answered with what the engine now understands, in one line.
    EXPECT_TRUE(hasLine(run.out, "feature ping=1 setboard=1 usermove=1 playother=1 sigint=0 "
                                 "sigterm=0 myname=\"corvina\" colors=0 analyze=0 name=0 nps=0 "
                                 "done=1"))
        << run.out;
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 1);
    EXPECT_EQ(countLinesStartingWith(run.out, "illegal move"), 0);  // silent in xboard mode
    EXPECT_EQ(countLinesStartingWith(run.out, "Illegal move"), 0);  // frobnicate is no move
    // "accepted setboard" leaves an empty setboard line: acknowledged, not an error.
    EXPECT_EQ(countLinesStartingWith(run.out, "tellusererror"), 0);
}

TEST(Xboard, EngineAnswersForTheSideGoOrPlayotherGaveItAndNeverInForceMode) {
    const struct {
        const char* input;
        std::vector<std::string> sides;
    } rows[] = {
        // Protocol 1: a move is answered only after a time in the same read.
        {"new\ne2e4\n", {}},
        {"new\ntime 3000\ne2e4\n", {"black"}},
        // go plays the side to move, any number of times a game.
        {"new\ntime 3000\ngo\ngo\nnew\ntime 3000\ngo\n", {"white", "black", "white"}},
        // After force, go takes the side to move and answers its opponent's later moves.
        {"new\nforce\ne2e4\ntime 3000\ngo\nd2d4\n", {"black", "black"}},
        {"new\nforce\ne2e4\nplayother\ntime 3000\ne7e5\n", {"white"}},
        // Force mode plays the moves, with or without a time, and never answers.
        {"new\ntime 3000\ngo\nforce\ntime 3000\ne7e5\n", {"white"}},
        // The words after name, accepted and rejected are not moves.
        {"new\nname e2e4 player\nrejected e2e4\ntime 3000\nusermove e2e4\n", {"black"}},
    };
    for (const auto& row : rows) {
        const EngineRun run = runEngine("xboard", row.input);
        EXPECT_EQ(sidesPlayed(run.out), row.sides) << row.input;
        EXPECT_EQ(countLinesStartingWith(run.out, "move "), int(row.sides.size())) << row.input;
        EXPECT_EQ(countLinesStartingWith(run.out, "Illegal move"), 0) << row.input;
    }
}

TEST(Xboard, TakebackRestoresAGameThatThenContinuesLegally) {
    // Four plies, remove two, undo one: Black is to move after 1. e4 at ply 1.
    const EngineRun run = runEngine(
        "xboard", "new\nforce\ne2e4\ne7e5\ng1f3\nb8c6\nremove\nundo\nusermove d2d4\ne7e5\n"
                  "usermove nonsense\nundo\nundo\nundo\nusermove e2e4\ntime 3000\ngo\nping 1\n");
    EXPECT_TRUE(hasLine(run.out, "Illegal move: d2d4")) << run.out;  // not White's turn
    EXPECT_TRUE(hasLine(run.out, "Illegal move: nonsense"));
    EXPECT_EQ(countLinesStartingWith(run.out, "Illegal move"), 2);
    // Undo at the start of the game does nothing; the engine then plays Black at ply 1.
    EXPECT_EQ(sidesPlayed(run.out), std::vector<std::string>{"black"});
    EXPECT_TRUE(hasLine(run.out, "turn:      1"));
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 1);
    // ping is answered after the move it followed.
    EXPECT_GT(run.out.find("pong 1"), run.out.find("\nmove "));
}

TEST(Xboard, LevelStAndSdSetTheTimeAndDepthOfAMove) {
    const struct {
        const char* input;
        double secondsPerMove;
        int deepest;  // 0: any
    } rows[] = {
        // The classic rule without a time control: 60 s over 80 moves.
        {"new\ntime 6000\ne2e4\n", 0.75, 0},
        // 40 moves in a minute: a fortieth of what the relay reserve leaves each.
        {"new\nlevel 40 1 0\ntime 6000\ne2e4\n", 1.4, 0},
        // A fixed time per move, inside which even the hard limit falls.
        {"new\nst 3\ntime 6000\ne2e4\n", 1.2, 0},
        // A depth limit under the usual clock; new lifts it again.
        {"new\nsd 3\ntime 6000\ne2e4\n", 0.75, 3},
        {"new\nsd 3\nnew\nsd 2\ntime 6000\ne2e4\n", 0.75, 2},
    };
    for (const auto& row : rows) {
        const EngineRun run = runEngine("xboard", row.input);
        EXPECT_NEAR(lastValue(run.out, "time/move: "), row.secondsPerMove, 0.01) << row.input;
        if (row.deepest != 0) {
            EXPECT_EQ(countLinesStartingWith(run.out, std::to_string(row.deepest) + " "), 1)
                << row.input;
            EXPECT_EQ(countLinesStartingWith(run.out, std::to_string(row.deepest + 1) + " "), 0)
                << row.input;
        }
    }
}

TEST(Xboard, FortyMovesInAMinuteThinksLongerThanTheClassicRule) {
    // The classic rule spends about 0.75 s of the 1.5 s that each of the 40 moves has. Each
    // move passes its budget of 1.125 s, and the pass that crosses it runs on.
    double used = 0;
    for (const char* first : {"e2e4", "d2d4", "c2c4"}) {
        const EngineRun run = runEngine(
            "xboard", std::string("new\nlevel 40 1 0\ntime 6000\nusermove ") + first + "\n");
        ASSERT_EQ(countLinesStartingWith(run.out, "move "), 1) << run.out;
        used += lastValue(run.out, "      time: ");
    }
    EXPECT_GT(used / 3, 1.2);
}

TEST(Xboard, NopostSilencesTheThinkingLines) {
    EngineRun run = runEngine("xboard", "new\nnopost\nsd 2\ntime 6000\ne2e4\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "1 "), 0);
    EXPECT_EQ(countLinesStartingWith(run.out, "move "), 1);
    run = runEngine("xboard", "new\nnopost\npost\nsd 2\ntime 6000\ne2e4\n");
    EXPECT_EQ(countLinesStartingWith(run.out, "1 "), 1);
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
        "level 40 1", "usermove",                   "ping",
        "force\nundo\nremove\nundo",
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
