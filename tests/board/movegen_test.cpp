#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

Position expandedFen(const char* fen) {
    static const bool ready = [] {
        seedRandom(12345);
        initTables();
        return true;
    }();
    (void)ready;
    BoardRecord board;
    parseFen(board, fen);
    Position position;
    expandPosition(position, board);
    return position;
}

Position expandedBoard(const BoardRecord& board) {
    expandedFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");  // makes sure the tables are ready
    Position position;
    expandPosition(position, board);
    return position;
}

MoveList generated(const Position& position) {
    MoveList list;
    list.reset();
    generateMoves(list, position);
    return list;
}

std::string name(const Move& m) {
    std::ostringstream out;
    writeCoordinate(out, m);
    return out.str();
}

std::vector<std::string> names(const MoveList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.count; ++i) out.push_back(name(list.moves[i]));
    return out;
}

const Move* find(const MoveList& list, const char* coordinate) {
    for (int i = 0; i < list.count; ++i)
        if (name(list.moves[i]) == coordinate) return &list.moves[i];
    return nullptr;
}

Move mv(int ff, int fr, int tf, int tr, int kind = KindQuiet) {
    return Move{std::int8_t(ff), std::int8_t(fr),   std::int8_t(tf),
                std::int8_t(tr), std::int8_t(kind), 2};
}

