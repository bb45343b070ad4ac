// The engine plays basic mates from tablebases it made itself: KQ against K and KR against K,
// both sides chosen by think(), until White has mated.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "app/engine.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/mtdf.h"
#include "tablebases/registry.h"

namespace corvina {
namespace {

namespace fs = std::filesystem;

const char* const GaviotaThreeMen = "/usr/share/gaviotatb/gtb4";

class EndgamePlay : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        initTables();
        tableDir = fs::temp_directory_path() / ("corvina-endgame-" + std::to_string(getpid()));
        fs::create_directories(tableDir);
        for (const char* table : {"kqk", "krk"}) {
            const std::string command = std::string(CORVINA_TBMAKE) + " --compress " + table +
                                        " " + GaviotaThreeMen + " " + tableDir.string() +
                                        " > /dev/null 2>&1";
            made = made && std::system(command.c_str()) == 0;
        }
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(tableDir, ignored);
        resetTablebases();
    }
    void SetUp() override {
        if (!fs::exists(fs::path(GaviotaThreeMen) / "kqk.gtb.cp4"))
            GTEST_SKIP() << "Gaviota 3-man tables not installed in " << GaviotaThreeMen
                         << " (Debian package gaviotatb)";
        ASSERT_TRUE(made) << "corvina-tbmake failed";
    }

    struct Outcome {
        int result;
        int plies;
        int mateIn;  // moves, by the tables, from the start position
    };

    // Two engines, each with its own hash table as two programs would have, play the game out
    // from the FEN, White to move and winning. With oneEngine, White's engine plays both
    // sides, as in self-play or at the console, so the loser's mate scores share its table.
    static Outcome playOut(const std::string& fen, int maxPlies, bool oneEngine = false) {
        std::streambuf* saved = std::cout.rdbuf();
        std::ostringstream sink;
        if (!std::getenv("CORVINA_SHOW_GAME")) std::cout.rdbuf(sink.rdbuf());
        Engine white("", tableDir.string(), 4, 1);
        Engine black("", tableDir.string(), 4, 1);
        for (Engine* engine : {&white, &black}) {
            engine->maxMoveSeconds = 0.2;
            engine->setPosition(fen);
        }
        Position start;
        expandPosition(start, white.board);
        const int mateIn = -probeTablebases(start);
        int plies = 0;
        int result = -1;
        while (result == -1 && plies < maxPlies) {
            Engine& mover = plies % 2 == 0 || oneEngine ? white : black;
            const Move move = mover.think();
            result = mover.result;
            if (move.isNone()) {
                // A mate played from the tables' move is not announced by the mover; the
                // board tells it: the side to move is in check without a legal move.
                if (result == -1) {
                    Position last;
                    expandPosition(last, white.board);
                    if (gameStateOf(last) == 1) result = 1;
                }
                break;
            }
            white.applyMove(move);
            if (!oneEngine) black.applyMove(move);
            ++plies;
        }
        std::cout.rdbuf(saved);
        EXPECT_TRUE(white.tablebasesInUse);
        return {result, plies, mateIn};
    }

    static inline fs::path tableDir;
    static inline bool made = true;
};

TEST_F(EndgamePlay, QueenAndKingMateALoneKing) {
    // The winner follows the tables, so the mate comes no later than they promise.
    const Outcome game = playOut("8/8/8/4k3/8/8/8/4K2Q w - - 0 1", 60);
    ASSERT_GT(game.mateIn, 0);
    EXPECT_EQ(game.result, 1) << "no mate after " << game.plies << " plies";
    EXPECT_LE(game.plies, 2 * game.mateIn - 1);
}

TEST_F(EndgamePlay, RookAndKingMateALoneKing) {
    const Outcome game = playOut("8/8/3k4/8/8/8/8/R3K3 w - - 0 1", 80);
    ASSERT_GT(game.mateIn, 10);  // a long win: the tables must carry the engine through it
    EXPECT_EQ(game.result, 1) << "no mate after " << game.plies << " plies";
    EXPECT_LE(game.plies, 2 * game.mateIn - 1);
}

TEST_F(EndgamePlay, OneEngineForBothSidesStillFollowsTheTables) {
    // The defender's searches leave mate scores in the shared table; a first pass that reads
    // one must not keep the winner from asking the tables (it used to drift into repetitions).
    for (const char* fen : {"8/8/8/4k3/8/8/8/R3K3 w - - 0 1", "8/8/8/8/2k5/8/8/Q3K3 w - - 0 1"}) {
        const Outcome game = playOut(fen, 100, true);
        ASSERT_GT(game.mateIn, 0) << fen;
        EXPECT_EQ(game.result, 1) << fen << ": no mate after " << game.plies << " plies";
        EXPECT_LE(game.plies, 2 * game.mateIn - 1) << fen;
    }
}

}  // namespace
}  // namespace corvina
