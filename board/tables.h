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
};

const HashKeys& hashKeys();

// Fills every static table, then generates the keys with modulus 2^19.
void initTables();

// Refills all key tables from the random source; index keys are below modulus.
void generateKeys(std::int32_t modulus);

// Square weights of the square-control term, by square index.
extern const int squareWeight[64];

}  // namespace corvina
