// End-to-end runs of the built corvina executable in a private working directory.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>

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
