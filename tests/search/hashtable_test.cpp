#include "search/hashtable.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvina {
namespace {

const Move e2e4{4, 1, 4, 3, KindQuiet, 2};
const Move g1f3{6, 0, 5, 2, KindQuiet, 2};

TEST(HashEntry, BoundsKeepTwentySignedBits) {
    for (int v : {-30000, 10101, -10101, 0, 1, -1, 524287, -524288}) {
        HashEntry entry = packHashEntry(1, 2, e2e4, v, -v);
        EXPECT_EQ(entry.lower(), v);
        EXPECT_EQ(entry.upper(), v == -524288 ? -524288 : -v);  // 524288 wraps to itself
    }
    // Writing a bound leaves the twelve bits above it alone.
    HashEntry entry{};
    entry.lowerWord = 0xABC00000u;
    entry.setLower(-30000);
    EXPECT_EQ(entry.lowerWord >> 20, 0xABCu);
    EXPECT_EQ(entry.lower(), -30000);
}

TEST(HashEntry, MovesKeepTheirSquaresAndNoMoveBecomesH8H8) {
    const HashEntry entry = packHashEntry(7, 3, e2e4, 0, 0);
    EXPECT_EQ(entry.from, 4 | 1 << 3);
    EXPECT_EQ(entry.to, 4 | 3 << 3);
    const Move back = packHashEntry(7, 3, Move{4, 1, 4, 3, KindCapture, 8}, 0, 0).move();
    EXPECT_TRUE(back.sameSquares(e2e4));
    EXPECT_EQ(back.kind, KindQuiet);
    EXPECT_EQ(back.promotion, 2);

    const HashEntry none = packHashEntry(7, 3, NoMove, 0, 0);
    EXPECT_EQ(none.from, 0x3F);
    EXPECT_EQ(none.to, 0x3F);
    EXPECT_TRUE(none.move().sameSquares(Move{7, 7, 7, 7, KindQuiet, 2}));
    EXPECT_FALSE(none.move().isNone());

    // A zero-filled slot reads as lock 0, depth 0, a1-a1 and bounds 0.
    const HashEntry zero{};
    EXPECT_TRUE(zero.move().sameSquares(Move{0, 0, 0, 0, KindQuiet, 2}));
    EXPECT_EQ(zero.lower(), 0);
    EXPECT_EQ(zero.upper(), 0);
}

TEST(HashEntry, DepthKeepsItsLowEightBits) {
    EXPECT_EQ(packHashEntry(1, 99, NoMove, 0, 0).depth, 99);
    EXPECT_EQ(packHashEntry(1, 257, NoMove, 0, 0).depth, 1);
}

TEST(SearchBounds, FollowTheResultAgainstTheWindow) {
    int lower = 0, upper = 0;
    boundsOfResult(15, 10, 20, lower, upper);  // inside: exact
    EXPECT_EQ(lower, 15);
    EXPECT_EQ(upper, 15);
    boundsOfResult(25, 10, 20, lower, upper);  // fail high: only a lower bound
    EXPECT_EQ(lower, 25);
    EXPECT_EQ(upper, 30000);
    boundsOfResult(20, 10, 20, lower, upper);  // v == beta is a fail high too
    EXPECT_EQ(lower, 20);
    EXPECT_EQ(upper, 30000);
    boundsOfResult(10, 10, 20, lower, upper);  // fail low: only an upper bound
    EXPECT_EQ(lower, -30000);
    EXPECT_EQ(upper, 10);
}

TEST(HashSizing, LargestPowerOfTwoOfSixteenByteEntries) {
    EXPECT_EQ(hashEntryCountFor(16ll << 20), 1048576u);
    EXPECT_EQ(hashEntryCountFor(10ll << 20), 524288u);
    EXPECT_EQ(hashEntryCountFor(1ll << 20), 65536u);
    EXPECT_EQ(hashEntryCountFor(17 * 16), 16u);
    EXPECT_EQ(hashEntryCountFor(16 * 16 - 1), 8u);
    // Nothing or less still gives a table of one entry.
    EXPECT_EQ(hashEntryCountFor(15), 1u);
    EXPECT_EQ(hashEntryCountFor(0), 1u);
    EXPECT_EQ(hashEntryCountFor(-(1ll << 20)), 1u);
    // Beyond what a signed 32-bit key modulus can address.
    EXPECT_EQ(hashEntryCountFor(1ll << 40), MaxHashEntries);
}

TEST(HashSizing, AgreesWithTheLogarithmRule) {
    for (std::int64_t n = 1; n < (std::int64_t(1) << 30); n = n * 3 + 1) {
        const int k = int(std::log(double(n)) / std::log(2.0));
        EXPECT_EQ(hashEntryCountFor(n * 16), std::uint32_t(1) << k) << n;
    }
}

class HashStore : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(table.allocate(16));
        position = Position{};
        position.hashIndexKey = 5;
        position.hashLockKey = 0xC0FFEEu;
    }
    HashTable table;
    Position position;
};

