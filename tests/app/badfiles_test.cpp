// The engine executable with damaged files around it: a garbage configuration file, a
// garbage book, and table files that end the start-up or fail in the middle of a game.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/tables.h"
#include "tablebases/registry.h"
#include "tablebases/writer.h"
#include "tests/app/engine_process.h"
#include "tests/app/test_support.h"

namespace corvina {
namespace {

using testing::EngineProcess;
using testing::TempDir;
using testing::writeFile;

constexpr std::chrono::seconds ExitLimit(120);
constexpr int Krk = 4;

std::string noise(std::size_t n, std::uint32_t seed) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        text += char(seed >> 24);
    }
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int count(const std::string& text, const std::string& line) {
    int n = 0;
    for (const std::string& l : linesOf(text)) n += l == line;
    return n;
}

// The engine's moves from its output, each checked to be legal where it was played,
// starting from the FEN (empty: the start position).
std::vector<std::string> legalMoves(const std::string& out, const std::string& fen) {
    initTables();
    BoardRecord board;
    if (fen.empty()) {
        setStartPosition(board);
    } else {
        parseFen(board, fen.c_str());
    }
    std::vector<std::string> moves;
    for (const std::string& line : linesOf(out)) {
        if (line.rfind("move ", 0) != 0) continue;
        const std::string text = line.substr(5);
        const Move move = readMove(text, board);
        EXPECT_FALSE(move.isNone()) << text << " after " << moves.size() << " moves";
        if (move.isNone()) break;
        Position position;
        expandPosition(position, board);
        makeMove(position, move);
        EXPECT_FALSE(position.inCheck[board.sideToMove()]) << text << " leaves the king attacked";
        applyMoveToBoard(board, move);
        moves.push_back(text);
    }
    return moves;
}

// Plays `moves` moves for whichever side is to move ("m"), then quits.
std::string script(const std::string& fen, int moves) {
    std::string text = "new\n";
    if (!fen.empty()) text += "setboard " + fen + "\n";
    text += "time 200\n";
    for (int i = 0; i < moves; ++i) text += "m\n";
    return text + "quit\n";
}

TEST(BadFilesRun, ConfigurationOfBinaryBytesLeavesTheDefaults) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("corvina.ini"), noise(30000, 17));
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send(script("", 2));
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    // No section header, so not a line is a setting: one note says so. The defaults
    // name a book and a table folder that this folder does not hold.
    EXPECT_EQ(engine.err(),
              "NOTE: no [corvina] section in config file 'corvina.ini', the settings keep "
              "their defaults\nbook file 'eco.alg' not found\n");
    const std::string out = engine.out();
    EXPECT_EQ(count(out, "feature done=1"), 1) << out;
    EXPECT_EQ(count(out, "egtb: 0"), 1);
    EXPECT_EQ(legalMoves(out, "").size(), 2u) << out;
}

TEST(BadFilesRun, GarbageSettingLinesAreNotedAndTheRestIsRead) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::string binary = noise(200, 5);
    std::string binaryLine;
    for (char c : binary) {
        if (c != '\n' && c != '=' && c != '\r') binaryLine += c;
    }
    if (binaryLine[0] == '#' || binaryLine[0] == '[') binaryLine[0] = '?';
    const std::string enormous(1 << 20, 'y');
    writeFile(dir.file("corvina.ini"),
              "gui=console\n"                  // before the section: ignored
              "[corvina]\r\n" +
                  binaryLine + "\n" +
                  "colour=white\r\n"
                  "gui = console\n"            // the key is "gui "
                  "hashsize=-7\r\n"
                  "egtbsize=-1\n"
                  "book=\n" +
                  enormous + "\n" + enormous + "=1\n" +
                  "egtb=\n"
                  "gui=xboard");               // no line feed at the end
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send(script("", 3));
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    EXPECT_EQ(engine.err(),
              "NOTE: malformed input, could not find an equal sign (=) in line '" + binaryLine + "'\n" +
                  "NOTE: the setting 'colour' is unknown and will be ignored\n"
                  "NOTE: the setting 'gui ' is unknown and will be ignored\n"
                  "Settings: read hashsize=-7\n"
                  "Settings: read egtbsize=-1\n"
                  "Settings: read book=\n"
                  "NOTE: malformed input, could not find an equal sign (=) in line '" + enormous + "'\n" +
                  "NOTE: the setting '" + enormous + "' is unknown and will be ignored\n" +
                  "Settings: read egtb=\n"
                  "Settings: read gui=xboard\n"
                  "no opening book used\n");
    const std::string out = engine.out();
    EXPECT_EQ(count(out, "hash size: 1"), 1) << out;
    EXPECT_EQ(legalMoves(out, "").size(), 3u) << out;
}

