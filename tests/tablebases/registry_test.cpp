#include "tablebases/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "board/position.h"
#include "board/tables.h"
#include "tablebases/writer.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

constexpr int Krk = 4;
constexpr int Kqk = 5;
constexpr int Kpkp = 6;

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        resetTablebases();
        char pattern[] = "/tmp/corvina-registry-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override {
        resetTablebases();
        fs::remove_all(root);
    }

    std::string dir(const std::string& name) {
        fs::create_directories(root / name);
        return (root / name).string();
    }

    struct Marker {
        std::uint32_t index;
        std::int8_t value;
    };

    // A table side file whose every byte is value but at the markers.
    static void writeTable(const std::string& path, std::uint32_t size, std::int8_t value,
                           std::initializer_list<Marker> markers = {}) {
        std::vector<std::int8_t> bytes(size, value);
        for (const Marker& m : markers) {
            ASSERT_LT(m.index, size);
            bytes[m.index] = m.value;
        }
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, size, f), size);
        std::fclose(f);
    }

    static Position positionOf(const char* fen) {
        BoardRecord board;
        parseFen(board, fen);
        Position position;
        expandPosition(position, board);
        return position;
    }

    fs::path root;
};

TEST_F(Registry, ByteToResultTable) {
    EXPECT_EQ(resultOfScore(scoreOfEntry(1)), -126);
    EXPECT_EQ(resultOfScore(scoreOfEntry(126)), -1);
    EXPECT_EQ(resultOfScore(scoreOfEntry(-1)), 125);
    EXPECT_EQ(resultOfScore(scoreOfEntry(-126)), 0);
    EXPECT_EQ(resultOfScore(scoreOfEntry(0)), 0);
    EXPECT_EQ(resultOfScore(scoreOfEntry(-128)), -127);
    EXPECT_EQ(resultOfScore(scoreOfEntry(-127)), 126);
    EXPECT_EQ(scoreOfEntry(127), 32767);
    // The maker's bytes read back as the distances they store.
    for (int n = 1; n <= 127; ++n) {
        EXPECT_EQ(resultOfScore(scoreOfEntry(entryForMate(n))), -n) << n;
    }
    for (int n = 1; n <= 126; ++n) {
        EXPECT_EQ(resultOfScore(scoreOfEntry(entryForMated(n))), n) << n;
    }
    EXPECT_EQ(entryForMated(0), -126);
}

TEST_F(Registry, MaterialTreeHoldsUpToThreeMenBesidesTheKings) {
    initTablebases(dir("empty"));
    MaterialTree& tree = tablebases().tree;
    EXPECT_EQ(tree.leaves.size(), 286u);  // ten counts summing to at most three
    int fourMen[10] = {1, 1, 1, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(tree.leaf(fourMen), nullptr);
    int nine[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 3};
    EXPECT_NE(tree.leaf(nine), nullptr);
}

TEST_F(Registry, DirectoryListSplitsAtSemicolonAndCommaAndFirstDirectoryWins) {
    std::string a = dir("a");
    std::string b = dir("b");
    std::string c = dir("c");
    writeTable(a + "/krk.nbw", tableList[Krk].size[0], 5);
    writeTable(b + "/krk.nbw", tableList[Krk].size[0], 9);
    writeTable(b + "/krk.nbb", tableList[Krk].size[1], 9);
    writeTable(c + "/kqk.nbw", tableList[Kqk].size[0], 3);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(startTablebases(a + ";" + b + "," + c, 1 << 20));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "egtb: 3\n");
    EXPECT_EQ(tableSideFiles(Krk, 0).fileName, a + "/krk.nbw");
    EXPECT_EQ(tableSideFiles(Krk, 1).fileName, b + "/krk.nbb");
    EXPECT_EQ(tableSideFiles(Kqk, 0).fileName, c + "/kqk.nbw");
    EXPECT_FALSE(tableSidePresent(Kqk, 1));

    // Byte 5 in a's file: white mates in 122.
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 w - - 0 1")), -122);
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 b - - 0 1")), -118);
    // The rook with black: the colour-reversed view of the same table.
    EXPECT_EQ(probeTablebases(positionOf("7K/8/8/8/8/2k5/8/r7 b - - 0 1")), -122);
    EXPECT_EQ(probeTablebases(positionOf("7K/8/8/8/8/2k5/8/q7 b - - 0 1")), -124);
    EXPECT_EQ(probeTablebases(positionOf("7K/8/8/8/8/2k5/8/q7 w - - 0 1")), NoTablebaseResult);
}

