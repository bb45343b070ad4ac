#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

Move mv(const char* text, std::int8_t kind = KindQuiet) {
    return {std::int8_t(text[0] - 'a'), std::int8_t(text[1] - '1'), std::int8_t(text[2] - 'a'),
            std::int8_t(text[3] - '1'), kind, 2};
}

Position expanded(const char* fen) {
    BoardRecord b;
    parseFen(b, fen);
    Position p;
    expandPosition(p, b);
    return p;
}

bool sameBoard(const AttackBoard& a, const AttackBoard& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameOcc(const Occupancy& a, const Occupancy& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<std::pair<int, int>> squares(const std::int8_t* files, const std::int8_t* ranks, int n) {
    std::vector<std::pair<int, int>> v;
    for (int i = 0; i < n; ++i) v.emplace_back(files[i], ranks[i]);
    std::sort(v.begin(), v.end());
    return v;
}

// The fast path's boards must be what a fresh build gives for its own slot order.
std::string checkBoardsAgainstOwnLists(const Position& p) {
    Position fresh = p;
    for (int colour : {White, Black}) {
        SideState& s = fresh.side(colour);
        s.attackA = s.attackB = s.attackC = AttackBoard{};
        buildAttacks(fresh, colour, s);
        const SideState& kept = p.side(colour);
        if (!sameBoard(s.attackA, kept.attackA)) return "attackA of " + std::to_string(colour);
        if (!sameBoard(s.attackB, kept.attackB)) return "attackB of " + std::to_string(colour);
        if (!sameBoard(s.attackC, kept.attackC)) return "attackC of " + std::to_string(colour);
    }
    return "";
}

// Everything both paths must agree on; lists (and so the slot bits) may differ in order.
std::string compareMade(const Position& fast, const Position& slow) {
    if (std::memcmp(&fast.board, &slow.board, sizeof fast.board) != 0) return "board record";
    if (!sameOcc(fast.allOcc, slow.allOcc)) return "allOcc";
    if (std::memcmp(fast.inCheck, slow.inCheck, 2) != 0) return "inCheck";
    if (std::memcmp(fast.castlePathFree, slow.castlePathFree, 4) != 0) return "castlePathFree";
    for (int colour : {White, Black}) {
        const SideState& f = fast.side(colour);
        const SideState& s = slow.side(colour);
        const std::string c = " of " + std::to_string(colour);
        if (!sameOcc(f.occupancy, s.occupancy)) return "occupancy" + c;
        if (f.pawns != s.pawns) return "pawns" + c;
        if (f.rookCount != s.rookCount || f.knightCount != s.knightCount ||
            f.bishopCount != s.bishopCount || f.queenCount != s.queenCount ||
            f.pawnCount != s.pawnCount)
            return "counts" + c;
        if (f.kingFile != s.kingFile || f.kingRank != s.kingRank) return "king" + c;
        if (squares(f.rookFile, f.rookRank, f.rookCount) != squares(s.rookFile, s.rookRank, s.rookCount) ||
            squares(f.knightFile, f.knightRank, f.knightCount) !=
                squares(s.knightFile, s.knightRank, s.knightCount) ||
            squares(f.bishopFile, f.bishopRank, f.bishopCount) !=
                squares(s.bishopFile, s.bishopRank, s.bishopCount) ||
            squares(f.queenFile, f.queenRank, f.queenCount) !=
                squares(s.queenFile, s.queenRank, s.queenCount))
            return "lists" + c;
        // Slot-free parts of the boards must match outright.
        for (int sq = 0; sq < 64; ++sq) {
            if ((f.attackA.cell(sq) & 12u) != (s.attackA.cell(sq) & 12u) ||
                (f.attackB.cell(sq) & 12u) != (s.attackB.cell(sq) & 12u) ||
                __builtin_popcount(f.attackA.cell(sq) & 3u) != __builtin_popcount(s.attackA.cell(sq) & 3u) ||
                __builtin_popcount(f.attackB.cell(sq) & 3u) != __builtin_popcount(s.attackB.cell(sq) & 3u) ||
                __builtin_popcount(f.attackC.cell(sq)) != __builtin_popcount(s.attackC.cell(sq)))
                return "attack cell " + std::to_string(sq) + c;
        }
    }
    return checkBoardsAgainstOwnLists(fast);
}

// Random records within the piece limits (up to four queens, bishops of either colour,
// pawns off the first and last ranks), with the side not to move not in check.
BoardRecord randomRecord(std::mt19937& rng) {
    for (;;) {
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
                const int n = int(rng() % (limits[type] + 1)) / (type == Queen ? 2 : 1);
                for (int i = 0; i < n; ++i) place(makeCode(type, colour), type == Pawn);
            }
        }
        if (rng() % 2) b.state &= std::uint8_t(~StateWhiteToMove);
        Position p;
        expandPosition(p, b);
        if (!p.inCheck[b.sideToMove() ^ 1]) return b;
    }
}

