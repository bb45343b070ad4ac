#include <gtest/gtest.h>

#include <cstring>

#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

int countCells(const AttackBoard& board) {
    int n = 0;
    for (int sq = 0; sq < 64; ++sq) n += board.cell(sq) != 0;
    return n;
}

bool sameKeys(const HashKeys& a, const HashKeys& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(HashKeys, SameSeedAndModulusGiveTheSameTables) {
    seedRandom(777);
    generateKeys(1 << 16);
    const HashKeys first = hashKeys();
    seedRandom(777);
    generateKeys(1 << 16);
    EXPECT_TRUE(sameKeys(first, hashKeys()));
    // Without re-seeding the generator runs on and the tables change.
    generateKeys(1 << 16);
    EXPECT_FALSE(sameKeys(first, hashKeys()));
}

TEST(HashKeys, DrawOrderIsEpKeysThenPieceKeysFileByFileThenCastleAndSide) {
    const std::uint32_t m = 1u << 19;
    seedRandom(4242);
    std::uint64_t draws[2 * 8 * 97 + 10];
    for (auto& d : draws) d = drawRandom64();
    seedRandom(4242);
    generateKeys(std::int32_t(m));
    const HashKeys& k = hashKeys();
    for (int j = 0; j < 8; ++j) {
        const int base = j * 194;  // two draws for the ep file, then 2 x 96 piece keys
        EXPECT_EQ(k.epIndexKey[j], draws[base] % m);
        EXPECT_EQ(k.epLockKey[j], std::uint32_t(draws[base + 1]));
        for (int i : {0, 1, 11, 12, 95}) {
            EXPECT_EQ(k.pieceIndexKey[j * 96 + i], draws[base + 2 + 2 * i] % m);
            EXPECT_EQ(k.pieceLockKey[j * 96 + i], std::uint32_t(draws[base + 3 + 2 * i]));
        }
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(k.castleIndexKey[i], draws[1552 + i] % m);
        EXPECT_EQ(k.castleLockKey[i], std::uint32_t(draws[1557 + i]));
    }
    EXPECT_EQ(k.sideIndexKey, draws[1556] % m);
    EXPECT_EQ(k.sideLockKey, std::uint32_t(draws[1561]));
}

TEST(HashKeys, IndexKeysStayBelowTheModulus) {
    for (std::int32_t m : {1, 2, 1024, 1 << 19, 1 << 26}) {
        seedRandom(99);
        generateKeys(m);
        const HashKeys& k = hashKeys();
        std::uint32_t any = 0;
        for (std::uint32_t key : k.pieceIndexKey) any |= key;
        for (std::uint32_t key : k.epIndexKey) any |= key;
        for (std::uint32_t key : k.castleIndexKey) any |= key;
        any |= k.sideIndexKey;
        EXPECT_LT(any, std::uint32_t(m)) << "modulus " << m;
        if (m == 1) {
            EXPECT_EQ(any, 0u);
        }
        if (m >= 1024) {
            EXPECT_EQ(any, std::uint32_t(m) - 1) << "keys should use every bit";
        }
    }
    // A modulus that is no power of two falls back to the largest one below it, so XORs
    // of index keys cannot leave the table; a modulus below 1 gives zero keys.
    generateKeys(1000);
    std::uint32_t any = 0;
    for (std::uint32_t key : hashKeys().pieceIndexKey) any |= key;
    EXPECT_LT(any, 512u);
    generateKeys(0);
    EXPECT_EQ(hashKeys().pieceIndexKey[100], 0u);
    generateKeys(-5);
    EXPECT_EQ(hashKeys().sideIndexKey, 0u);
    initTables();  // leave the usual key set for later tests
}

TEST(HashKeys, ExpandedPositionKeysFollowTheCurrentModulus) {
    seedRandom(5);
    generateKeys(1 << 12);
    BoardRecord board;
    parseFen(board, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1");
    Position p;
    expandPosition(p, board);
    EXPECT_LT(p.hashIndexKey, 1u << 12);
    initTables();
    expandPosition(p, board);
    EXPECT_LT(p.hashIndexKey, 1u << 19);
}

TEST(StaticTables, SquareWeightsRiseTowardTheCentreSymmetrically) {
    EXPECT_EQ(squareWeight[squareIndex(0, 0)], 10);
    EXPECT_EQ(squareWeight[squareIndex(3, 3)], 40);
    EXPECT_EQ(squareWeight[squareIndex(4, 4)], 40);
    EXPECT_EQ(squareWeight[squareIndex(2, 1)], 20);  // c2
    EXPECT_EQ(squareWeight[squareIndex(1, 2)], 20);  // b3
    EXPECT_EQ(squareWeight[squareIndex(3, 0)], 16);  // d1
    EXPECT_EQ(squareWeight[squareIndex(2, 3)], 30);  // c4
    for (int f = 0; f < 8; ++f)
        for (int r = 0; r < 8; ++r) {
            const int w = squareWeight[squareIndex(f, r)];
            EXPECT_EQ(w, squareWeight[squareIndex(7 - f, r)]);
            EXPECT_EQ(w, squareWeight[squareIndex(f, 7 - r)]);
            EXPECT_EQ(w, squareWeight[squareIndex(r, f)]);
        }
}

TEST(StaticTables, KingAndKnightPatternsHaveTheirSizes) {
    const AttackTables& t = attackTables;
    EXPECT_EQ(countCells(t.kingPattern[squareIndex(0, 0)]), 3);
    EXPECT_EQ(countCells(t.kingPattern[squareIndex(4, 0)]), 5);
    EXPECT_EQ(countCells(t.kingPattern[squareIndex(4, 4)]), 8);
    EXPECT_EQ(countCells(t.knightPattern[squareIndex(7, 7)]), 2);
    EXPECT_EQ(countCells(t.knightPattern[squareIndex(1, 0)]), 3);
    EXPECT_EQ(countCells(t.knightPattern[squareIndex(3, 4)]), 8);
    // King marks use bit 2, knight marks bit 0.
    EXPECT_EQ(t.kingPattern[squareIndex(0, 0)].cell(1, 1), 4u);
    EXPECT_EQ(t.knightPattern[squareIndex(0, 0)].cell(2, 1), 1u);
    EXPECT_EQ(t.knightPattern[squareIndex(0, 0)].cell(1, 1), 0u);
}

TEST(StaticTables, NibbleWeightsCountEachPieceKind) {
    const AttackTables& t = attackTables;
    EXPECT_EQ(t.nibbleWeightA[1], 2);   // rook
    EXPECT_EQ(t.nibbleWeightA[4], 0);   // king
    EXPECT_EQ(t.nibbleWeightA[8], 3);   // bishop
    EXPECT_EQ(t.nibbleWeightA[15], 7);
    EXPECT_EQ(t.nibbleWeightB[2], 3);   // knight
    EXPECT_EQ(t.nibbleWeightB[12], 10);  // two pawns
    EXPECT_EQ(t.nibbleWeightC[15], 4);
}

}  // namespace
}  // namespace corvina
