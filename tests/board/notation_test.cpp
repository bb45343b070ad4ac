#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>

#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

BoardRecord boardFrom(const char* fen) {
    static const bool ready = [] {
        seedRandom(2024);
        initTables();
        return true;
    }();
    (void)ready;
    BoardRecord board;
    parseFen(board, fen);
    return board;
}

const char* const startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

std::string coordinate(const Move& m) {
    std::ostringstream out;
    writeCoordinate(out, m);
    return out.str();
}

bool isMove(const Move& m, int ff, int fr, int tf, int tr, int kind, int promotion = 2) {
    return m.fromFile == ff && m.fromRank == fr && m.toFile == tf && m.toRank == tr &&
           m.kind == kind && m.promotion == promotion;
}

TEST(ReadMove, CoordinateTextMustNameAGeneratedMove) {
    const BoardRecord start = boardFrom(startFen);
    EXPECT_TRUE(isMove(readMove("e2e4", start), 4, 1, 4, 3, KindQuiet));
    EXPECT_TRUE(isMove(readMove("g1f3", start), 6, 0, 5, 2, KindQuiet));
    EXPECT_TRUE(readMove("e2e5", start).isNone());
    EXPECT_TRUE(readMove("E2E4", start).isNone());  // capitals fail the coordinate test
    EXPECT_TRUE(readMove("e7e5", start).isNone());  // Black's move with White to move
    EXPECT_TRUE(readMove("e2e4 ", start).isNone());
    EXPECT_TRUE(readMove("e2", start).isNone());
    EXPECT_TRUE(readMove("", start).isNone());
    EXPECT_TRUE(readMove("i2i4", start).isNone());
    EXPECT_TRUE(readMove("e0e4", start).isNone());
    // A fifth letter must be a promotion piece but is otherwise not matched.
    EXPECT_TRUE(isMove(readMove("e2e4q", start), 4, 1, 4, 3, KindQuiet));
    EXPECT_TRUE(readMove("e2e4k", start).isNone());
    EXPECT_TRUE(readMove("e2e4Q", start).isNone());
}

TEST(ReadMove, RefusesAGeneratedMoveThatLeavesTheOwnKingAttacked) {
    const std::pair<const char*, const char*> refused[] = {
        {"7k/5K2/8/8/8/8/8/8 b - - 0 1", "h8g8"},        // next to the other king
        {"4k3/4r3/8/8/8/8/4R3/4K3 b - - 0 1", "e7d7"},   // the rook is pinned
        {"8/8/4k3/8/5B2/8/1B6/4K3 b - - 0 1", "e6e5"},   // both bishops reach e5
        {"r3k3/8/8/B7/7B/8/8/4K3 b q - 0 1", "O-O-O"},   // across d8, hit by both
        {"4k3/8/8/1B5B/8/2n5/8/4K3 b - - 0 1", "c3b5"},  // double check stays
    };
    for (const auto& [fen, text] : refused)
        EXPECT_TRUE(readMove(text, boardFrom(fen)).isNone()) << text;
    EXPECT_TRUE(isMove(readMove("e7e2", boardFrom("4k3/4r3/8/8/8/8/4R3/4K3 b - - 0 1")), 4, 6, 4, 1,
                       KindCapture));
}

TEST(ReadMove, PromotionTextNamesThePiece) {
    const BoardRecord board = boardFrom("3k4/4P3/8/8/8/8/8/4K3 w - - 0 1");
    const std::pair<const char*, int> cases[] = {
        {"e7e8", 2}, {"e7e8q", 2}, {"e7e8r", 4}, {"e7e8b", 6}, {"e7e8n", 8}};
    for (const auto& [text, piece] : cases) {
        EXPECT_TRUE(isMove(readMove(text, board), 4, 6, 4, 7, KindPromotion, piece)) << text;
    }
    EXPECT_TRUE(readMove("e7e8k", board).isNone());

    // Black's knight promotion with check is played as a knight: the king must answer it.
    BoardRecord black = boardFrom("8/8/8/8/8/8/1k3p1K/8 b - - 0 1");
    applyMoveToBoard(black, readMove("f2f1n", black));
    EXPECT_EQ(black.squares[squareIndex(5, 0)], PieceCode(Knight << 1));
    Position after;
    expandPosition(after, black);
    EXPECT_TRUE(after.inCheck[1]);

    // A third knight has no place in the piece lists and is taken as a queen.
    const BoardRecord crowded = boardFrom("3k4/4P3/8/8/8/8/8/NN2K3 w - - 0 1");
    EXPECT_EQ(readMove("e7e8n", crowded).promotion, 2);
    EXPECT_EQ(readMove("e7e8r", crowded).promotion, 4);
}

