#include "search/searcher.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <sstream>

#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

#if defined(__SANITIZE_ADDRESS__)
#define CORVINA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVINA_ASAN 1
#endif
#endif

namespace corvina {
namespace {

class SearcherInit : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        seedRandom(7);
        initTables();
    }
    Searcher searcher;
    std::ostringstream out;
};

bool killersAreEmpty(const KillerTable& killers) {
    for (int ply = 0; ply < KillerPlies; ++ply)
        for (int slot = 0; slot < 3; ++slot)
            if (!killers.moves[ply][slot].isNone() || killers.scores[ply][slot] != -30000)
                return false;
    return true;
}

TEST_F(SearcherInit, OneMegabytePrintsTheFourMemoryLines) {
    initSearcher(searcher, nullptr, 1 << 20, out);
    EXPECT_EQ(out.str(), "mem max:  1048576\nhash size: 65536\nnode size: 16\nmem used: 1048576\n");
    EXPECT_EQ(searcher.table.entryCount, 65536u);
}

TEST_F(SearcherInit, SixteenMegabytesMakeAMillionEntries) {
    initSearcher(searcher, nullptr, 16 << 20, out);
    EXPECT_EQ(searcher.table.entryCount, 1048576u);
    EXPECT_NE(out.str().find("mem used: 16777216\n"), std::string::npos);
}

TEST_F(SearcherInit, StartsEmptyWithTheDefaults) {
    int owner = 0;  // stands in for the engine: only the address is kept
    Engine* engine = reinterpret_cast<Engine*>(&owner);
    initSearcher(searcher, engine, 1 << 20, out);
    EXPECT_EQ(searcher.engine, engine);
    for (std::uint32_t i = 0; i < searcher.table.entryCount; ++i)
        ASSERT_EQ(searcher.table.entries[i].lock, 0u) << i;
    EXPECT_TRUE(killersAreEmpty(searcher.killers));
    EXPECT_TRUE(searcher.bestMove.isNone());
    EXPECT_TRUE(searcher.probeMove.isNone());
    EXPECT_EQ(searcher.drawValue, 50);
    EXPECT_EQ(searcher.gameResult, -1);
    EXPECT_EQ(searcher.nodeCount, 0u);
}

TEST_F(SearcherInit, KeysAreDrawnForTheTableSize) {
    initSearcher(searcher, nullptr, 1 << 20, out);
    const HashKeys& keys = hashKeys();
    for (std::uint32_t key : keys.pieceIndexKey) ASSERT_LT(key, 65536u);
    std::uint32_t highest = 0;
    for (std::uint32_t key : keys.pieceIndexKey) highest = std::max(highest, key);
    EXPECT_GE(highest, 32768u);  // the keys use the whole range, not a fixed smaller one

    BoardRecord board;
    setStartPosition(board);
    Position position{};
    expandPosition(position, board);
    EXPECT_LT(position.hashIndexKey, 65536u);
}

TEST_F(SearcherInit, NoMemoryStillGivesOneEntry) {
    for (std::int64_t memory : {std::int64_t(0), std::int64_t(-1048576), std::int64_t(15)}) {
        out.str("");
        initSearcher(searcher, nullptr, memory, out);
        EXPECT_EQ(searcher.table.entryCount, 1u);
        EXPECT_NE(searcher.table.entries, nullptr);
        EXPECT_EQ(out.str(), "mem max:  " + std::to_string(memory) +
                                 "\nhash size: 1\nnode size: 16\nmem used: 16\n");
    }
    // Every index key is 0, so every position uses the one slot.
    for (std::uint32_t key : hashKeys().pieceIndexKey) ASSERT_EQ(key, 0u);
}

TEST_F(SearcherInit, ResetClearsThePerMoveStateOnly) {
    initSearcher(searcher, nullptr, 1 << 20, out);
    Searcher& s = searcher;
    s.table.entries[3].lock = 42;
    s.killers.moves[10][1] = Move{1, 1, 1, 2, KindQuiet, 2};
    s.killers.scores[10][1] = 77;
    s.bestMove = s.probeMove = Move{4, 1, 4, 3, KindQuiet, 2};
    s.timeBudget = 2.5;
    s.passDepth = 6;
    s.drawValue = -20;
    s.startTime = 1234.0;
    s.gameResult = 1;
    s.stopDeepening = s.aborted = s.hardAborted = s.acceptable = 1;
    s.probeValue = 9;
    s.nodeCount = 100000;

    resetSearcher(s);
    EXPECT_TRUE(killersAreEmpty(s.killers));
    EXPECT_TRUE(s.bestMove.isNone());
    EXPECT_TRUE(s.probeMove.isNone());
    EXPECT_EQ(s.timeBudget, 0);
    EXPECT_EQ(s.passDepth, 0);
    EXPECT_EQ(s.gameResult, -1);
    EXPECT_EQ(s.stopDeepening | s.aborted | s.hardAborted | s.acceptable, 0);
    EXPECT_EQ(s.probeValue, 0);
    EXPECT_EQ(s.nodeCount, 0u);
    // Kept from move to move.
    EXPECT_EQ(s.table.entries[3].lock, 42u);
    EXPECT_EQ(s.drawValue, -20);
    EXPECT_EQ(s.startTime, 1234.0);
}

#ifndef CORVINA_ASAN
// Runs in a child process: caps the address space at 256 MB and asks for a 1 GB table.
[[noreturn]] void initSearcherUnderMemoryCap() {
    const rlimit limit{256u << 20, 256u << 20};
    setrlimit(RLIMIT_AS, &limit);
    Searcher searcher;
    std::ostringstream lines;
    initSearcher(searcher, nullptr, std::int64_t(1) << 30, lines);
    const std::uint32_t count = searcher.table.entryCount;
    const bool ok =
        searcher.table.entries && count > 0 && count < (1u << 26) &&
        lines.str().find("hash size: " + std::to_string(count) + "\n") != std::string::npos;
    std::exit(ok ? 0 : 1);
}
#endif

TEST(SearcherMemory, ATableThatDoesNotFitIsHalvedUntilItDoes) {
#ifdef CORVINA_ASAN
    GTEST_SKIP() << "address-space limits do not work with the address sanitizer";
#else
    EXPECT_EXIT(initSearcherUnderMemoryCap(), ::testing::ExitedWithCode(0),
                "hash table of 67108864 entries cannot be allocated");
#endif
}

}  // namespace
}  // namespace corvina
