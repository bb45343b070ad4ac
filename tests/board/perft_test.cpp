#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/movegen.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

constexpr std::uint64_t quickLimit = 5'000'000;

struct PerftCase {
    std::string fen;
    int depth;
    std::uint64_t count;
};

// Lines of "FEN ;D1 n ;D2 n ..."; '#' starts a comment line.
std::vector<PerftCase> readSuite() {
    std::vector<PerftCase> cases;
    std::ifstream in(CORVINA_PERFT_SUITE);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::size_t split = line.find(';');
        std::string fen = line.substr(0, split);
        while (!fen.empty() && fen.back() == ' ') fen.pop_back();
        while (split != std::string::npos) {
            std::size_t next = line.find(';', split + 1);
            std::istringstream field(line.substr(split + 1, next - split - 1));
            char d = 0;
            PerftCase c{fen, 0, 0};
            if (field >> d >> c.depth >> c.count && d == 'D') cases.push_back(c);
            split = next;
        }
    }
    return cases;
}

void runSuite(bool deep) {
    seedRandom(99);
    initTables();
    const std::vector<PerftCase> cases = readSuite();
    ASSERT_FALSE(cases.empty()) << "no counts read from " << CORVINA_PERFT_SUITE;
    int run = 0;
    for (const PerftCase& c : cases) {
        if ((c.count > quickLimit) != deep) continue;
        BoardRecord board;
        std::string why;
        ASSERT_TRUE(readFenChecked(board, c.fen, why)) << c.fen << ": " << why;
        Position position;
        expandPosition(position, board);
        EXPECT_EQ(perft(position, c.depth), c.count) << c.fen << " at depth " << c.depth;
        ++run;
    }
    EXPECT_GT(run, 0);
}

TEST(PerftSuite, CountsMatch) { runSuite(false); }

TEST(PerftSuite, DeepCountsMatch) {
    if (!std::getenv("CORVINA_PERFT_DEEP"))
        GTEST_SKIP() << "set CORVINA_PERFT_DEEP=1 to run the counts above 5,000,000 leaves";
    runSuite(true);
}

TEST(Perft, DepthZeroCountsThePositionItself) {
    seedRandom(99);
    initTables();
    BoardRecord board;
    setStartPosition(board);
    Position position;
    expandPosition(position, board);
    EXPECT_EQ(perft(position, 0), 1u);
    EXPECT_EQ(perft(position, PerftMaxDepth + 1), 0u);
}

}  // namespace
}  // namespace corvina
