// Attack boards: building, the self-inverse toggles, check and castling-path flags,
// and the weighted square-control sum.
#pragma once

#include "board/tables.h"
#include "board/types.h"

namespace corvina {

// XORs in the marks of every piece of the side; returns its weighted sum.
int buildAttacks(const Position& position, int colour, SideState& side);

int weightedSum(const SideState& side);

// Recomputes inCheck and castlePathFree from the attack boards; where a side's bishops
// stand on squares of one colour, their attacks on the other king and its castling paths
// are found by walking the diagonals.
void updateCheckAndPathFlags(Position& position);

// The toggles: each XORs one piece's marks in or out, so each is its own inverse. The
// occupancy passed must be the one that holds at that moment; removing a slider's marks
// needs the occupancy that added them. They sit here, inline, because make-move calls
// them on every node.

inline void toggleLineAttacks(int square, int bit, AttackBoard& board, const Occupancy& allOcc) {
    const AttackTables& t = attackTables;
    const int file = square >> 3, rank = square & 7;
    const unsigned rankSet = t.lineAttack[7 - file][(allOcc.occ >> (rank * 8)) & 255];
    board.w[rank >> 1] ^= std::uint64_t(t.rankSpread[rankSet]) << ((rank & 1) * 32 + bit);
    const unsigned fileSet = t.lineAttack[7 - rank][(allOcc.occ90 >> ((7 - file) * 8)) & 255];
    const std::uint64_t* words = t.fileWord[file];
    board.w[0] ^= words[(fileSet >> 6) & 3] << bit;
    board.w[1] ^= words[(fileSet >> 4) & 3] << bit;
    board.w[2] ^= words[(fileSet >> 2) & 3] << bit;
    board.w[3] ^= words[fileSet & 3] << bit;
}

inline void toggleDiagonalAttacks(int square, int bit, AttackBoard& board, const Occupancy& allOcc) {
    const AttackTables& t = attackTables;
    const int file = square >> 3, rank = square & 7;
    const unsigned setA = t.lineAttack[rank][(allOcc.occDiagA >> (((rank - file) & 7) * 8)) & 255] &
                          t.diagMaskA[square];
    const unsigned setB =
        t.lineAttack[rank][(allOcc.occDiagB >> (((file + rank + 1) & 7) * 8)) & 255] &
        t.diagMaskB[square];
    const std::uint64_t(*words)[16] = t.diagWord[square];
    board.w[0] ^= words[0][(setA & 3) | (setB & 3) << 2] << bit;
    board.w[1] ^= words[1][((setA >> 2) & 3) | ((setB >> 2) & 3) << 2] << bit;
    board.w[2] ^= words[2][((setA >> 4) & 3) | ((setB >> 4) & 3) << 2] << bit;
    board.w[3] ^= words[3][((setA >> 6) & 3) | ((setB >> 6) & 3) << 2] << bit;
}

inline void toggleKnight(int square, int slot, AttackBoard& attackB) {
    const AttackBoard& p = attackTables.knightPattern[square];
    for (int k = 0; k < 4; ++k) attackB.w[k] ^= p.w[k] << slot;
}

inline void toggleKing(int square, AttackBoard& attackA) {
    const AttackBoard& p = attackTables.kingPattern[square];
    for (int k = 0; k < 4; ++k) attackA.w[k] ^= p.w[k];
}

inline void togglePawns(std::uint64_t pawns, AttackBoard& attackB, int colour) {
    // Sets of capture targets in occ orientation (bit rank * 8 + 7 - file).
    constexpr std::uint64_t fileAMask = 0x8080808080808080ull;
    constexpr std::uint64_t fileHMask = 0x0101010101010101ull;
    std::uint64_t towardA, towardH;
    if (colour == White) {
        towardA = (pawns & ~fileAMask) << 9;
        towardH = (pawns & ~fileHMask) << 7;
    } else {
        towardA = (pawns & ~fileAMask) >> 7;
        towardH = (pawns & ~fileHMask) >> 9;
    }
    const std::uint32_t* spread = attackTables.rankSpread;
    for (int k = 0; k < 4; ++k) {
        const int low = 16 * k, high = 16 * k + 8;
        const std::uint64_t lowRank =
            (spread[(towardH >> low) & 255] << 2) | (spread[(towardA >> low) & 255] << 3);
        const std::uint64_t highRank =
            (spread[(towardH >> high) & 255] << 2) | (spread[(towardA >> high) & 255] << 3);
        attackB.w[k] ^= lowRank | highRank << 32;
    }
}


}  // namespace corvina