TEST_F(Registry, OnlyTheWhiteToMoveFileRegistersOneSide) {
    std::string a = dir("a");
    writeTable(a + "/krk.nbw", tableList[Krk].size[0], -100);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(startTablebases(a, 1 << 20));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "egtb: 3\n");
    EXPECT_TRUE(tablebasesInUse());
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 w - - 0 1")), 26);
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 b - - 0 1")), NoTablebaseResult);
}

TEST_F(Registry, CompressedFilesInBothNameFormsAreRead) {
    std::string a = dir("a");
    std::string b = dir("b");
    std::vector<std::uint8_t> white(tableList[Krk].size[0], 120);
    std::vector<std::uint8_t> black(tableList[Krk].size[1]);
    for (std::size_t i = 0; i < black.size(); ++i) {
        black[i] = std::uint8_t(i % 7);
    }
    ASSERT_TRUE(writeCompressedTable(a + "/krk.nbw.emd", white.data(), white.size()));
    ASSERT_TRUE(writeCompressedTable(b + "/krknbb.emd", black.data(), black.size()));
    testing::internal::CaptureStdout();
    ASSERT_TRUE(startTablebases(a + "," + b, 1 << 20));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(tableSideFiles(Krk, 1).fileName, b + "/krknbb.emd");
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 w - - 0 1")), -7);
    // Black to move with this position: index 1735, byte 1735 % 7 = 6.
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 b - - 0 1")), -121);
}

TEST_F(Registry, MaterialWithoutATableTouchesNoFile) {
    std::string a = dir("a");
    writeTable(a + "/krk.nbw", tableList[Krk].size[0], 5);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(startTablebases(a, 1 << 20));
    testing::internal::GetCapturedStdout();
    CacheStats before = cacheStats();
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/RRRR4 w - - 0 1")), NoTablebaseResult);
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/RRR5 w - - 0 1")), NoTablebaseResult);
    EXPECT_EQ(probeTablebases(positionOf("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1")),
              NoTablebaseResult);
    CacheStats after = cacheStats();
    EXPECT_EQ(after.hits + after.misses, before.hits + before.misses);
}

TEST_F(Registry, EnPassantSquaresReachTheIndex) {
    // kpkp is probed colour-reversed whoever moves; put a marker where the en passant
    // position lies and zeros elsewhere.
    std::string a = dir("a");
    const IndexFunction reversedView = makeIndexFunction("kpkp", 1);
    const IndexFunction directView = makeIndexFunction("kpkp", 0);

    // White to move after d7-d5: square 43 (d6). In the colour-reversed position black
    // is to move after d2-d4, en passant square d3.
    Position whiteToMove = positionOf("7k/8/8/3pP3/8/8/8/K7 w - d6 0 1");
    Position mirror = positionOf("k7/8/8/8/3Pp3/8/8/7K b - d3 0 1");
    std::uint32_t atWhite = reversedView(mirror.white, mirror.black, 19, 0);
    EXPECT_EQ(reversedView(whiteToMove.black, whiteToMove.white, 43, 1), atWhite);

    // Black to move after d2-d4: square 19 (d3), read from the white-to-move file.
    Position blackToMove = positionOf("7k/8/8/8/2pP4/8/8/K7 b - d3 0 1");
    Position mirror2 = positionOf("k7/8/8/2Pp4/8/8/8/7K w - d6 0 1");
    std::uint32_t atBlack = directView(mirror2.white, mirror2.black, 43, 0);
    EXPECT_EQ(directView(blackToMove.black, blackToMove.white, 19, 1), atBlack);

    // A double step with no pawn beside it: the ordinary position's byte.
    Position noCapture = positionOf("7k/8/8/3p4/8/8/4P3/K7 w - d6 0 1");
    std::uint32_t atOrdinary = reversedView(noCapture.black, noCapture.white, NoSquare, 1);

    writeTable(a + "/kpkp.nbb", tableList[Kpkp].size[1], 0, {{atWhite, 100}, {atOrdinary, 90}});
    writeTable(a + "/kpkp.nbw", tableList[Kpkp].size[0], 0, {{atBlack, 110}});
    testing::internal::CaptureStdout();
    ASSERT_TRUE(startTablebases(a, 1 << 20));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(probeTablebases(whiteToMove), -27);
    EXPECT_EQ(probeTablebases(blackToMove), -17);
    EXPECT_EQ(probeTablebases(noCapture), -37);
    // Without the double step the same men are ordinary positions.
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/3pP3/8/8/8/K7 w - - 0 1")), 0);
}

