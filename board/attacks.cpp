#include "board/attacks.h"

#include "board/tables.h"

namespace corvina {

namespace {

// Cells of the castling paths in the word of the first (low half) and last rank (high).
constexpr std::uint64_t queenSidePath = 0x0000000000FFF000ull;  // c, d, e
constexpr std::uint64_t kingSidePath = 0x000000000000FFF0ull;   // e, f, g

inline unsigned anyCell(const SideState& s, int file, int rank) {
    const int k = rank >> 1, shift = (rank & 1) * 32 + (7 - file) * 4;
    return unsigned((s.attackA.w[k] | s.attackB.w[k] | s.attackC.w[k]) >> shift) & 15u;
}

}  // namespace

int buildAttacks(const Position& position, int colour, SideState& side) {
    const Occupancy& occ = position.allOcc;
    for (int slot = 0; slot < side.rookCount && slot < 2; ++slot)
        toggleLineAttacks(squareIndex(side.rookFile[slot], side.rookRank[slot]), slot,
                          side.attackA, occ);
    // Every queen slot marks, so a third or fourth queen still gives check.
    for (int slot = 0; slot < side.queenCount && slot < 4; ++slot) {
        const int sq = squareIndex(side.queenFile[slot], side.queenRank[slot]);
        toggleLineAttacks(sq, slot, side.attackC, occ);
        toggleDiagonalAttacks(sq, slot, side.attackC, occ);
    }
    for (int slot = 0; slot < side.bishopCount && slot < 2; ++slot)
        toggleDiagonalAttacks(squareIndex(side.bishopFile[slot], side.bishopRank[slot]), 3,
                              side.attackA, occ);
    if (side.kingFile >= 0) toggleKing(squareIndex(side.kingFile, side.kingRank), side.attackA);
    for (int slot = 0; slot < side.knightCount && slot < 2; ++slot)
        toggleKnight(squareIndex(side.knightFile[slot], side.knightRank[slot]), slot,
                     side.attackB);
    togglePawns(side.pawns, side.attackB, colour);
    return weightedSum(side);
}

int weightedSum(const SideState& side) {
    const AttackTables& t = attackTables;
    int sum = 0;
    for (int k = 0; k < 4; ++k) {
        std::uint64_t a = side.attackA.w[k], b = side.attackB.w[k], c = side.attackC.w[k];
        // Nibble n of word k is the cell of rank 2k + n / 8, file 7 - n % 8.
        for (int n = 0; (a | b | c) != 0; ++n, a >>= 4, b >>= 4, c >>= 4) {
            const int weight =
                t.nibbleWeightA[a & 15] + t.nibbleWeightB[b & 15] + t.nibbleWeightC[c & 15];
            if (weight) sum += weight * squareWeight[(7 - (n & 7)) * 8 + 2 * k + (n >> 3)];
        }
    }
    return sum;
}

void updateCheckAndPathFlags(Position& position) {
    const SideState& w = position.white;
    const SideState& b = position.black;
    // A side without a king is never in check.
    position.inCheck[White] = w.kingFile >= 0 && anyCell(b, w.kingFile, w.kingRank) != 0;
    position.inCheck[Black] = b.kingFile >= 0 && anyCell(w, b.kingFile, b.kingRank) != 0;
    const std::uint64_t byBlack = b.attackA.w[0] | b.attackB.w[0] | b.attackC.w[0];
    const std::uint64_t byWhite = w.attackA.w[3] | w.attackB.w[3] | w.attackC.w[3];
    position.castlePathFree[0] = (byWhite & queenSidePath << 32) == 0;
    position.castlePathFree[1] = (byWhite & kingSidePath << 32) == 0;
    position.castlePathFree[2] = (byBlack & queenSidePath) == 0;
    position.castlePathFree[3] = (byBlack & kingSidePath) == 0;
}

}  // namespace corvina
