// Static lookup tables (attack patterns, weights) and the hash key tables.
#pragma once

#include <cstdint>

#include "board/types.h"

namespace corvina {

// Key tables: piece keys at flat index square * 12 + code; castle keys in the order
// White queen-side, White king-side, Black queen-side, Black king-side.
struct HashKeys {
    std::uint32_t pieceIndexKey[64 * 12];
    std::uint32_t pieceLockKey[64 * 12];
    std::uint32_t epIndexKey[8];
    std::uint32_t epLockKey[8];
    std::uint32_t castleIndexKey[4];
    std::uint32_t castleLockKey[4];
    std::uint32_t sideIndexKey;
    std::uint32_t sideLockKey;
    // The same keys as pairs, index key low and lock key high, for updates that change
    // both with one XOR; castle pairs by a set of rights (bit r for castle key r).
    std::uint64_t piecePair[64 * 12];
    std::uint64_t epPair[8];
    std::uint64_t castlePair[16];
    std::uint64_t sidePair;
};

const HashKeys& hashKeys();

// Fills every static table, then generates the keys with modulus 2^19.
void initTables();

// Refills all key tables from the random source; index keys are below modulus.
void generateKeys(std::int32_t modulus);

// Square weights of the square-control term, by square index.
extern const int squareWeight[64];

// Geometry tables of the attack boards, fixed at compile time. A line's occupancy byte
// is read from the orientation in which that line is one byte; lineAttack gives the
// squares a slider attacks along it, and the word tables place those squares in the
// cells of an AttackBoard (bit 0 of each cell; callers shift to their own bit).
struct AttackTables {
    AttackBoard kingPattern[64];    // bit 2 in each cell a king attacks
    AttackBoard knightPattern[64];  // bit 0 in each knight target
    // [position on the line][occupancy byte]: attacked positions, outward in both
    // directions up to and including the first occupied one; the own bit is ignored.
    std::uint8_t lineAttack[8][256];
    // Positions (ranks) of a diagonal byte that lie on the square's true diagonal;
    // each diagonal byte holds two diagonals that wrap around the board.
    std::uint8_t diagMaskA[64];
    std::uint8_t diagMaskB[64];
    // Byte of a rank (bit 7 - file) to its 32-bit run of cells, bit 0 per cell.
    std::uint32_t rankSpread[256];
    // [file][2-bit group of a file attack set]: word of the rank pair. Group of word k
    // is (set >> (6 - 2k)) & 3, bit 1 rank 2k and bit 0 rank 2k + 1.
    std::uint64_t fileWord[8][4];
    // [square][word k][group A | group B << 2]: both diagonals' cells in word k, where
    // the group of a diagonal set (bit = rank) is (set >> 2k) & 3.
    std::uint64_t diagWord[64][4][16];
    // One square's bit in each of the four occupancy orientations.
    Occupancy squareBits[64];
    // Attack weight of one cell of attackA, attackB, attackC.
    std::uint8_t nibbleWeightA[16];
    std::uint8_t nibbleWeightB[16];
    std::uint8_t nibbleWeightC[16];
    // Square weights in the order the weighted sum takes the cells of word k: the even
    // nibbles from the lowest, then the odd ones.
    alignas(16) std::int16_t weightLanes[4][16];
};

extern const AttackTables attackTables;

}  // namespace corvina
