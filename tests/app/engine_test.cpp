// The engine object: contempt from the ratings, time per move, history and pawn cache.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/engine.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/timecontrol.h"

namespace corvina {
namespace {

double fixedClock() { return 5000.0; }

class EngineTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { initTables(); }
    Engine engine{"", "/nonexistent-corvina-tables", 1, 1};
};

TEST_F(EngineTest, ContemptThresholds) {
    const struct {
        int opponent;
        int contempt;
    } cases[] = {{1650, -100}, {2001, 300}, {2000, 250}, {1851, 150}, {1850, 50},
                 {1700, 50},   {1600, -100}, {1599, -150}, {1800, 50}};
    for (const auto& c : cases) {
        engine.engineRating = 1800;
        engine.opponentRating = c.opponent;
        engine.updateContempt();
        EXPECT_EQ(engine.contempt, c.contempt) << "opponent " << c.opponent;
    }
}

TEST_F(EngineTest, TimeForMove) {
    setClockSource(fixedClock);
    EXPECT_EQ(engine.timeForMove(5000.0), 10000.0);  // no clock
    engine.limits.clockSeconds = 60;
    engine.plyCount = 0;
    EXPECT_DOUBLE_EQ(engine.timeForMove(5000.0), 0.75);
    engine.limits.clockSeconds = 120;
    engine.plyCount = 40;
    EXPECT_DOUBLE_EQ(engine.timeForMove(5000.0), 2.0);
    engine.limits.clockSeconds = 10;
    engine.plyCount = 121;  // 80 - 60 = 20, the floor
    EXPECT_DOUBLE_EQ(engine.timeForMove(5000.0), 0.5);
    engine.plyCount = 100;
    EXPECT_DOUBLE_EQ(engine.timeForMove(5000.0), 10.0 / 30);
    // Time already spent is taken off, never below zero.
    EXPECT_DOUBLE_EQ(engine.timeForMove(4000.0), 10.0 / 30 - 1.0 < 0 ? 0.0 : 10.0 / 30 - 1.0);
    engine.limits.clockSeconds = 1e9;
    engine.plyCount = 0;
    EXPECT_EQ(engine.timeForMove(5000.0), 10000.0);  // capped
    setClockSource(nullptr);
}

TEST_F(EngineTest, PawnCacheEmptiedOnlyByPawnEvents) {
    engine.setPosition("4k3/8/8/3p4/4P3/2N5/8/4K3 w - - 0 1");
    engine.pawnCache[PawnKey{}] = 7;
    engine.applyMove(readMove("c3b5", engine.board));  // knight move keeps it
    EXPECT_EQ(engine.pawnCache.size(), 1u);
    engine.applyMove(readMove("e8e7", engine.board));
    EXPECT_EQ(engine.pawnCache.size(), 1u);
    engine.applyMove(readMove("e4d5", engine.board));  // pawn takes pawn
    EXPECT_TRUE(engine.pawnCache.empty());

    engine.setPosition("4k3/8/8/3p4/8/2N5/8/4K3 w - - 0 1");
    engine.pawnCache[PawnKey{}] = 7;
    engine.applyMove(readMove("c3d5", engine.board));  // knight takes pawn
    EXPECT_TRUE(engine.pawnCache.empty());

    engine.setPosition("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    engine.pawnCache[PawnKey{}] = 7;
    const Move ep = readMove("e5d6", engine.board);
    ASSERT_FALSE(ep.isNone());
    engine.applyMove(ep);  // en passant: the mover is a pawn
    EXPECT_TRUE(engine.pawnCache.empty());
}

TEST_F(EngineTest, HistoryCountsAndNewGame) {
    const char* fen = "8/8/8/8/8/8/8/K6k w - - 0 1";
    engine.setPosition(fen);
    engine.setPosition(fen);
    EXPECT_TRUE(engine.seenAtLeast(engine.board, 2));
    EXPECT_FALSE(engine.seenAtLeast(engine.board, 3));
    const int ply = engine.plyCount;
    engine.applyMove(readMove("a1a2", engine.board));
    EXPECT_EQ(engine.plyCount, ply + 1);
    EXPECT_TRUE(engine.seenAtLeast(engine.board, 1));
    engine.newGame();
    EXPECT_TRUE(engine.history.empty());
    EXPECT_EQ(engine.plyCount, 0);
    EXPECT_EQ(engine.result, -1);
}

TEST_F(EngineTest, TakeBackRestoresTheGameAsItWasBeforeTheMove) {
    EXPECT_FALSE(engine.takeBack());  // nothing played yet
    engine.applyMove(readMove("e2e4", engine.board));
    engine.applyMove(readMove("g8f6", engine.board));
    const BoardRecord beforeKnight = engine.board;
    const auto historyBefore = engine.history;
    engine.pawnCache[PawnKey{}] = 7;
    engine.applyMove(readMove("g1f3", engine.board));
    engine.applyMove(readMove("f6e4", engine.board));  // takes a pawn: the cache is emptied
    engine.pawnCache[PawnKey{}] = 7;
    engine.result = 1;

    ASSERT_TRUE(engine.takeBack());
    ASSERT_TRUE(engine.takeBack());
    EXPECT_EQ(std::memcmp(&engine.board, &beforeKnight, sizeof(BoardRecord)), 0);
    EXPECT_EQ(engine.plyCount, 2);
    // Counts lowered, emptied entries gone.
    EXPECT_EQ(engine.history.size(), historyBefore.size());
    for (const auto& [record, count] : historyBefore)
        EXPECT_TRUE(engine.seenAtLeast(record, count) && !engine.seenAtLeast(record, count + 1));
    EXPECT_TRUE(engine.pawnCache.empty());      // its structure was undone with the capture
    EXPECT_EQ(engine.result, -1);

    // A knight move taken back keeps the cache; White is to move again.
    engine.applyMove(readMove("b1c3", engine.board));
    engine.pawnCache[PawnKey{}] = 7;
    ASSERT_TRUE(engine.takeBack());
    EXPECT_EQ(engine.pawnCache.size(), 1u);
    EXPECT_FALSE(readMove("g1f3", engine.board).isNone());

    // A set position starts a new record: nothing before it can be taken back.
    engine.setPosition("8/8/8/8/8/8/8/K6k w - - 0 1");
    EXPECT_FALSE(engine.takeBack());
}

TEST_F(EngineTest, ThinkStopsAtTheDepthNodeOrStopLimit) {
    struct Row {
        const char* what;
        int depth;
        std::uint32_t nodes;
        bool stop;
        int deepestPass;
    };
    // The first pass always runs to its end, so a stop or a spent node budget before the
    // search leaves exactly one. The node limit comes first, while the table is empty and
    // the first pass must evaluate leaves.
    const Row rows[] = {
        {"node limit", 0, 1, false, 1},
        {"stop requested before the search", 0, 0, true, 1},
        {"depth limit", 3, 0, false, 3},
    };
    for (const Row& row : rows) {
        engine.newGame();
        engine.limits = SearchLimits{};
        engine.limits.depth = row.depth;
        engine.limits.nodes = row.nodes;
        engine.clearStop();
        if (row.stop) engine.requestStop();
        std::vector<int> depths;
        engine.onPass = [&](const PassReport& report) {
            depths.push_back(report.depth);
            EXPECT_GT(report.pv.count, 0) << row.what;
        };
        const Move move = engine.think();
        EXPECT_FALSE(move.isNone()) << row.what;
        ASSERT_FALSE(depths.empty()) << row.what;
        EXPECT_EQ(depths.back(), row.deepestPass) << row.what;
        EXPECT_EQ(depths.size(), std::size_t(row.deepestPass)) << row.what;
    }
    engine.onPass = nullptr;
    engine.clearStop();
}

TEST_F(EngineTest, ThinkFindsMateAndReportsIt) {
    engine.limits.clockSeconds = 20;
    engine.setPosition("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
    const Move move = engine.think();
    ASSERT_FALSE(move.isNone());
    std::ostringstream text;
    writeCoordinate(text, move);
    EXPECT_EQ(text.str(), "a1a8");
    EXPECT_EQ(engine.result, 1);
    EXPECT_EQ(engine.engineSide, 1);
}

TEST_F(EngineTest, RepetitionOfTheChosenMoveIsADraw) {
    // Every king move of White leads to a position already counted three times.
    engine.limits.clockSeconds = 5;
    for (const char* after : {"8/8/8/8/8/8/K7/7k b - - 0 1", "8/8/8/8/8/8/8/1K5k b - - 0 1",
                              "8/8/8/8/8/8/1K6/7k b - - 0 1"})
        for (int i = 0; i < 3; ++i) engine.setPosition(after);
    engine.setPosition("8/8/8/8/8/8/8/K6k w - - 0 1");
    const Move move = engine.think();
    ASSERT_FALSE(move.isNone());
    EXPECT_EQ(engine.result, 3);
    EXPECT_EQ(engine.plyCount, 0);  // think leaves the game to its caller
}

TEST_F(EngineTest, NoLegalMoveGivesNoMove) {
    engine.limits.clockSeconds = 5;
    engine.setPosition("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");  // stalemate
    const Move move = engine.think();
    EXPECT_TRUE(move.isNone());
}

}  // namespace
}  // namespace corvina