TEST(MoveGen, StartPositionListsMovesBySquareThenDirection) {
    MoveList list =
        generated(expandedFen("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"));
    const std::vector<std::string> expected = {
        "a2a3", "a2a4", "b1c3", "b1a3", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4",
        "e2e3", "e2e4", "f2f3", "f2f4", "g1h3", "g1f3", "g2g3", "g2g4", "h2h3", "h2h4"};
    EXPECT_EQ(names(list), expected);
    for (int i = 0; i < list.count; ++i) {
        EXPECT_EQ(list.moves[i].kind, KindQuiet);
        EXPECT_EQ(list.moves[i].promotion, 2);
    }

    MoveList black =
        generated(expandedFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
    ASSERT_EQ(black.count, 20);
    EXPECT_EQ(name(black.moves[0]), "a7a6");
    EXPECT_EQ(name(black.moves[1]), "a7a5");
    EXPECT_EQ(name(black.moves[2]), "b7b6");  // b7 comes before b8 in square order
    EXPECT_EQ(name(black.moves[4]), "b8c6");
    EXPECT_EQ(name(black.moves[5]), "b8a6");
}

TEST(MoveGen, PawnPushesStopAtTheFirstBlockedSquare) {
    MoveList blockedNear = generated(expandedFen("4k3/8/8/8/8/4n3/4P3/K7 w - - 0 1"));
    EXPECT_EQ(find(blockedNear, "e2e3"), nullptr);
    EXPECT_EQ(find(blockedNear, "e2e4"), nullptr);

    MoveList blockedFar = generated(expandedFen("4k3/8/8/8/4n3/8/4P3/K7 w - - 0 1"));
    EXPECT_NE(find(blockedFar, "e2e3"), nullptr);
    EXPECT_EQ(find(blockedFar, "e2e4"), nullptr);

    // A double step only from the start rank, for Black downward.
    MoveList black = generated(expandedFen("4k3/8/3p4/8/8/8/8/K7 b - - 0 1"));
    EXPECT_NE(find(black, "d6d5"), nullptr);
    EXPECT_EQ(find(black, "d6d4"), nullptr);
}

TEST(MoveGen, PromotionsAreQueenOnlyWithTheirKinds) {
    MoveList list = generated(expandedFen("1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1"));
    const Move* capture = find(list, "a7xb8");
    const Move* push = find(list, "a7a8");
    ASSERT_NE(capture, nullptr);
    ASSERT_NE(push, nullptr);
    EXPECT_EQ(capture->kind, KindPromotionCapture);
    EXPECT_EQ(push->kind, KindPromotion);
    EXPECT_EQ(capture->promotion, 2);
    EXPECT_EQ(push->promotion, 2);

    MoveList black = generated(expandedFen("4k3/8/8/8/8/8/6p1/4K2R b - - 0 1"));
    ASSERT_NE(find(black, "g2xh1"), nullptr);
    EXPECT_EQ(find(black, "g2xh1")->kind, KindPromotionCapture);
    EXPECT_EQ(find(black, "g2g1")->kind, KindPromotion);
}

TEST(MoveGen, EnPassantOnlyWhileTheFlagIsSetForThatFile) {
    MoveList flagged = generated(expandedFen("4k3/8/8/3pPp2/8/8/8/4K3 w - d6 0 1"));
    const Move* ep = find(flagged, "e5xd6");
    ASSERT_NE(ep, nullptr);
    EXPECT_EQ(ep->kind, KindEnPassant);
    EXPECT_EQ(find(flagged, "e5xf6"), nullptr);  // f5 did not just make the double step

    MoveList unflagged = generated(expandedFen("4k3/8/8/3pPp2/8/8/8/4K3 w - - 0 1"));
    EXPECT_EQ(find(unflagged, "e5xd6"), nullptr);

    // After d7-d5 and two king moves the file bits still say d, but the flag is clear.
    BoardRecord board;
    parseFen(board, "4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1");
    applyMoveToBoard(board, mv(3, 6, 3, 4));
    EXPECT_NE(find(generated(expandedBoard(board)), "e5xd6"), nullptr);
    applyMoveToBoard(board, mv(4, 0, 3, 0));
    applyMoveToBoard(board, mv(4, 7, 3, 7));
    EXPECT_EQ(board.epFile(), 3);
    EXPECT_EQ(find(generated(expandedBoard(board)), "e5xd6"), nullptr);

    // Black captures toward rank 3.
    MoveList black = generated(expandedFen("4k3/8/8/8/3Pp3/8/8/4K3 b - d3 0 1"));
    ASSERT_NE(find(black, "e4xd3"), nullptr);
    EXPECT_EQ(find(black, "e4xd3")->kind, KindEnPassant);
}

TEST(MoveGen, CastlingNeedsRightsEmptySquaresUnattackedPathAndTheRook) {
    MoveList both = generated(expandedFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"));
    ASSERT_NE(find(both, "e1g1"), nullptr);
    ASSERT_NE(find(both, "e1c1"), nullptr);
    EXPECT_EQ(find(both, "e1g1")->kind, KindCastling);
    MoveList black = generated(expandedFen("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1"));
    EXPECT_NE(find(black, "e8g8"), nullptr);
    EXPECT_NE(find(black, "e8c8"), nullptr);

    // The right is still set but the corner rook is gone.
    MoveList noRook = generated(expandedFen("r3k2r/8/8/8/8/8/8/4K2R w KQkq - 0 1"));
    EXPECT_NE(find(noRook, "e1g1"), nullptr);
    EXPECT_EQ(find(noRook, "e1c1"), nullptr);

    // Rights missing.
    MoveList noRights = generated(expandedFen("r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1"));
    EXPECT_EQ(find(noRights, "e1g1"), nullptr);
    EXPECT_NE(find(noRights, "e1c1"), nullptr);

    // f1 attacked refuses the king side; b1 attacked does not matter to the queen side.
    MoveList attacked = generated(expandedFen("1r2kr2/8/8/8/8/8/8/R3K2R w KQ - 0 1"));
    EXPECT_EQ(find(attacked, "e1g1"), nullptr);
    EXPECT_NE(find(attacked, "e1c1"), nullptr);

    // No castling out of check.
    MoveList inCheck = generated(expandedFen("4r1k1/8/8/8/8/8/8/R3K2R w KQ - 0 1"));
    EXPECT_EQ(find(inCheck, "e1g1"), nullptr);
    EXPECT_EQ(find(inCheck, "e1c1"), nullptr);

    // A knight on b1 blocks the long castling though b1 is not on the king's path.
    MoveList blocked = generated(expandedFen("4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1"));
    EXPECT_NE(find(blocked, "e1g1"), nullptr);
    EXPECT_EQ(find(blocked, "e1c1"), nullptr);
}

TEST(MoveGen, MovesThatLeaveTheKingAttackedAreGeneratedButNotCounted) {
    Position position = expandedFen("4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1");
    MoveList list = generated(position);
    EXPECT_EQ(list.count, 13);  // nine pinned bishop moves and four king moves
    EXPECT_NE(find(list, "e2d3"), nullptr);
    EXPECT_EQ(perft(position, 1), 4u);
}

// Rows: a position, how many of its moves the filter drops unmade, and how many of the
// illegal ones it leaves to be made.
struct FilterCase {
    const char* fen;
    int rejected;
    int missed;
};

constexpr FilterCase filterCases[] = {
    // Rook check: only the knight's block on e4 and three king steps remain.
    {"4k3/4r3/8/8/8/8/3N4/R3K3 w - - 0 1", 16, 0},
    // Rook and knight check: every move but the king's is dropped.
    {"4k3/4r3/8/8/8/5n2/8/R3K3 w - - 0 1", 12, 0},
    // Pawn check: of the rook's moves only the capture of the pawn remains.
    {"4k3/8/8/8/8/3p3R/4K3/8 w - - 0 1", 10, 0},
    // The checking pawn can be taken en passant, which the filter leaves alone; the
    // push is dropped.
    {"8/8/8/2k5/3Pp3/8/8/4K3 b - d3 0 1", 1, 0},
    // Kings in opposition: the three squares between them are marked.
    {"8/8/8/3k4/8/3K4/8/8 w - - 0 1", 3, 0},
    // The pinned bishop's moves, and the king's step back along the checking file, whose
    // target the king itself shades from the rook, are made and found illegal.
    {"4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1", 0, 9},
    {"8/8/8/8/4k3/8/8/4R2K b - - 0 1", 1, 1},
};

// Every move the filter drops leaves the own king attacked, at the root and two plies
// below; at the root it drops exactly the row's count.
TEST(MoveGen, IllegalMoveFilterDropsOnlyMovesThatLeaveTheKingAttacked) {
    for (const FilterCase& c : filterCases) {
        const Position root = expandedFen(c.fen);
        int rejected = 0, missed = 0;
        std::vector<Position> level{root};
        for (int ply = 0; ply < 3; ++ply) {
            std::vector<Position> next;
            for (const Position& p : level) {
                const int mover = p.board.sideToMove();
                const IllegalMoveFilter filter = illegalMoveFilter(p);
                const MoveList list = generated(p);
                for (int i = 0; i < list.count; ++i) {
                    Position child = p;
                    makeMove(child, list.moves[i]);
                    const bool drop = filter.rejects(p, list.moves[i]);
                    if (drop) {
                        EXPECT_TRUE(child.inCheck[mover]) << c.fen << ": " << name(list.moves[i]);
                    }
                    if (ply == 0) {
                        rejected += drop;
                        missed += !drop && child.inCheck[mover];
                    }
                    if (!child.inCheck[mover]) next.push_back(child);
                }
            }
            level = std::move(next);
        }
        EXPECT_EQ(rejected, c.rejected) << c.fen;
        EXPECT_EQ(missed, c.missed) << c.fen;
    }
}

// Rows: a position and how many of its moves the search may answer from the table
// without making them (-1: not counted, only checked below).
struct ForeseenCase {
    const char* fen;
    int foreseen;
};

constexpr ForeseenCase foreseenCases[] = {
    // All but Rh8+: the rook along the h-file below the eighth rank, to g1 and f1, and
    // the king's five steps.
    {"k7/8/8/8/8/8/8/4K2R w - - 0 1", 13},
    // The capture on e6 checks with the pawn; the push does not.
    {"8/3k4/4p3/3P4/8/8/8/4K3 w - - 0 1", 6},
    // Every knight move uncovers the rook on the king's file.
    {"4k3/8/8/8/8/8/4N3/4R1K1 w - - 0 1", 10},
    // The bishop is pinned; the king's four steps are not.
    {"4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1", 4},
    // In check, or with two bishops on squares of one colour, nothing is foreseen.
    {"4k3/4r3/8/8/8/8/3N4/R3K3 w - - 0 1", 0},
    {"4k3/8/8/8/8/4B3/8/2B1K3 w - - 0 1", 0},
    {"r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/3P1N2/PPP2PPP/RNBQK2R w KQkq - 0 1", -1},
    {"r3k2r/1bq1bppp/p2ppn2/1p6/3NPP2/P1N1B3/1PPQB1PP/2KR3R b kq - 0 1", -1},
};

// A foreseen move's child has neither king attacked, at the root and two plies below.
TEST(MoveGen, ForeseenMovesNeitherLeaveNorGiveCheck) {
    for (const ForeseenCase& c : foreseenCases) {
        int foreseen = 0;
        std::vector<Position> level{expandedFen(c.fen)};
        for (int ply = 0; ply < 3; ++ply) {
            std::vector<Position> next;
            for (const Position& p : level) {
                const ForeseenMoveTest test = foreseenMoveTest(p);
                const IllegalMoveFilter filter = illegalMoveFilter(p);
                const MoveList list = generated(p);
                for (int i = 0; i < list.count; ++i) {
                    const Move& move = list.moves[i];
                    Position child = p;
                    makeMove(child, move);
                    // The search asks only about moves its filter has let through.
                    if (!filter.rejects(p, move) && test.foresees(p, move)) {
                        EXPECT_FALSE(child.inCheck[0] || child.inCheck[1])
                            << c.fen << ": " << name(move);
                        foreseen += ply == 0;
                    }
                    if (!child.inCheck[p.board.sideToMove()]) next.push_back(child);
                }
            }
            level = std::move(next);
        }
        if (c.foreseen >= 0) {
            EXPECT_EQ(foreseen, c.foreseen) << c.fen;
        }
    }
}

TEST(MoveGen, ListHoldsMoreThanAHundredMoves) {
    // Four queens, two bishops, a knight, two rooks and castling: 114 moves, counted
    // independently with chess.js.
    Position position = expandedFen("kb6/pp6/2N3Q1/3Q4/1Q2B3/5Q2/1B6/R3K2R w KQ - 0 1");
    MoveList list = generated(position);
    EXPECT_EQ(list.count, 114);
    EXPECT_EQ(perft(position, 1), 114u);
}

// Hash move, then recaptures on the last move's square, then killers, then captures,
// each step swapping its find forward.
TEST(MoveOrder, StepsSwapInTheirFixedOrder) {
    KillerTable killers;
    killers.reset();
    recordKiller(killers, 2, mv(6, 0, 5, 2), 10);  // g1f3

    MoveList list;
    list.reset();
    const Move moves[] = {mv(0, 1, 0, 2),
                          mv(1, 0, 2, 2),
                          mv(2, 2, 3, 4, KindCapture),
                          mv(4, 1, 4, 3),
                          mv(5, 2, 3, 4, KindCapture),
                          mv(6, 0, 5, 2),
                          mv(7, 1, 6, 2, KindCapture)};
    for (const Move& m : moves) list.moves[list.count++] = m;

    orderMoves(killers, 2, list, mv(3, 6, 3, 4), mv(4, 1, 4, 3, 0));
    const std::vector<std::string> expected = {"e2e4",  "c3xd5", "f3xd5", "g1f3",
                                               "h2xg3", "a2a3",  "b1c3"};
    EXPECT_EQ(names(list), expected);

    // Without a hash move or previous move only killers and captures move forward; killers
    // of another ply do not count.
    MoveList again;
    again.reset();
    for (const Move& m : moves) again.moves[again.count++] = m;
    orderMoves(killers, 3, again, NoMove, NoMove);
    const std::vector<std::string> capturesOnly = {"c3xd5", "f3xd5", "h2xg3", "e2e4",
                                                   "b1c3",  "g1f3",  "a2a3"};
    EXPECT_EQ(names(again), capturesOnly);
}

TEST(Killers, RecordKeepsThreeDistinctMovesInScoreOrder) {
    KillerTable killers;
    killers.reset();
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_TRUE(killers.moves[99][slot].isNone());
        EXPECT_EQ(killers.scores[99][slot], -30000);
    }
    const Move a = mv(0, 1, 0, 2), b = mv(1, 1, 1, 2), c = mv(2, 1, 2, 2), d = mv(3, 1, 3, 2),
               e = mv(4, 1, 4, 2);
    auto slotsAre = [&](const Move& s0, int v0, const Move& s1, int v1, const Move& s2, int v2) {
        const Move* k = killers.moves[5];
        const std::int32_t* v = killers.scores[5];
        return k[0].sameSquares(s0) && v[0] == v0 && k[1].sameSquares(s1) && v[1] == v1 &&
               k[2].sameSquares(s2) && v[2] == v2;
    };

    recordKiller(killers, 5, a, 50);
    recordKiller(killers, 5, b, 40);
    recordKiller(killers, 5, c, 30);
    EXPECT_TRUE(slotsAre(a, 50, b, 40, c, 30));

    recordKiller(killers, 5, d, 30);  // not above slot 2: nothing changes
    EXPECT_TRUE(slotsAre(a, 50, b, 40, c, 30));

    recordKiller(killers, 5, d, 35);  // replaces the weakest
    EXPECT_TRUE(slotsAre(a, 50, b, 40, d, 35));

    recordKiller(killers, 5, b, 60);  // moves up, not duplicated
    EXPECT_TRUE(slotsAre(b, 60, a, 50, d, 35));

    recordKiller(killers, 5, e, 50);  // goes below the equal score
    EXPECT_TRUE(slotsAre(b, 60, a, 50, e, 50));

    recordKiller(killers, 5, e, 55);  // a move already held moves within the slots
    EXPECT_TRUE(slotsAre(b, 60, e, 55, a, 50));

    EXPECT_TRUE(killers.moves[4][0].isNone());   // other plies untouched
    recordKiller(killers, KillerPlies, a, 100);  // beyond the table: ignored
    recordKiller(killers, -1, a, 100);
}

}  // namespace
}  // namespace corvina