// For every move of a position: both paths agree and the incremental keys are the full ones.
void checkEveryMove(const Position& p, const std::string& where) {
    MoveList list;
    list.reset();
    generateMoves(list, p);
    for (int i = 0; i < list.count; ++i) {
        const Move& m = list.moves[i];
        Position fast = p, slow = p;
        makeMove(fast, m);
        makeMoveByRebuild(slow, m);
        const std::string diff = compareMade(fast, slow);
        ASSERT_EQ(diff, "") << where << " move " << char('a' + m.fromFile) << m.fromRank + 1
                            << char('a' + m.toFile) << m.toRank + 1 << " kind " << int(m.kind);
        updateKeysAfterMove(fast, p, m);
        ASSERT_EQ(fast.hashIndexKey, slow.hashIndexKey) << where << " move " << i;
        ASSERT_EQ(fast.hashLockKey, slow.hashLockKey) << where << " move " << i;
    }
}

TEST(MakeMove, FastPathMatchesFullRebuildOverRandomPlay) {
    seedRandom(31337);
    initTables();
    std::mt19937 rng(99);
    const char* fens[] = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
        "4k3/PPPP4/8/8/8/8/4pppp/4K3 w - - 0 1",                      // promotions both ways
        "1q2k2r/1P5p/8/3pP3/8/8/6Pp/R3K1Q1 w Qk d6 0 1",             // ep, second queens
        "b1b1k3/8/8/8/5B2/8/8/2B1K3 w - - 0 1",                     // same-coloured bishops
        "rr2k3/8/8/8/8/8/8/1RR1K2Q b - - 0 1",                       // rooks and a queen on lines
    };
    int positions = 0;
    for (const char* fen : fens) {
        for (int game = 0; game < 5; ++game) {
            Position p = expanded(fen);
            for (int ply = 0; ply < 80; ++ply) {
                checkEveryMove(p, std::string(fen) + " ply " + std::to_string(ply));
                if (HasFatalFailure()) return;
                ++positions;
                MoveList list;
                list.reset();
                generateMoves(list, p);
                // Play a random legal move; stop the game when none is found quickly.
                bool moved = false;
                for (int attempt = 0; attempt < 20 && list.count > 0 && !moved; ++attempt) {
                    const Move& m = list.moves[rng() % list.count];
                    Position child = p;
                    makeMove(child, m);
                    if (child.inCheck[p.board.sideToMove()]) continue;
                    updateKeysAfterMove(child, p, m);
                    p = child;
                    moved = true;
                }
                if (!moved) break;
                // Keys carried down the game stay equal to a full recomputation.
                std::uint32_t index = 0, lock = 0;
                computeFullKeys(p, index, lock);
                ASSERT_EQ(p.hashIndexKey, index) << fen << " ply " << ply;
                ASSERT_EQ(p.hashLockKey, lock) << fen << " ply " << ply;
            }
        }
    }
    RecordProperty("positions", positions);
    EXPECT_GT(positions, 2500);
}

TEST(MakeMove, FastPathMatchesFullRebuildFromRandomPositions) {
    seedRandom(8);
    initTables();
    std::mt19937 rng(123);
    for (int game = 0; game < 200; ++game) {
        BoardRecord b = randomRecord(rng);
        Position p;
        expandPosition(p, b);
        for (int ply = 0; ply < 12; ++ply) {
            checkEveryMove(p, "random game " + std::to_string(game) + " ply " + std::to_string(ply));
            if (HasFatalFailure()) return;
            MoveList list;
            list.reset();
            generateMoves(list, p);
            if (list.count == 0) break;
            const Move m = list.moves[rng() % list.count];
            Position child = p;
            makeMove(child, m);
            if (child.inCheck[p.board.sideToMove()] || child.white.kingFile < 0 ||
                child.black.kingFile < 0)
                break;
            updateKeysAfterMove(child, p, m);
            p = child;
        }
    }
}

