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

// A side's two bishops share bit 3 and cancel where both reach a square, and bishops beyond
// two mark nothing: with two on squares of one colour a clear bit no longer means "not
// attacked by a bishop". One bishop a colour, the usual case, keeps the cells exact.
inline bool bishopCellsInexact(const SideState& s) {
    if (s.bishopCount < 2) return false;
    return s.bishopCount > 2 ||
           ((s.bishopFile[0] + s.bishopRank[0] + s.bishopFile[1] + s.bishopRank[1]) & 1) == 0;
}

// Walks the four diagonals out from the square to the first piece on each: a bishop of
// the colour there attacks the square.
bool bishopReaches(const BoardRecord& board, int colour, int file, int rank) {
    constexpr int steps[4][2] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
    const PieceCode bishop = makeCode(Bishop, colour);
    for (const auto& step : steps) {
        for (int f = file + step[0], r = rank + step[1]; unsigned(f) < 8 && unsigned(r) < 8;
             f += step[0], r += step[1]) {
            const PieceCode code = board.at(f, r);
            if (isEmptyCode(code)) continue;
            if (code == bishop) return true;
            break;
        }
    }
    return false;
}

// The flags against the side whose king the colour's bishops may attack unseen: check,
// and the castling paths, since castling is a king move too.
void addUnseenBishopAttacks(Position& position, int colour) {
    const int defender = colour ^ 1;
    const SideState& king = position.side(defender);
    const BoardRecord& board = position.board;
    if (king.kingFile >= 0 && !position.inCheck[defender] &&
        bishopReaches(board, colour, king.kingFile, king.kingRank))
        position.inCheck[defender] = 1;
    // The paths are c, d, e (queen side) and e, f, g (king side) of the back rank.
    const int rank = defender == White ? 0 : 7;
    for (int side = 0; side < 2; ++side) {
        std::uint8_t& pathFree = position.castlePathFree[2 * defender + side];
        for (int file = 2 + 2 * side; pathFree && file <= 4 + 2 * side; ++file)
            if (bishopReaches(board, colour, file, rank)) pathFree = 0;
    }
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

// Σ over the squares of squareWeight × (wA + wB + wC) of the cells, eight cells at a
// time: the cells of one word go into byte lanes (even nibbles, then odd ones), each lane
// gets its cell weight (at most 7 + 16 + 4 = 27) by shifts and adds, and the dot product
// with the square weights is taken bit by bit of the weights, each part a sum of bytes
// (at most 8 x 27, so a multiply gathers it without carries between lanes).
int weightedSum(const SideState& side) {
    constexpr std::uint64_t lanes = 0x0101010101010101ull;
    const AttackTables& t = attackTables;
    int sum = 0;
    for (int k = 0; k < 4; ++k) {
        for (int parity = 0; parity < 2; ++parity) {
            const int shift = 4 * parity;
            const std::uint64_t a = side.attackA.w[k] >> shift;
            const std::uint64_t b = side.attackB.w[k] >> shift;
            const std::uint64_t c = side.attackC.w[k] >> shift;
            const std::uint64_t cell =
                2 * ((a & lanes) + ((a >> 1) & lanes)) + 3 * ((a >> 3) & lanes) +
                3 * ((b & lanes) + ((b >> 1) & lanes)) +
                5 * (((b >> 2) & lanes) + ((b >> 3) & lanes)) + (c & lanes) +
                ((c >> 1) & lanes) + ((c >> 2) & lanes) + ((c >> 3) & lanes);
            if (!cell) continue;
            const std::uint64_t* masks = t.weightLaneMask[k][parity];
            for (int bit = 1; bit <= 5; ++bit)
                sum += int(((cell & masks[bit - 1]) * lanes) >> 56) << bit;
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
    if (bishopCellsInexact(w)) addUnseenBishopAttacks(position, White);
    if (bishopCellsInexact(b)) addUnseenBishopAttacks(position, Black);
}

}  // namespace corvina
