#include "board/tables.h"

#include "board/random.h"

namespace corvina {

namespace {

HashKeys keys{};

constexpr void setCellBit(AttackBoard& board, int file, int rank, int bit) {
    board.w[rank >> 1] |= std::uint64_t(1) << ((rank & 1) * 32 + (7 - file) * 4 + bit);
}

constexpr bool onBoard(int file, int rank) {
    return file >= 0 && file < 8 && rank >= 0 && rank < 8;
}

constexpr AttackTables makeAttackTables() {
    AttackTables t{};
    constexpr int kingSteps[8][2] = {{0, 1}, {1, 1}, {1, 0}, {1, -1},
                                     {0, -1}, {-1, -1}, {-1, 0}, {-1, 1}};
    constexpr int knightSteps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2},
                                       {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    for (int sq = 0; sq < 64; ++sq) {
        const int f = sq >> 3, r = sq & 7;
        for (int d = 0; d < 8; ++d) {
            if (onBoard(f + kingSteps[d][0], r + kingSteps[d][1]))
                setCellBit(t.kingPattern[sq], f + kingSteps[d][0], r + kingSteps[d][1], 2);
            if (onBoard(f + knightSteps[d][0], r + knightSteps[d][1]))
                setCellBit(t.knightPattern[sq], f + knightSteps[d][0], r + knightSteps[d][1],
                           0);
        }
        Occupancy& bits = t.squareBits[sq];
        bits.occ = std::uint64_t(1) << (r * 8 + (7 - f));
        bits.occ90 = std::uint64_t(1) << ((7 - f) * 8 + (7 - r));
        bits.occDiagA = std::uint64_t(1) << (((r - f) & 7) * 8 + r);
        bits.occDiagB = std::uint64_t(1) << (((f + r + 1) & 7) * 8 + r);
        for (int rank = 0; rank < 8; ++rank) {
            if (onBoard(f - r + rank, rank)) t.diagMaskA[sq] |= std::uint8_t(1 << rank);
            if (onBoard(f + r - rank, rank)) t.diagMaskB[sq] |= std::uint8_t(1 << rank);
        }
        // Cells of the square's two true diagonals, for every pair of rank groups.
        for (int k = 0; k < 4; ++k) {
            for (int g = 0; g < 16; ++g) {
                std::uint64_t word = 0;
                for (int half = 0; half < 2; ++half) {
                    const int rank = 2 * k + half;
                    const int fileA = f - r + rank, fileB = f + r - rank;
                    if ((g >> half) & 1 && onBoard(fileA, rank))
                        word |= std::uint64_t(1) << (half * 32 + (7 - fileA) * 4);
                    if ((g >> (2 + half)) & 1 && onBoard(fileB, rank))
                        word |= std::uint64_t(1) << (half * 32 + (7 - fileB) * 4);
                }
                t.diagWord[sq][k][g] = word;
            }
        }
    }
    for (int pos = 0; pos < 8; ++pos) {
        for (int occ = 0; occ < 256; ++occ) {
            int set = 0;
            for (int p = pos + 1; p < 8; ++p) {
                set |= 1 << p;
                if (occ & (1 << p)) break;
            }
            for (int p = pos - 1; p >= 0; --p) {
                set |= 1 << p;
                if (occ & (1 << p)) break;
            }
            t.lineAttack[pos][occ] = std::uint8_t(set);
        }
    }
    for (int b = 0; b < 256; ++b)
        for (int i = 0; i < 8; ++i)
            if (b & (1 << i)) t.rankSpread[b] |= std::uint32_t(1) << (4 * i);
    for (int f = 0; f < 8; ++f) {
        for (int g = 0; g < 4; ++g) {
            std::uint64_t word = 0;
            if (g & 2) word |= std::uint64_t(1) << ((7 - f) * 4);
            if (g & 1) word |= std::uint64_t(1) << (32 + (7 - f) * 4);
            t.fileWord[f][g] = word;
        }
    }
    constexpr int weightRows[4][4] = {
        {10, 12, 14, 16}, {12, 14, 20, 22}, {14, 20, 24, 30}, {16, 22, 30, 40}};
    for (int k = 0; k < 4; ++k) {
        for (int parity = 0; parity < 2; ++parity) {
            for (int lane = 0; lane < 8; ++lane) {
                const int nibble = 2 * lane + parity;
                const int rank = 2 * k + (nibble >> 3), file = 7 - (nibble & 7);
                const int row = rank < 4 ? rank : 7 - rank, col = file < 4 ? file : 7 - file;
                t.weightLanes[k][8 * parity + lane] = std::int16_t(weightRows[row][col]);
            }
        }
    }
    for (int v = 0; v < 16; ++v) {
        const int b0 = v & 1, b1 = (v >> 1) & 1, b2 = (v >> 2) & 1, b3 = (v >> 3) & 1;
        t.nibbleWeightA[v] = std::uint8_t(2 * b0 + 2 * b1 + 3 * b3);  // king counts 0
        t.nibbleWeightB[v] = std::uint8_t(3 * b0 + 3 * b1 + 5 * b2 + 5 * b3);
        t.nibbleWeightC[v] = std::uint8_t(b0 + b1 + b2 + b3);
    }
    return t;
}

}  // namespace

constexpr AttackTables attackTables = makeAttackTables();

// By square index, file by file (a1..a8, b1..b8, ...); the table is symmetric about the
// centre, so each file reads like the rank of the same number.
const int squareWeight[64] = {
    10, 12, 14, 16, 16, 14, 12, 10,  // a-file
    12, 14, 20, 22, 22, 20, 14, 12,  // b
    14, 20, 24, 30, 30, 24, 20, 14,  // c
    16, 22, 30, 40, 40, 30, 22, 16,  // d
    16, 22, 30, 40, 40, 30, 22, 16,  // e
    14, 20, 24, 30, 30, 24, 20, 14,  // f
    12, 14, 20, 22, 22, 20, 14, 12,  // g
    10, 12, 14, 16, 16, 14, 12, 10,  // h
};

const HashKeys& hashKeys() { return keys; }

void generateKeys(std::int32_t modulus) {
    // Index keys address the hash table directly, so every XOR of them must stay below
    // the modulus: that holds only for a power of two. Anything else is reduced to the
    // largest power of two not above it, and a modulus below 1 to 1 (all keys 0).
    std::uint64_t m = 1;
    while (modulus > 0 && m * 2 <= std::uint64_t(modulus)) m *= 2;

    for (int j = 0; j < 8; ++j) {
        keys.epIndexKey[j] = std::uint32_t(drawRandom64() % m);
        keys.epLockKey[j] = std::uint32_t(drawRandom64());
        for (int i = 0; i < 96; ++i) {
            keys.pieceIndexKey[j * 96 + i] = std::uint32_t(drawRandom64() % m);
            keys.pieceLockKey[j * 96 + i] = std::uint32_t(drawRandom64());
        }
    }
    for (auto& key : keys.castleIndexKey) key = std::uint32_t(drawRandom64() % m);
    keys.sideIndexKey = std::uint32_t(drawRandom64() % m);
    for (auto& key : keys.castleLockKey) key = std::uint32_t(drawRandom64());
    keys.sideLockKey = std::uint32_t(drawRandom64());

    auto pair = [](std::uint32_t index, std::uint32_t lock) {
        return index | std::uint64_t(lock) << 32;
    };
    for (int i = 0; i < 64 * 12; ++i)
        keys.piecePair[i] = pair(keys.pieceIndexKey[i], keys.pieceLockKey[i]);
    for (int j = 0; j < 8; ++j) keys.epPair[j] = pair(keys.epIndexKey[j], keys.epLockKey[j]);
    for (unsigned set = 0; set < 16; ++set) {
        keys.castlePair[set] = 0;
        for (int r = 0; r < 4; ++r)
            if ((set >> r) & 1) keys.castlePair[set] ^= pair(keys.castleIndexKey[r], keys.castleLockKey[r]);
    }
    keys.sidePair = pair(keys.sideIndexKey, keys.sideLockKey);
}

// The geometry tables are constant-initialised at compile time, so only the keys are
// left to draw here.
void initTables() { generateKeys(524288); }

}  // namespace corvina
