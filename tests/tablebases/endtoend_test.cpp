// Tables made by corvina-tbmake from Gaviota data, registered and probed as the engine
// does, checked against Gaviota for every legal position.
#include <gtb-probe.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "board/position.h"
#include "board/tables.h"
#include "tablebases/indexing.h"
#include "tablebases/registry.h"
#include "tools/gaviota.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

const char* const systemGaviota = "/usr/share/gaviotatb/gtb4";

std::string sharedGaviota() { return std::string(CORVINA_SHARED_DIR) + "/gaviota"; }

// Gaviota's verdict in the probe's terms: -n the side to move mates in n, +n it is mated
// in n, 0 a draw or mate on the board.
class GaviotaOracle {
public:
    explicit GaviotaOracle(const std::string& dir) {
        paths_ = tbpaths_add(tbpaths_init(), dir.c_str());
        tb_init(0, tb_CP4, paths_);
        tbcache_init(32u << 20, 0);
    }
    ~GaviotaOracle() {
        tbcache_done();
        tb_done();
        tbpaths_done(paths_);
    }
    GaviotaOracle(const GaviotaOracle&) = delete;
    GaviotaOracle& operator=(const GaviotaOracle&) = delete;

    bool result(const TableMen& men, const TablePosition& p, int& out) const {
        switch (probeGaviota(men, p, out)) {
        case GaviotaVerdict::MoverWins:
            out = -out;
            return true;
        case GaviotaVerdict::MoverLoses:
        case GaviotaVerdict::Draw:
            return true;
        case GaviotaVerdict::NoAnswer:
        case GaviotaVerdict::Illegal:
            break;
        }
        return false;
    }

private:
    const char** paths_ = nullptr;
};

// The board of a table position; with reversed, colours swapped and the board turned.
BoardRecord boardOf(const TableMen& men, const TablePosition& p, bool reversed) {
    static const int typeOfKind[6] = {King, Pawn, Knight, Bishop, Rook, Queen};
    BoardRecord board;
    clearBoard(board);
    const int flip = reversed ? 56 : 0;
    for (int s = 0; s < 2; ++s) {
        int colour = (s == 0) != reversed ? White : Black;
        int x = p.king[s] ^ flip;
        board.squares[squareIndex(x & 7, x >> 3)] = makeCode(King, colour);
        for (int i = 0; i < men.count[s]; ++i) {
            x = p.square[s][i] ^ flip;
            board.squares[squareIndex(x & 7, x >> 3)] = makeCode(typeOfKind[men.kind[s][i]], colour);
        }
    }
    bool whiteToMove = (p.sideToMove == 0) != reversed;
    board.state = whiteToMove ? StateWhiteToMove : 0;
    if (p.epSquare != NoSquare) {
        board.state |= std::uint8_t(StateEpAvailable | ((p.epSquare & 7) << 1));
    }
    return board;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        initTables();
        resetTablebases();
        char pattern[] = "/tmp/corvina-endtoend-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override {
        resetTablebases();
        fs::remove_all(root);
    }

    // Runs the table maker on every table of the Gaviota directory.
    void make(const std::string& gaviotaDir, const std::string& out, bool compress) {
        fs::create_directories(out);
        std::string command = std::string("\"") + CORVINA_TBMAKE + "\"" +
                              (compress ? " --compress" : "") + " all \"" + gaviotaDir + "\" \"" +
                              out + "\" > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    void start(const std::string& dir, const char* expectedLine) {
        testing::internal::CaptureStdout();
        bool started = startTablebases(dir, 64u << 20);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expectedLine);
        ASSERT_TRUE(started);
    }

    // Every legal position of the tables in [first, last], and (every reversedStride-th
    // one) its colour-reversed twin, probed against Gaviota.
    void checkTables(const GaviotaOracle& oracle, int first, int last, std::uint64_t reversedStride) {
        for (int id = first; id <= last; ++id) {
            const TableMen men = parseTableMen(tableList[id].name);
            for (int side = 0; side < 2; ++side) {
                std::uint64_t positions = 0;
                std::uint64_t wrong = 0;
                std::uint64_t unknown = 0;
                forEachTablePosition(men, side, [&](const TablePosition& p) {
                    int expected = 0;
                    if (!oracle.result(men, p, expected)) {
                        ++unknown;
                        return;
                    }
                    for (int reversed = 0; reversed < 2; ++reversed) {
                        if (reversed && positions % reversedStride != 0) {
                            continue;
                        }
                        Position position;
                        expandPosition(position, boardOf(men, p, reversed));
                        int got = probeTablebases(position);
                        if (got != expected) {
                            if (++wrong <= 5) {
                                ADD_FAILURE() << tableList[id].name << (reversed ? " reversed " : " ")
                                              << describeTablePosition(men, p) << ": probe " << got
                                              << ", Gaviota " << expected;
                            }
                        }
                    }
                    ++positions;
                });
                EXPECT_GT(positions, 0u) << tableList[id].name;
                EXPECT_EQ(unknown, 0u) << tableList[id].name << " side " << side;
                EXPECT_EQ(wrong, 0u) << tableList[id].name << " side " << side;
            }
        }
    }

    fs::path root;
};

TEST_F(EndToEnd, ThreeManTablesProbeAsGaviotaInBothFormats) {
    if (!fs::exists(fs::path(systemGaviota) / "krk.gtb.cp4")) {
        GTEST_SKIP() << "no 3-man Gaviota tables in " << systemGaviota << " (package gaviotatb)";
    }
    GaviotaOracle oracle(systemGaviota);
    for (bool compress : {false, true}) {
        std::string out = (root / (compress ? "packed" : "plain")).string();
        make(systemGaviota, out, compress);
        for (int id = 1; id <= 5; ++id) {
            std::string name = std::string(tableList[id].name) + (compress ? ".nbw.emd" : ".nbw");
            ASSERT_TRUE(fs::exists(fs::path(out) / name)) << name;
        }
        if (!compress) {
            EXPECT_EQ(fs::file_size(fs::path(out) / "kpk.nbb"), tableList[1].size[1]);
            EXPECT_EQ(fs::file_size(fs::path(out) / "krk.nbw"), tableList[4].size[0]);
        }
        start(out, "egtb: 3\n");
        checkTables(oracle, 1, 5, 1);
        resetTablebases();
    }
}

TEST_F(EndToEnd, MakerRefusesUnknownTables) {
    std::string command = std::string("\"") + CORVINA_TBMAKE + "\" kzk \"" + systemGaviota +
                          "\" \"" + root.string() + "\" 2> /dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
    EXPECT_TRUE(fs::is_empty(root));
}

// Minutes of work: every 4-man table made and checked.
TEST_F(EndToEnd, SlowFourManTablesProbeAsGaviota) {
#ifndef CORVINA_SLOW_TABLE_TESTS
    GTEST_SKIP() << "exhaustive 4-man check: configure with -DCORVINA_SLOW_TABLE_TESTS=ON";
#endif
    if (!fs::exists(fs::path(sharedGaviota()) / "kqkr.gtb.cp4")) {
        GTEST_SKIP() << "no 4-man Gaviota tables in " << sharedGaviota();
    }
    std::string out = (root / "packed").string();
    make(sharedGaviota(), out, true);
    start(out, "egtb: 4\n");
    GaviotaOracle oracle(sharedGaviota());
    checkTables(oracle, 6, 35, 7);
}

}  // namespace
}  // namespace corvina