TEST(MakeMove, RookLeavingTheFileUncoversTheQueenBehindIt) {
    Position p = expanded("4k3/8/8/8/8/8/R7/Q3K3 w - - 0 1");
    EXPECT_EQ(p.white.attackC.cell(0, 2), 0u);  // a3 hidden behind the a2 rook
    makeMove(p, mv("a2c2"));
    for (int r = 1; r < 8; ++r) EXPECT_EQ(p.white.attackC.cell(0, r), 1u) << "rank " << r;
    EXPECT_EQ(p.white.attackA.cell(0, 2), 0u);  // the rook no longer looks up the a-file
    EXPECT_EQ(p.white.attackA.cell(2, 7), 1u);  // but up the c-file  // the rook now sees up the c-file
}

TEST(MakeMove, SecondQueenByPromotionTakesSlotOneThirdTakesTheRebuild) {
    Position p = expanded("7Q/P7/4k3/8/8/8/8/4K3 w - - 0 1");
    makeMove(p, mv("a7a8", KindPromotion));
    // The scan order would put a8 first; the incremental path appends the new queen.
    ASSERT_EQ(p.white.queenCount, 2);
    EXPECT_EQ(p.white.queenFile[0], 7);
    EXPECT_EQ(p.white.queenFile[1], 0);
    EXPECT_EQ(p.white.queenRank[1], 7);
    EXPECT_EQ(p.white.attackC.cell(0, 6) & 2u, 2u);  // a7 seen by the new queen (slot 1)
    EXPECT_EQ(p.white.pawnCount, 0);
    EXPECT_EQ(checkBoardsAgainstOwnLists(p), "");

    Position q = expanded("4k2Q/P7/8/8/8/8/8/Q3K3 w - - 0 1");
    makeMove(q, mv("a7a8", KindPromotion));
    ASSERT_EQ(q.white.queenCount, 3);
    // Rebuilt in scan order: a1, a8, h8; the third queen marks with its own slot bit.
    EXPECT_EQ(q.white.queenFile[1], 0);
    EXPECT_EQ(q.white.queenRank[1], 7);
    EXPECT_EQ(q.white.queenFile[2], 7);
    EXPECT_EQ(q.white.attackC.cell(6, 6) & 4u, 4u);  // g7 from the h8 queen
    EXPECT_EQ(q.inCheck[Black], 1);
}

TEST(MakeMove, KnightTakingTheSlotZeroKnightMovesTheOtherDown) {
    Position p = expanded("4k3/8/8/8/8/2n5/8/1N2K1n1 w - - 0 1");
    // Black knights: g1 (slot 0), c3 (slot 1).
    ASSERT_EQ(p.black.knightFile[0], 6);
    makeMove(p, mv("b1c3", KindCapture));  // takes slot 1 first: nothing moves down
    EXPECT_EQ(p.black.knightCount, 1);
    EXPECT_EQ(p.black.knightFile[0], 6);
    p = expanded("4k3/8/8/8/8/2n5/4N3/4K1n1 w - - 0 1");
    makeMove(p, mv("e2g1", KindCapture));
    ASSERT_EQ(p.black.knightCount, 1);
    EXPECT_EQ(p.black.knightFile[0], 2);
    EXPECT_EQ(p.black.knightRank[0], 2);
    EXPECT_EQ(p.black.attackB.cell(1, 0) & 3u, 1u);  // b1 from c3, now bit 0
    EXPECT_EQ(p.black.attackB.cell(3, 4) & 3u, 1u);  // d5
    EXPECT_EQ(checkBoardsAgainstOwnLists(p), "");
}