TEST(BadFilesRun, NegativeCacheSizeMeansNoCacheNotAnEnormousOne) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    const std::vector<std::uint8_t> table(tableList[Krk].size[0], 0);
    ASSERT_TRUE(writeCompressedTable(dir.file("krk.nbw.emd").string(), table.data(), table.size()));
    writeFile(dir.file("corvina.ini"),
              "[corvina]\nbook=\negtb=" + dir.path().string() + "\nhashsize=1\negtbsize=-1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    const std::string fen = "8/8/3k4/8/8/8/8/R3K3 w - - 0 1";
    engine.send(script(fen, 2));
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    const std::string out = engine.out();
    EXPECT_EQ(count(out, "egtb: 3"), 1) << out;
    EXPECT_EQ(count(out, "egtb: cannot get 0 bytes for the tablebase cache, playing without tablebases"), 1)
        << out;
    EXPECT_EQ(count(out, "egtb: not in use"), 1);
    EXPECT_EQ(legalMoves(out, fen).size(), 2u) << out;
}

TEST(BadFilesRun, GarbageBookGivesItsGoodMovesAndTheSearchTheRest) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    // After 1. e4 d5 2. Bb5+ the book's a7a6 would leave the king in check.
    // The star ends whatever the noise left open, so that the Site line is read as a tag.
    writeFile(dir.file("garbage.alg"), noise(20000, 9) + "\n*\n[Site \"G\"]\n1. e2e4 d7d5 2. f1b5 a7a6 3. " +
                                           std::string(100000, 'z') + " *\n" + noise(5000, 10));
    writeFile(dir.file("corvina.ini"), "[corvina]\nbook=garbage.alg\negtb=\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send(script("", 5));
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    EXPECT_EQ(engine.err(), "Settings: read book=garbage.alg\nSettings: read egtb=\n"
                            "Settings: read hashsize=1\nopening book read from 'garbage.alg'\n");
    const std::string out = engine.out();
    const std::vector<std::string> moves = legalMoves(out, "");
    ASSERT_EQ(moves.size(), 5u) << out;
    EXPECT_EQ(moves[0], "e2e4");
    EXPECT_EQ(moves[1], "d7d5");
    EXPECT_EQ(moves[2], "f1b5");
    EXPECT_EQ(count(out, "0 0 0 0 G"), 3);
}

TEST(BadFilesRun, DamagedTableEndsTheStartWithItsMessage) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    writeFile(dir.file("krk.nbw"), std::string(1000, '\0'));
    writeFile(dir.file("corvina.ini"), "[corvina]\nbook=\negtb=" + dir.path().string() + "\nhashsize=1\n");
    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    engine.send(script("", 1));
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 1);
    const std::vector<std::string> lines = linesOf(engine.out());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "*** " + dir.file("krk.nbw").string() + " corrupted");
    EXPECT_EQ(count(engine.out(), "egtb: 0") + count(engine.out(), "egtb: 3"), 0);
}

TEST(BadFilesRun, SideWithdrawnInTheMiddleOfAGameLeavesTheSearchToPlay) {
    TempDir dir;
    ASSERT_TRUE(dir.ok());
    // Intact tables for white to move; for black to move every block has a flipped bit
    // behind an intact header, so the start-up passes and the first probe fails.
    const std::vector<std::uint8_t> white(tableList[Krk].size[0], 0);
    ASSERT_TRUE(writeCompressedTable(dir.file("krk.nbw.emd").string(), white.data(), white.size()));
    const std::vector<std::uint8_t> black(tableList[Krk].size[1], 0);
    std::vector<std::uint8_t> damaged = compressTableData(black.data(), black.size());
    const std::uint32_t header = std::uint32_t(damaged[64]) << 24 | std::uint32_t(damaged[65]) << 16 |
                                 std::uint32_t(damaged[66]) << 8 | damaged[67];
    ASSERT_LT(header, damaged.size());
    for (std::size_t at = header; at < damaged.size(); at += 2) damaged[at] ^= 0x10;
    writeFile(dir.file("krk.nbb.emd"), std::string(damaged.begin(), damaged.end()));
    writeFile(dir.file("corvina.ini"), "[corvina]\nbook=\negtb=" + dir.path().string() + "\nhashsize=1\n");

    EngineProcess engine(dir, {});
    ASSERT_TRUE(engine.started());
    const std::string fen = "8/8/3k4/8/8/8/8/R3K3 w - - 0 1";
    engine.send(script(fen, 6));
    ASSERT_TRUE(engine.waitForExit(ExitLimit));
    EXPECT_EQ(engine.status(), 0);
    const std::string out = engine.out();
    EXPECT_EQ(count(out, "egtb: in use"), 1) << out;
    // Broken once (inside the line of the root move being probed); withdrawn, the side
    // is not read again.
    const std::size_t broken = out.find("probe broken\n");
    EXPECT_NE(broken, std::string::npos) << out;
    EXPECT_EQ(out.find("probe broken", broken + 1), std::string::npos) << out;
    EXPECT_EQ(legalMoves(out, fen).size(), 6u) << out;
}

}  // namespace
}  // namespace corvina
