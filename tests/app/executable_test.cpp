// End-to-end runs of the built corvina executable in a private working directory.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "board/position.h"
#include "tests/app/engine_process.h"
#include "tests/app/test_support.h"

namespace corvina {
namespace {

using testing::DefaultFileText;
using testing::EngineProcess;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

constexpr std::chrono::seconds ExitLimit(60);

TEST(Executable, UnknownGuiExitsWithOne) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=chess\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 1);
    EXPECT_EQ(engine.out(), "chess: please specify xboard or console as gui type\n");
    EXPECT_EQ(engine.err(), "Settings: read gui=chess\n");
}

TEST(Executable, FirstArgumentNamesTheConfigFileAndGuiIsCaseSensitive) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=xboard\n");
    writeFile(dir.file("my.ini"), "[corvina]\ngui=Console\n");
    EngineProcess engine(dir, {"my.ini", "ignored"});
    ASSERT_TRUE(engine.started());
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 1);
    EXPECT_EQ(engine.out(), "chess: please specify xboard or console as gui type\n");
    EXPECT_EQ(engine.err(), "Settings: read gui=Console\n");
}

TEST(Executable, MissingConfigFileIsWrittenAndXboardRunsUntilEndOfInput) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.closeInput();
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    EXPECT_EQ(readFile(dir.file("corvina.ini")), DefaultFileText);
    const std::string err = engine.err();
    EXPECT_EQ(err.find("WARNING: could not find config file 'corvina.ini', opening default config "
                       "file 'corvina.ini' instead\n"
                       "WARNING: could not find config file 'corvina.ini', a default config file "
                       "'corvina.ini' will be created and used instead\n"),
              0u)
        << err;
}

TEST(Executable, XboardRunEndsAtQuitWithInputStillOpen) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=xboard\nbook=\negtb=\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send("quit\n");
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
}

TEST(Executable, OpponentsUnderPromotionIsPlayedAsSent) {
    // phalanx once answered with f2f1n+ here; read as a queen, the engine's reply ignored the
    // knight's check and the GUI forfeited it.
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=xboard\nbook=\negtb=\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send("xboard\nsetboard 8/8/2R5/8/8/8/1k3p1K/8 b - - 0 1\ntime 300\notim 300\n"
                "f2f1n\nquit\n");
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    const std::string out = engine.out();
    const std::size_t at = out.find("\nmove ");
    ASSERT_NE(at, std::string::npos) << out;
    const std::string reply = out.substr(at + 6, 4);
    // Only the king can answer a knight's check, and not to g3, which the knight covers.
    EXPECT_TRUE(reply == "h2g1" || reply == "h2g2" || reply == "h2h1" || reply == "h2h3")
        << reply;
}

// Waits until the engine's output holds the text after position from, or the time is up.
std::size_t waitForOutput(const EngineProcess& engine, const std::string& text, std::size_t from,
                          std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::size_t at = engine.out().find(text, from);
        if (at != std::string::npos || std::chrono::steady_clock::now() > end) return at;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(Executable, XboardMovesNowOnQuestionMarkAndForceDropsTheMoveUnderWay) {
    // A clock of 10000 s gives some 125 s a move: only the input can end these searches.
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=xboard\nbook=\negtb=\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    const std::chrono::seconds limit(20);
    engine.send("xboard\nprotover 2\nnew\ntime 1000000\notim 1000000\nusermove e2e4\n");
    std::size_t at = waitForOutput(engine, "\n1 ", 0, limit);  // the first pass is done
    ASSERT_NE(at, std::string::npos) << engine.out();
    const auto asked = std::chrono::steady_clock::now();
    engine.send("?\nping 1\n");
    at = waitForOutput(engine, "\nmove ", at, limit);
    ASSERT_NE(at, std::string::npos) << engine.out();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    ASSERT_NE(waitForOutput(engine, "pong 1", at, limit), std::string::npos);

    // White's reply sets the engine thinking again; force stops it without a move.
    engine.send("time 1000000\nusermove d2d4\n");
    at = waitForOutput(engine, "turn:      3", at, limit);
    ASSERT_NE(at, std::string::npos) << engine.out();
    engine.send("force\nping 2\n");
    const std::size_t pong = waitForOutput(engine, "pong 2", at, limit);
    ASSERT_NE(pong, std::string::npos) << engine.out();
    EXPECT_EQ(engine.out().find("\nmove ", at), std::string::npos);

    // The board is the game's: a pawn move that Black's first move left alone is legal.
    const bool aPawnMoved = engine.out().find("\nmove a7") != std::string::npos;
    engine.send(aPawnMoved ? "usermove h7h6\nping 3\nquit\n" : "usermove a7a6\nping 3\nquit\n");
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    EXPECT_NE(engine.out().find("pong 3", pong), std::string::npos);
    EXPECT_EQ(engine.out().find("Illegal move"), std::string::npos) << engine.out();
}

std::string diagram(const char* fen) {
    BoardRecord board;
    parseFen(board, fen);
    std::ostringstream out;
    printBoard(out, board);
    return out.str();
}

TEST(Executable, ConsoleMakesTwoRunsEachEndedByItsOwnQuit) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), "[corvina]\ngui=console\nbook=\negtb=\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send("quit\n");
    // The first quit ends only the first run: the second one waits for its own.
    EXPECT_FALSE(engine.waitForExit(std::chrono::milliseconds(1500)));
    engine.send("quit\n");
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);

    // Each run shows its own starting board: the last test position, then the endgame.
    const std::string out = engine.out();
    const std::size_t positions = out.find(diagram("8/8/1K6/4k3/PP6/8/8/8 w - - 0 1"));
    const std::size_t endgames = out.find(diagram("4k3/4p3/8/8/8/8/3PP3/4K3 w - - 0 1"));
    ASSERT_NE(positions, std::string::npos) << out;
    ASSERT_NE(endgames, std::string::npos) << out;
    EXPECT_LT(positions, endgames);
}

}  // namespace
}  // namespace corvina
