#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/tables.h"

namespace corvina {
namespace {

// Slow reference boards: walk every ray square by square over the record and XOR the
// marks in. Slot bits follow the side's lists when given (made moves keep a piece in its
// slot), else the scan order (rank by rank, file by file). Whether a square is attacked
// at all is kept apart: two bishops that cancel in a cell still both attack it.
struct ReferenceBoards {
    unsigned a[64] = {}, b[64] = {}, c[64] = {};
    bool attacked[64] = {};
};

bool onBoard(int f, int r) { return f >= 0 && f < 8 && r >= 0 && r < 8; }

int slotIn(const std::int8_t* files, const std::int8_t* ranks, int count, int f, int r,
           int fallback) {  // fallback 4 marks outside the nibble: a lost piece shows
    for (int i = 0; i < count; ++i)
        if (files[i] == f && ranks[i] == r) return i;
    return fallback;
}

ReferenceBoards referenceBoards(const BoardRecord& board, int colour,
                                const SideState* lists = nullptr) {
    ReferenceBoards ref;
    int rooks = 0, knights = 0, queens = 0;
    const int rookDirs[4][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}};
    const int bishopDirs[4][2] = {{1, 1}, {1, -1}, {-1, -1}, {-1, 1}};
    const int knightSteps[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2},
                                   {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    auto mark = [&](unsigned* cells, int sq, unsigned bit) {
        cells[sq] ^= bit;
        ref.attacked[sq] = true;
    };
    auto ray = [&](unsigned* cells, int f, int r, const int (*dirs)[2], unsigned bit) {
        for (int d = 0; d < 4; ++d) {
            for (int x = f + dirs[d][0], y = r + dirs[d][1]; onBoard(x, y);
                 x += dirs[d][0], y += dirs[d][1]) {
                mark(cells, x * 8 + y, bit);
                if (!isEmptyCode(board.at(x, y))) break;
            }
        }
    };
    for (int r = 0; r < 8; ++r) {
        for (int f = 0; f < 8; ++f) {
            const PieceCode code = board.at(f, r);
            if (isEmptyCode(code) || colourOf(code) != colour) continue;
            switch (typeOf(code)) {
                case King:
                    for (int dx = -1; dx <= 1; ++dx)
                        for (int dy = -1; dy <= 1; ++dy)
                            if ((dx || dy) && onBoard(f + dx, r + dy))
                                mark(ref.a, (f + dx) * 8 + r + dy, 4);
                    break;
                case Queen: {
                    const int slot = lists ? slotIn(lists->queenFile, lists->queenRank,
                                                    lists->queenCount, f, r, 4)
                                           : queens;
                    ray(ref.c, f, r, rookDirs, 1u << slot);
                    ray(ref.c, f, r, bishopDirs, 1u << slot);
                    ++queens;
                    break;
                }
                case Rook: {
                    const int slot = lists ? slotIn(lists->rookFile, lists->rookRank,
                                                    lists->rookCount, f, r, 4)
                                           : rooks;
                    ray(ref.a, f, r, rookDirs, 1u << slot);
                    ++rooks;
                    break;
                }
                case Bishop:
                    ray(ref.a, f, r, bishopDirs, 8);
                    break;
                case Knight: {
                    const int slot = lists ? slotIn(lists->knightFile, lists->knightRank,
                                                    lists->knightCount, f, r, 4)
                                           : knights;
                    for (const auto& s : knightSteps)
                        if (onBoard(f + s[0], r + s[1]))
                            mark(ref.b, (f + s[0]) * 8 + r + s[1], 1u << slot);
                    ++knights;
                    break;
                }
                default: {
                    const int y = colour == White ? r + 1 : r - 1;
                    if (onBoard(f + 1, y)) mark(ref.b, (f + 1) * 8 + y, 4);
                    if (onBoard(f - 1, y)) mark(ref.b, (f - 1) * 8 + y, 8);
                }
            }
        }
    }
    return ref;
}

// The weights written out from the design, cell by cell.
int referenceWeightedSum(const ReferenceBoards& ref) {
    int sum = 0;
    for (int sq = 0; sq < 64; ++sq) {
        const int f = sq >> 3, r = sq & 7;
        const int rf = std::min(f, 7 - f), rr = std::min(r, 7 - r);
        const int rows[4][4] = {{10, 12, 14, 16}, {12, 14, 20, 22}, {14, 20, 24, 30}, {16, 22, 30, 40}};
        const unsigned a = ref.a[sq], b = ref.b[sq], c = ref.c[sq];
        const int w = 2 * (a & 1) + 2 * ((a >> 1) & 1) + 3 * ((a >> 3) & 1) + 3 * (b & 1) +
                      3 * ((b >> 1) & 1) + 5 * ((b >> 2) & 1) + 5 * ((b >> 3) & 1) +
                      int(__builtin_popcount(c));
        sum += rows[rr][rf] * w;
    }
    return sum;
}

bool attackedBy(const ReferenceBoards& ref, int sq) { return ref.attacked[sq]; }

// Compares an expanded (or made) position with the reference; names what differs.
std::string compareWithReference(const Position& p, bool ownSlots = false) {
    for (int colour : {White, Black}) {
        const SideState& s = p.side(colour);
        const ReferenceBoards ref = referenceBoards(p.board, colour, ownSlots ? &s : nullptr);
        for (int sq = 0; sq < 64; ++sq) {
            if (s.attackA.cell(sq) != ref.a[sq] || s.attackB.cell(sq) != ref.b[sq] ||
                s.attackC.cell(sq) != ref.c[sq])
                return "cell " + std::to_string(sq) + " of colour " + std::to_string(colour);
        }
        const ReferenceBoards other = referenceBoards(p.board, colour ^ 1);
        if (s.kingFile >= 0 &&
            bool(p.inCheck[colour]) != attackedBy(other, squareIndex(s.kingFile, s.kingRank)))
            return "inCheck of colour " + std::to_string(colour);
        const int rank = colour == White ? 0 : 7;
        const bool queenSide = !attackedBy(other, squareIndex(2, rank)) &&
                               !attackedBy(other, squareIndex(3, rank)) &&
                               !attackedBy(other, squareIndex(4, rank));
        const bool kingSide = !attackedBy(other, squareIndex(4, rank)) &&
                              !attackedBy(other, squareIndex(5, rank)) &&
                              !attackedBy(other, squareIndex(6, rank));
        if (p.castlePathFree[2 * colour] != queenSide || p.castlePathFree[2 * colour + 1] != kingSide)
            return "castling path of colour " + std::to_string(colour);
    }
    return "";
}

// Random records within the piece limits; pawns off the first and last ranks.
BoardRecord randomRecord(std::mt19937& rng) {
    BoardRecord b;
    clearBoard(b);
    b.state2 = 0;
    auto place = [&](PieceCode code, bool pawn) {
        for (;;) {
            const int f = int(rng() % 8), r = pawn ? 1 + int(rng() % 6) : int(rng() % 8);
            if (b.at(f, r) == EmptySquare) {
                b.squares[f * 8 + r] = code;
                return;
            }
        }
    };
    for (int colour : {White, Black}) {
        place(makeCode(King, colour), false);
        const int limits[] = {0, 4, 2, 2, 2, 8};
        for (int type = Queen; type <= Pawn; ++type) {
            const int n = int(rng() % (limits[type] + 1));
            for (int i = 0; i < n; ++i) place(makeCode(type, colour), type == Pawn);
        }
    }
    if (rng() % 2) b.state &= std::uint8_t(~StateWhiteToMove);
    return b;
}

TEST(AttackBoards, RandomPositionsMatchTheRayWalkingReference) {
    std::mt19937 rng(2024);
    for (int i = 0; i < 3000; ++i) {
        const BoardRecord b = randomRecord(rng);
        Position p;
        expandPosition(p, b);
        ASSERT_EQ(compareWithReference(p), "") << "position " << i;
        const int expected = referenceWeightedSum(referenceBoards(b, White)) -
                             referenceWeightedSum(referenceBoards(b, Black));
        ASSERT_EQ(p.squareControl, expected) << "position " << i;
    }
}

TEST(AttackBoards, PositionsOfRandomPlayMatchTheReference) {
    // Covers the incremental make-move boards as well as the expansion.
    std::mt19937 rng(7);
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    };
    int checked = 0;
    for (const char* fen : fens) {
        for (int game = 0; game < 10; ++game) {
            BoardRecord b;
            parseFen(b, fen);
            Position p;
            expandPosition(p, b);
            for (int ply = 0; ply < 120; ++ply) {
                MoveList list;
                list.reset();
                generateMoves(list, p);
                if (list.count == 0) break;
                Position child = p;
                makeMove(child, list.moves[rng() % list.count]);
                if (child.inCheck[p.board.sideToMove()]) continue;  // illegal: try again
                p = child;
                ASSERT_EQ(compareWithReference(p, true), "") << fen << " game " << game << " ply " << ply;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 1500);
}

TEST(AttackBoards, WeightedSumOfFullCells) {
    // The square weights add up to 1264; a cell with every bit set weighs 7 + 16 + 4.
    SideState s{};
    for (int k = 0; k < 4; ++k) s.attackC.w[k] = 0x1111111111111111ull;
    EXPECT_EQ(weightedSum(s), 1264);
    for (int k = 0; k < 4; ++k) s.attackA.w[k] = s.attackB.w[k] = s.attackC.w[k] = ~0ull;
    EXPECT_EQ(weightedSum(s), 1264 * 27);
    SideState one{};
    one.attackB.w[1] = std::uint64_t(4) << (32 + 4 * 4);  // pawn bit on d4 (rank 3, file 3)
    EXPECT_EQ(weightedSum(one), 5 * 40);
}

TEST(AttackBoards, TogglesUndoThemselves) {
    std::mt19937 rng(11);
    for (int i = 0; i < 500; ++i) {
        Position p;
        expandPosition(p, randomRecord(rng));
        const SideState before = p.white;
        const int sq = int(rng() % 64), bit = int(rng() % 4);
        toggleLineAttacks(sq, bit, p.white.attackC, p.allOcc);
        toggleDiagonalAttacks(sq, bit, p.white.attackA, p.allOcc);
        toggleKnight(sq, bit & 1, p.white.attackB);
        toggleKing(sq, p.white.attackA);
        togglePawns(p.white.pawns, p.white.attackB, White);
        EXPECT_NE(std::memcmp(&before, &p.white, sizeof before), 0);
        toggleLineAttacks(sq, bit, p.white.attackC, p.allOcc);
        toggleDiagonalAttacks(sq, bit, p.white.attackA, p.allOcc);
        toggleKnight(sq, bit & 1, p.white.attackB);
        toggleKing(sq, p.white.attackA);
        togglePawns(p.white.pawns, p.white.attackB, White);
        ASSERT_EQ(std::memcmp(&before, &p.white, sizeof before), 0) << "square " << sq;
    }
}

TEST(AttackBoards, SliderTogglesOnAnEmptyBoardReachTheEdges) {
    const Occupancy none{};
    for (int sq = 0; sq < 64; ++sq) {
        AttackBoard line{}, diag{};
        toggleLineAttacks(sq, 1, line, none);
        toggleDiagonalAttacks(sq, 2, diag, none);
        int lines = 0, diags = 0;
        for (int t = 0; t < 64; ++t) {
            const int df = (t >> 3) - (sq >> 3), dr = (t & 7) - (sq & 7);
            const bool onLine = t != sq && (df == 0 || dr == 0);
            const bool onDiag = t != sq && (df == dr || df == -dr);
            EXPECT_EQ(line.cell(t), onLine ? 2u : 0u);
            EXPECT_EQ(diag.cell(t), onDiag ? 4u : 0u);
            lines += onLine;
            diags += onDiag;
        }
        EXPECT_EQ(lines, 14);
        const int f = sq >> 3, r = sq & 7;
        EXPECT_EQ(diags, std::min(f, r) + std::min(7 - f, 7 - r) + std::min(f, 7 - r) +
                             std::min(7 - f, r));
    }
}

TEST(AttackBoards, StartPositionCells) {
    Position p;
    BoardRecord b;
    setStartPosition(b);
    expandPosition(p, b);
    const SideState& w = p.white;
    EXPECT_EQ(w.attackB.cell(0, 2), 8u | 1u);  // a3: b-pawn toward a, knight slot 0
    EXPECT_EQ(w.attackB.cell(7, 2), 4u | 2u);  // h3: g-pawn toward h, knight slot 1
    for (int f = 1; f < 7; ++f) EXPECT_EQ(w.attackB.cell(f, 2) & 12u, 12u);
    EXPECT_EQ(w.attackB.cell(2, 2) & 3u, 1u);  // c3
    EXPECT_EQ(w.attackB.cell(3, 1) & 3u, 1u);  // d2
    EXPECT_EQ(w.attackB.cell(4, 1) & 3u, 2u);  // e2
    EXPECT_EQ(w.attackB.cell(5, 2) & 3u, 2u);  // f3
    EXPECT_EQ(w.attackA.cell(3, 0), 4u);       // d1: king
    EXPECT_EQ(w.attackA.cell(5, 0), 4u);       // f1: king
    EXPECT_EQ(w.attackA.cell(1, 0), 1u);       // b1: rook slot 0
    EXPECT_EQ(w.attackA.cell(0, 1), 1u);       // a2
    EXPECT_EQ(w.attackA.cell(6, 0), 2u);       // g1: rook slot 1
    EXPECT_EQ(w.attackA.cell(7, 1), 2u);       // h2
    EXPECT_EQ(w.attackA.cell(0, 2), 0u);       // the rook stops at a2
    EXPECT_EQ(p.black.attackB.cell(0, 5), 8u | 1u);  // a6: b7-pawn toward a, knight b8
}

TEST(AttackBoards, CornerKingAndBlockedRook) {
    Position p;
    BoardRecord b;
    parseFen(b, "7k/8/8/8/8/8/P7/R6K w - - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.white.attackA.cell(0, 1), 1u);
    EXPECT_EQ(p.white.attackA.cell(0, 2), 0u);
    int kingCells = 0;
    for (int sq = 0; sq < 64; ++sq) kingCells += (p.black.attackA.cell(sq) & 4u) != 0;
    EXPECT_EQ(kingCells, 3);
}

TEST(AttackBoards, QueenChecksUntilAPawnBlocks) {
    Position p;
    BoardRecord b;
    parseFen(b, "4k3/8/8/7Q/8/8/8/4K3 b - - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.inCheck[Black], 1);
    EXPECT_EQ(p.inCheck[White], 0);
    parseFen(b, "4k3/5p2/8/7Q/8/8/8/4K3 b - - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.inCheck[Black], 0);
}

TEST(AttackBoards, SameColouredBishopsCancelOnSharedSquares) {
    Position p;
    BoardRecord b;
    parseFen(b, "4k3/8/8/8/8/8/8/2B1K3 w - - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.white.attackA.cell(1, 1) & 8u, 8u);  // b2
    EXPECT_EQ(p.white.attackA.cell(3, 1) & 8u, 8u);  // d2
    parseFen(b, "4k3/8/8/8/5B2/8/8/2B1K3 w - - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.white.attackA.cell(3, 1) & 8u, 0u);  // both reach d2
    EXPECT_EQ(p.white.attackA.cell(1, 1) & 8u, 8u);
}

TEST(AttackBoards, PathFlagsTestAttacksOnly) {
    Position p;
    BoardRecord b;
    // A knight between king and rook still leaves the path "free" of attacks.
    parseFen(b, "r3k2r/8/8/8/8/8/8/R3K1NR w KQkq - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.castlePathFree[3], 1);
    // A Black rook on f2 hits f1: White's king-side path is attacked, queen-side is not.
    parseFen(b, "r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.castlePathFree[3], 0);
    EXPECT_EQ(p.castlePathFree[2], 1);
    // A White bishop on a6 hits c8: Black's queen-side is attacked.
    parseFen(b, "r3k2r/8/B7/8/8/8/8/R3K2R b KQkq - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.castlePathFree[0], 0);
    EXPECT_EQ(p.castlePathFree[1], 1);
}

TEST(AttackBoards, ThirdAndFourthQueensMarkTheirSlots) {
    Position p;
    BoardRecord b;
    parseFen(b, "k7/8/8/8/8/8/8/QQQQ3K b - - 0 1");
    expandPosition(p, b);
    EXPECT_EQ(p.white.attackC.cell(2, 1) & 4u, 4u);  // c2 from the c1 queen (slot 2)
    EXPECT_EQ(p.white.attackC.cell(3, 7) & 8u, 8u);  // d8 from the d1 queen (slot 3)
    EXPECT_EQ(compareWithReference(p), "");
}

}  // namespace
}  // namespace corvina