TEST_F(HashStore, AllocationIsZeroFilled) {
    for (std::uint32_t i = 0; i < table.entryCount; ++i) {
        EXPECT_EQ(table.entries[i].lock, 0u);
        EXPECT_EQ(table.entries[i].lowerWord, 0u);
    }
    EXPECT_EQ(table.probe(position), nullptr);
}

TEST_F(HashStore, ShallowerResultOfTheSamePositionIsDropped) {
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 5, e2e4, -30000, 40), false);
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 3, g1f3, 10, 30000), false);
    const HashEntry* entry = table.probe(position);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->depth, 5);
    EXPECT_EQ(entry->lower(), -30000);
    EXPECT_EQ(entry->upper(), 40);
    EXPECT_TRUE(entry->move().sameSquares(e2e4));
}

TEST_F(HashStore, EqualDepthNarrowsTheBoundsAndTakesTheNewMove) {
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 5, e2e4, -30000, 40), false);
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 5, g1f3, 10, 30000), false);
    const HashEntry& entry = table.slot(position);
    EXPECT_EQ(entry.lower(), 10);
    EXPECT_EQ(entry.upper(), 40);
    EXPECT_TRUE(entry.move().sameSquares(g1f3));
    // No check that the window stays ordered.
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 5, e2e4, 50, 30000), false);
    EXPECT_EQ(entry.lower(), 50);
    EXPECT_EQ(entry.upper(), 40);
}

TEST_F(HashStore, DeeperResultOrAnotherPositionReplaces) {
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 5, e2e4, -30000, 40), false);
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 6, g1f3, 12, 12), false);
    EXPECT_EQ(table.slot(position).depth, 6);
    EXPECT_EQ(table.slot(position).lower(), 12);

    // Another lock in the slot: replaced even by a leaf.
    storeHashEntry(table, position, packHashEntry(0xBEEFu, 0, NoMove, 7, 7), false);
    EXPECT_EQ(table.probe(position), nullptr);
    EXPECT_EQ(table.slot(position).lock, 0xBEEFu);
    EXPECT_EQ(table.slot(position).depth, 0);
    EXPECT_EQ(table.slot(position).upper(), 7);
}

TEST_F(HashStore, ForcedStoreOverwritesADeeperEntry) {
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 20, e2e4, -30000, 40), false);
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, RepetitionDepth, NoMove, 50, 50),
                   true);
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 3, g1f3, 0, 0), true);
    const HashEntry& entry = table.slot(position);
    EXPECT_EQ(entry.depth, 3);
    EXPECT_TRUE(entry.move().sameSquares(g1f3));
}

TEST_F(HashStore, IndexKeysOfALargerKeySetStayInsideTheTable) {
    position.hashIndexKey = 16 * 1000 + 5;
    storeHashEntry(table, position, packHashEntry(0xC0FFEEu, 1, e2e4, 1, 1), false);
    EXPECT_EQ(table.entries[5].lock, 0xC0FFEEu);
}

}  // namespace
}  // namespace corvina