TEST_F(Registry, NoCacheMemoryMeansNoTablebases) {
    std::string a = dir("a");
    writeTable(a + "/krk.nbw", tableList[Krk].size[0], 5);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(startTablebases(a, 0));
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("egtb: 3\n", 0), 0u) << out;
    EXPECT_NE(out.find("playing without tablebases"), std::string::npos) << out;
    EXPECT_FALSE(tablebasesInUse());
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 w - - 0 1")), NoTablebaseResult);
}

TEST_F(Registry, NoTablesFoundPrintsZero) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(startTablebases(dir("none"), 1 << 20));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "egtb: 0\n");
    EXPECT_EQ(initTablebases(dir("none") + ";" + dir("none2")), 0);
}

TEST_F(Registry, LargestTableGivesTheMenCount) {
    std::string a = dir("a");
    writeTable(a + "/kpkp.nbw", tableList[Kpkp].size[0], 0);
    EXPECT_EQ(initTablebases(a), 4);
    fs::remove(a + "/kpkp.nbw");
    writeTable(a + "/kqk.nbb", tableList[Kqk].size[1], 0);
    EXPECT_EQ(initTablebases(a), 3);
    EXPECT_FALSE(tableSidePresent(Kpkp, 0));
}

TEST_F(Registry, ReadFailureWithdrawsTheSide) {
    std::string a = dir("a");
    writeTable(a + "/krk.nbw", tableList[Krk].size[0], 5);
    testing::internal::CaptureStdout();
    ASSERT_TRUE(startTablebases(a, 1 << 20));
    testing::internal::GetCapturedStdout();
    fs::remove(a + "/krk.nbw");
    testing::internal::CaptureStdout();
    EXPECT_EQ(probeTablebases(positionOf("7k/8/8/8/8/2K5/8/R7 w - - 0 1")), NoTablebaseResult);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "probe broken\n");
    EXPECT_FALSE(tableSidePresent(Krk, 0));
}

// Fatal registry errors print on standard output; the death tests look at stderr.
void registerWithStdoutOnStderr(const std::string& directories) {
    std::fflush(stdout);
    dup2(2, 1);
    initTablebases(directories);
}

TEST_F(Registry, FileOfTheWrongSizeIsFatal) {
    std::string a = dir("a");
    writeTable(a + "/krk.nbb", tableList[Krk].size[1] - 1, 0);
    EXPECT_EXIT(registerWithStdoutOnStderr(a), testing::ExitedWithCode(1),
                "\\*\\*\\* " + a + "/krk.nbb corrupted");
}

TEST_F(Registry, BrokenCompressedFileIsFatal) {
    std::string a = dir("a");
    writeTable(a + "/krk.nbw.emd", 1000, 7);
    EXPECT_EXIT(registerWithStdoutOnStderr(a), testing::ExitedWithCode(1),
                "\\*\\*\\* Unable to read " + a + "/krk.nbw.emd - ");
}

TEST_F(Registry, CheckingFormReportsFatalFilesInsteadOfExiting) {
    std::string a = dir("a");
    writeTable(a + "/kpk.nbw", tableList[1].size[0], 0);
    writeTable(a + "/krk.nbb", tableList[Krk].size[1] + 1, 0);
    RegistryStatus status;
    EXPECT_EQ(checkTablebases(a, status), -1);
    EXPECT_TRUE(status.fatal);
    EXPECT_EQ(status.message, "*** " + a + "/krk.nbb corrupted\n");
    // The sides before the bad file stay registered until the registry is reset.
    EXPECT_TRUE(tableSidePresent(1, 0));
    resetTablebases();
    EXPECT_FALSE(tableSidePresent(1, 0));

    fs::remove(a + "/krk.nbb");
    writeTable(a + "/krk.nbw.emd", 1000, 7);
    RegistryStatus broken;
    EXPECT_FALSE(checkTableSide(a, Krk, 0, broken));
    EXPECT_EQ(broken.message, "*** Unable to read " + a + "/krk.nbw.emd - read error\n");

    fs::remove(a + "/krk.nbw.emd");
    RegistryStatus fine;
    EXPECT_EQ(checkTablebases(a, fine), 3);
    EXPECT_FALSE(fine.fatal);
    EXPECT_EQ(fine.message, "");
}

}  // namespace
}  // namespace corvina
