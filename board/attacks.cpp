#include "board/attacks.h"

#include "board/tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Σ over the squares of squareWeight × (wA + wB + wC) of the cells. With SSE2 two words
// of each board at a time, 32 cells: every cell's bits are counted in place by the
// popcount steps (a bit pair less its high bit counts the pair), weighted into two sums
// that each fit a nibble (2 a rook + 3 a bishop or knight, and 5 a pawn + 1 a queen; the
// king counts 0), which are then split into byte lanes, even nibbles and odd ones, and
// gathered with the square weights by multiply-adds.
int weightedSum(const SideState& side) {
    const AttackTables& t = attackTables;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i bit0 = _mm_set1_epi8(0x11), pairs = _mm_set1_epi8(0x33);
    const __m128i odd = _mm_set1_epi8(0x55), nibble = _mm_set1_epi8(0x0F);
    __m128i total = zero;
    for (int k = 0; k < 4; k += 2) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&side.attackA.w[k]));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&side.attackB.w[k]));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&side.attackC.w[k]));
        auto pairCounts = [&](__m128i v) {
            return _mm_sub_epi8(v, _mm_and_si128(_mm_srli_epi64(v, 1), odd));
        };
        const __m128i pa = pairCounts(a), pb = pairCounts(b), pc = pairCounts(c);
        const __m128i rooks = _mm_and_si128(pa, pairs);                          // 0..2
        const __m128i minors = _mm_add_epi8(_mm_and_si128(_mm_srli_epi64(a, 3), bit0),
                                            _mm_and_si128(pb, pairs));           // 0..3
        const __m128i pawns = _mm_and_si128(_mm_srli_epi64(pb, 2), pairs);      // 0..2
        const __m128i queens =
            _mm_add_epi8(_mm_and_si128(pc, pairs), _mm_and_si128(_mm_srli_epi64(pc, 2), pairs));
        const __m128i minors2 = _mm_add_epi8(minors, minors);
        const __m128i first = _mm_add_epi8(_mm_add_epi8(rooks, rooks),
                                           _mm_add_epi8(minors2, minors));  // at most 13
        const __m128i second = _mm_add_epi8(_mm_add_epi8(_mm_slli_epi64(pawns, 2), pawns),
                                            queens);  // at most 14
        const __m128i even =
            _mm_add_epi8(_mm_and_si128(first, nibble), _mm_and_si128(second, nibble));
        const __m128i high =
            _mm_add_epi8(_mm_and_si128(_mm_srli_epi64(first, 4), nibble),
                         _mm_and_si128(_mm_srli_epi64(second, 4), nibble));
        // Word k's cells are the low eight lanes, word k + 1's the high ones.
        const __m128i* w0 = reinterpret_cast<const __m128i*>(t.weightLanes[k]);
        const __m128i* w1 = reinterpret_cast<const __m128i*>(t.weightLanes[k + 1]);
        total = _mm_add_epi32(total, _mm_madd_epi16(_mm_unpacklo_epi8(even, zero), w0[0]));
        total = _mm_add_epi32(total, _mm_madd_epi16(_mm_unpackhi_epi8(even, zero), w1[0]));
        total = _mm_add_epi32(total, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), w0[1]));
        total = _mm_add_epi32(total, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), w1[1]));
    }
    total = _mm_add_epi32(total, _mm_shuffle_epi32(total, 0x4E));
    total = _mm_add_epi32(total, _mm_shuffle_epi32(total, 0xB1));
    return _mm_cvtsi128_si32(total);
#else
    int sum = 0;
    for (int k = 0; k < 4; ++k) {
        for (int nibble = 0; nibble < 16; ++nibble) {
            const int shift = 4 * nibble;
            const int cell = t.nibbleWeightA[(side.attackA.w[k] >> shift) & 15] +
                             t.nibbleWeightB[(side.attackB.w[k] >> shift) & 15] +
                             t.nibbleWeightC[(side.attackC.w[k] >> shift) & 15];
            sum += cell * t.weightLanes[k][8 * (nibble & 1) + (nibble >> 1)];
        }
    }
    return sum;
#endif
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
