#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board/position.h"

namespace corvina {
namespace {

bool sameRecord(const BoardRecord& a, const BoardRecord& b) {
    return std::memcmp(&a, &b, sizeof(BoardRecord)) == 0;
}

BoardRecord sentinel() {
    BoardRecord board;
    std::memset(&board, 0x5A, sizeof board);
    return board;
}

TEST(ReadFenChecked, AcceptsFullAndShortenedFen) {
    BoardRecord expected;
    setStartPosition(expected);
    const char* const start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    for (const char* text : {start, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
                             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq",
                             "  rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR \t w KQkq - 0 1\n",
                             "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w qkQK - 0 1"}) {
        BoardRecord board = sentinel();
        std::string why;
        ASSERT_TRUE(readFenChecked(board, text, why)) << text << ": " << why;
        EXPECT_TRUE(sameRecord(board, expected)) << text;
    }

    // Placement and side only, as interfaces send it: no rights, no en passant.
    BoardRecord board = sentinel();
    std::string why;
    ASSERT_TRUE(readFenChecked(board, "4k3/8/8/8/8/8/8/4K3 b", why)) << why;
    EXPECT_EQ(board.state, 0);
    EXPECT_EQ(board.state2, 0);
    EXPECT_EQ(board.at(4, 7), 0);
    EXPECT_EQ(board.at(4, 0), 1);

    // The engine's limits reached but not passed: four queens, two of each minor and rook.
    ASSERT_TRUE(readFenChecked(board, "qqqqk3/rrbbnn2/8/8/8/8/RRBBNN2/QQQQK3 w - - 0 1", why))
        << why;
}

TEST(ReadFenChecked, RejectsBrokenTextWithOneLineAndLeavesTheBoard) {
    const char* const broken[] = {
        "",
        "   ",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",            // no side to move
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",  // digit past 8
        "rnbqkbnr/pppppppp/0/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w - - 0 1",  // runs off the board
        "rnbqkbnr/pppppppp/44p/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",
        "rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",  // short rank
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w - - 0 1",          // seven ranks
        "rnbqkbnr/pppppppp/8/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w - - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w - - 0 1",
        "rnbqkbnx/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1",  // not a piece letter
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR W KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkqK - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KX - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w kk - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e4 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq i6 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e3 0 1",  // White to move
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq e6 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - x 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 -1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 extra",
    };
    for (const char* text : broken) {
        BoardRecord board = sentinel();
        std::string why;
        EXPECT_FALSE(readFenChecked(board, text, why)) << '"' << text << '"';
        EXPECT_FALSE(why.empty()) << text;
        EXPECT_EQ(why.find('\n'), std::string::npos) << text;
        EXPECT_TRUE(sameRecord(board, sentinel())) << text;
    }
}

TEST(ReadFenChecked, RejectsPositionsTheEngineCannotHold) {
    const char* const impossible[] = {
        "4k3/8/8/8/8/8/8/8 w - - 0 1",     // no White king
        "8/8/8/8/8/8/8/4K3 w - - 0 1",     // no Black king
        "4k3/8/8/8/8/8/8/3KK3 w - - 0 1",  // two White kings
        "8/8/8/8/8/8/8/8 w - - 0 1",
        "4k3/8/8/8/8/8/8/QQQQKQ2 w - - 0 1",  // fifth queen
        "4k3/8/8/8/8/8/8/RR2K2R w - - 0 1",   // third rook
        "4k3/8/8/8/8/8/8/NNN1K3 w - - 0 1",
        "bbb1k3/8/8/8/8/8/8/4K3 w - - 0 1",
        "4k3/pppppppp/p7/8/8/8/8/4K3 w - - 0 1",  // ninth pawn
        "4k3/8/8/8/8/8/8/P3K3 w - - 0 1",         // pawn on the first rank
        "3pk3/8/8/8/8/8/8/4K3 w - - 0 1",         // pawn on the last rank
    };
    for (const char* text : impossible) {
        BoardRecord board = sentinel();
        std::string why;
        EXPECT_FALSE(readFenChecked(board, text, why)) << text;
        EXPECT_FALSE(why.empty()) << text;
        EXPECT_TRUE(sameRecord(board, sentinel())) << text;
    }

    // The side that just moved cannot be in check; the side to move may be.
    BoardRecord board = sentinel();
    std::string why;
    EXPECT_TRUE(readFenChecked(board, "4k3/8/8/8/8/8/4R3/4K3 b - - 0 1", why)) << why;
    EXPECT_TRUE(readFenChecked(board, "4k3/8/8/8/8/8/8/3QKQQQ w - - 0 1", why)) << why;
    for (const char* text : {"4k3/8/8/8/8/8/4R3/4K3 w - - 0 1",
                             "8/8/8/8/8/8/3k4/4K3 w - - 0 1",         // kings side by side
                             "4k3/3P4/8/8/8/8/8/4K3 w - - 0 1",       // pawn check
                             "4k3/8/5N2/8/8/8/8/4K3 w - - 0 1",       // knight check
                             "4k3/8/8/8/Q7/8/8/4K3 w - - 0 1",        // diagonal check
                             "QQQ1k3/8/8/8/8/8/8/4K2Q w - - 0 1"}) {  // from the fourth queen
        board = sentinel();
        EXPECT_FALSE(readFenChecked(board, text, why)) << text;
        EXPECT_TRUE(sameRecord(board, sentinel())) << text;
    }
}

TEST(ReadFenChecked, DropsRightsAndEnPassantThatThePlacementContradicts) {
    BoardRecord board;
    std::string why;
    // White's queen-side rook and Black's king have left home.
    ASSERT_TRUE(readFenChecked(board, "r4k1r/8/8/8/8/8/8/4K2R w KQkq - 0 1", why)) << why;
    EXPECT_EQ(board.state & (StateWhiteKingSide | StateWhiteQueenSide | StateBlackKingSide),
              StateWhiteKingSide);
    EXPECT_EQ(board.state2 & State2BlackQueenSide, 0);

    // No Black pawn on e5 behind e6: the flag would let a capture remove the wrong piece.
    ASSERT_TRUE(readFenChecked(board, "4k3/8/8/8/8/8/8/4K3 w - e6 0 1", why)) << why;
    EXPECT_FALSE(board.epAvailable());
    ASSERT_TRUE(readFenChecked(board, "4k3/8/8/4p3/8/8/8/4K3 w - e6 0 1", why)) << why;
    EXPECT_TRUE(board.epAvailable());
    EXPECT_EQ(board.epFile(), 4);
    ASSERT_TRUE(readFenChecked(board, "4k3/8/8/8/2P5/8/8/4K3 b - c3 0 1", why)) << why;
    EXPECT_TRUE(board.epAvailable());
    EXPECT_EQ(board.epFile(), 2);
}

}  // namespace
}  // namespace corvina