TEST(ReadMove, CastlingWordsFollowTheSideToMove) {
    const BoardRecord white = boardFrom("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const BoardRecord black = boardFrom("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1");
    for (const char* text : {"O-O", "o-o", "0-0"})
        EXPECT_TRUE(isMove(readMove(text, white), 4, 0, 6, 0, KindCastling)) << text;
    EXPECT_TRUE(isMove(readMove("O-O", black), 4, 7, 6, 7, KindCastling));
    EXPECT_TRUE(isMove(readMove("0-0-0", white), 4, 0, 2, 0, KindCastling));
    EXPECT_TRUE(isMove(readMove("o-o-o", black), 4, 7, 2, 7, KindCastling));
    EXPECT_TRUE(isMove(readMove("e1g1", white), 4, 0, 6, 0, KindCastling));
    EXPECT_TRUE(readMove("O-O+", white).isNone());
    EXPECT_TRUE(readMove("O-o", white).isNone());
    // Not generated: the king-side right is gone.
    EXPECT_TRUE(readMove("O-O", boardFrom("r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1")).isNone());
}

TEST(CompleteMove, FillsTheKindFromTheGeneratedMove) {
    const BoardRecord board = boardFrom("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    const Move bare = {4, 4, 3, 5, 0, 0};
    EXPECT_TRUE(isMove(completeMove(board, bare), 4, 4, 3, 5, KindEnPassant));
    const Move absent = {4, 4, 4, 6, 0, 2};
    EXPECT_TRUE(completeMove(board, absent).isNone());
    EXPECT_TRUE(completeMove(board, NoMove).isNone());
}

TEST(WriteMove, CoordinateAndLongForms) {
    const BoardRecord start = boardFrom(startFen);
    const Move e2e4 = readMove("e2e4", start);
    EXPECT_EQ(coordinate(e2e4), "e2e4");
    EXPECT_EQ(writeLongAlgebraic(e2e4, start), "e2e4");
    EXPECT_EQ(writeLongAlgebraic(readMove("g1f3", start), start), "Ng1f3");

    const BoardRecord castle = boardFrom("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    const Move shortCastle = readMove("O-O", castle);
    EXPECT_EQ(coordinate(shortCastle), "e1g1");
    EXPECT_EQ(writeLongAlgebraic(shortCastle, castle), "O-O");
    EXPECT_EQ(writeLongAlgebraic(readMove("O-O-O", castle), castle), "O-O-O");

    // A capture that gives check along the b5-e8 diagonal.
    const BoardRecord check = boardFrom("4k3/8/8/1p6/8/8/8/4KB2 w - - 0 1");
    const Move bxb5 = readMove("f1b5", check);
    EXPECT_EQ(coordinate(bxb5), "f1xb5");
    EXPECT_EQ(writeLongAlgebraic(bxb5, check), "Bf1xb5+");

    const BoardRecord ep = boardFrom("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    const Move exd6 = readMove("e5d6", ep);
    EXPECT_EQ(coordinate(exd6), "e5xd6");
    EXPECT_EQ(writeLongAlgebraic(exd6, ep), "e5xd6ep");

    // Black's moves: a king move, and a rook check whose mark comes from the rook.
    const BoardRecord black = boardFrom("4k3/8/8/8/8/8/r7/4K3 b - - 0 1");
    EXPECT_EQ(writeLongAlgebraic(readMove("e8d7", black), black), "Ke8d7");
    EXPECT_EQ(writeLongAlgebraic(readMove("a2a1", black), black), "Ra2a1+");

    // No promotion letter is written.
    const BoardRecord promo = boardFrom("3k4/4P3/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(coordinate(readMove("e7e8q", promo)), "e7e8");
    EXPECT_EQ(writeLongAlgebraic(readMove("e7e8q", promo), promo), "e7e8+");

    EXPECT_EQ(coordinate(NoMove), "no move");
    EXPECT_EQ(writeLongAlgebraic(NoMove, start), "no move");
}

}  // namespace
}  // namespace corvina