TEST(MakeMove, CastlingPlacesTheRookWithItsMarks) {
    Position p = expanded("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    makeMove(p, mv("e1g1", KindCastling));
    EXPECT_EQ(p.board.at(5, 0), 5);
    EXPECT_EQ(p.board.at(7, 0), EmptySquare);
    EXPECT_EQ(p.board.state & (StateWhiteKingSide | StateWhiteQueenSide), 0);
    EXPECT_EQ(p.board.sideToMove(), Black);
    // f1 rook: up the f-file to f8 (Black's king-side path is now attacked).
    bool seen = false;
    for (int slot = 0; slot < 2; ++slot)
        seen |= p.white.rookFile[slot] == 5 && (p.white.attackA.cell(5, 7) >> slot & 1u);
    EXPECT_TRUE(seen);
    EXPECT_EQ(p.castlePathFree[1], 0);
    EXPECT_EQ(p.castlePathFree[0], 1);
}

TEST(MakeMove, DoubleStepFlagLastsOneMove) {
    Position p = expanded("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    makeMove(p, mv("e2e4"));
    EXPECT_TRUE(p.board.epAvailable());
    EXPECT_EQ(p.board.epFile(), 4);
    makeMove(p, mv("b8c6"));
    EXPECT_FALSE(p.board.epAvailable());
}

TEST(MakeMove, CapturedCornerRookClearsTheRightOnBothPaths) {
    initTables();
    const Position p = expanded("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Position fast = p, slow = p;
    makeMove(fast, mv("h1h8", KindCapture));
    makeMoveByRebuild(slow, mv("h1h8", KindCapture));
    EXPECT_EQ(fast.board.state & StateBlackKingSide, 0);
    EXPECT_EQ(compareMade(fast, slow), "");
    updateKeysAfterMove(fast, p, mv("h1h8", KindCapture));
    EXPECT_EQ(fast.hashIndexKey, slow.hashIndexKey);
    EXPECT_EQ(fast.hashLockKey, slow.hashLockKey);
}

TEST(MakeMove, KeysOfTheChildrenNeedNoChild) {
    // The search's cut-off probe takes every child's keys from the parent alone: rights
    // lost to a king, a rook or a capture on a corner, en passant opened and closed,
    // promotions, castling. Both ways: from a list (keysAfterMoves), and written by the
    // generator as it lists the moves, then carried along by the ordering.
    initTables();
    for (const char* fen : {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
                            "r3k2r/p1pp1pb1/bn2Qnp1/2qPN3/Pp2P3/2N5/1PPBBPPP/R3K2R b KQkq a3 0 1",
                            "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
                            "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"}) {
        const Position p = expanded(fen);
        MoveList list;
        list.reset();
        generateMoves(list, p);
        std::uint32_t index[MoveListCapacity], lock[MoveListCapacity];
        keysAfterMoves(p, list.moves, list.count, index, lock);

        MoveList written;
        written.reset();
        std::uint64_t pairs[MoveListCapacity];
        ChildKeyWriter writer = childKeyWriter(p, pairs, SlotArray{});
        generateMoves(written, p, writer);
        ASSERT_EQ(written.count, list.count) << fen;
        ASSERT_EQ(writer.out, pairs + list.count) << fen;
        ASSERT_EQ(std::memcmp(written.moves, list.moves, sizeof(Move) * list.count), 0) << fen;
        // Killers, a recapture square and a hash move that all move entries about.
        KillerTable killers;
        killers.reset();
        for (int k = 0; k < 3; ++k) killers.moves[1][k] = list.moves[list.count - 1 - 3 * k];
        orderMoves(killers, 1, written, list.moves[list.count / 2], list.moves[list.count - 2],
                   pairs);

        for (int i = 0; i < list.count; ++i) {
            BoardRecord board = p.board;
            applyMoveToBoard(board, list.moves[i]);
            Position full;
            expandPosition(full, board);
            EXPECT_EQ(index[i], full.hashIndexKey) << fen << " move " << i;
            EXPECT_EQ(lock[i], full.hashLockKey) << fen << " move " << i;

            board = p.board;
            applyMoveToBoard(board, written.moves[i]);
            expandPosition(full, board);
            EXPECT_EQ(pairs[i], full.hashIndexKey | std::uint64_t(full.hashLockKey) << 32)
                << fen << " ordered move " << i;
        }
    }
}

}  // namespace
}  // namespace corvina
