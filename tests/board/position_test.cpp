#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "board/movegen.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

constexpr const char* startFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

BoardRecord fromFen(const char* fen) {
    BoardRecord b;
    parseFen(b, fen);
    return b;
}

Move mv(const char* text, std::int8_t kind = KindQuiet) {
    return {std::int8_t(text[0] - 'a'), std::int8_t(text[1] - '1'), std::int8_t(text[2] - 'a'),
            std::int8_t(text[3] - '1'), kind, 2};
}

std::string diagram(const BoardRecord& b) {
    std::ostringstream out;
    printBoard(out, b);
    return out.str();
}

bool hasCastling(const BoardRecord& board) {
    Position p;
    expandPosition(p, board);
    MoveList list;
    list.reset();
    generateMoves(list, p);
    for (int i = 0; i < list.count; ++i)
        if (list.moves[i].kind == KindCastling) return true;
    return false;
}

TEST(Diagram, StartPositionPrintsByteForByte) {
    BoardRecord b;
    setStartPosition(b);
    EXPECT_EQ(diagram(b),
              "8  brbnbbbqbkbbbnbr\n"
              "7  bpbpbpbpbpbpbpbp\n"
              "6    ::  ::  ::  ::\n"
              "5  ::  ::  ::  ::  \n"
              "4    ::  ::  ::  ::\n"
              "3  ::  ::  ::  ::  \n"
              "2  wpwpwpwpwpwpwpwp\n"
              "1  wrwnwbwqwkwbwnwr\n"
              "\n"
              "   a b c d e f g h \n"
              "\n");
}

TEST(Diagram, EmptyBoardIsChequered) {
    const BoardRecord b = fromFen("8/8/8/8/8/8/8/8 w - - 0 1");
    for (PieceCode code : b.squares) EXPECT_EQ(code, EmptySquare);
    EXPECT_EQ(b.state, 16);
    EXPECT_EQ(diagram(b),
              "8    ::  ::  ::  ::\n"
              "7  ::  ::  ::  ::  \n"
              "6    ::  ::  ::  ::\n"
              "5  ::  ::  ::  ::  \n"
              "4    ::  ::  ::  ::\n"
              "3  ::  ::  ::  ::  \n"
              "2    ::  ::  ::  ::\n"
              "1  ::  ::  ::  ::  \n"
              "\n"
              "   a b c d e f g h \n"
              "\n");
}

TEST(Fen, PlacesPiecesFileMajor) {
    const BoardRecord b = fromFen(startFen);
    EXPECT_EQ(b.squares[0], 5);             // a1 White rook
    EXPECT_EQ(b.squares[1], 11);            // a2 White pawn
    EXPECT_EQ(b.squares[7], 4);             // a8 Black rook
    EXPECT_EQ(b.at(4, 0), 1);               // e1 White king
    EXPECT_EQ(b.at(3, 7), 2);               // d8 Black queen
    EXPECT_EQ(b.at(6, 7), 8);               // g8 Black knight
    EXPECT_EQ(b.at(4, 4), EmptySquare);
    EXPECT_EQ(b.state, 0xF0);
    EXPECT_EQ(b.state2, 1);
}

TEST(Fen, SideCastlingAndEnPassantFlags) {
    BoardRecord b = fromFen("4k3/8/8/8/8/8/8/4K3 b Kq - 0 1");
    EXPECT_EQ(b.state, 0x20);  // Black to move, White king-side only
    EXPECT_EQ(b.state2, 1);    // Black queen-side
    b = fromFen("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1");
    EXPECT_EQ(b.state, 1 | (4 << 1));
    b = fromFen("4k3/8/8/8/4P3/8/8/4K3 w - e6 0 1");  // the rank digit is not read
    EXPECT_EQ(b.state, 16 | 9);
    b = fromFen("4k3/8/8/8/8/8/8/4K3 w Qk - 0 1");
    EXPECT_EQ(b.state, 16 | 0x40 | 0x80);
    EXPECT_EQ(b.state2, 0);
}

TEST(Fen, MalformedTextStaysOnTheBoard) {
    // Ranks and files running off the board, stray characters, missing fields: the
    // reader must not write outside the record and must leave valid codes.
    const char* broken[] = {
        "",
        " ",
        "rnbqkbnrrrrrrrrrrrrrrrrrrrrrrrrrr/pppppppp w",
        "8/8/8/8/8/8/8/8/8/8/8/8/k7/K7 w - - 0 1",
        "99999999/Q7Q7Q7",
        "xyz?/8/8 b KQkq",
        "k7/8/8/8/8/8/8/7K",
        "k7/8/8/8/8/8/8/7K w",
        "k7/8/8/8/8/8/8/7K w KQ",
        "k7/8/8/8/8/8/8/7K w KQ ",
        "k7/8/8/8/8/8/8/7K w - z9",
    };
    for (const char* fen : broken) {
        BoardRecord b;
        parseFen(b, fen);
        for (PieceCode code : b.squares) EXPECT_TRUE(code < 12 || code == EmptySquare) << fen;
        EXPECT_EQ(b.state2 & ~1, 0) << fen;
    }
    BoardRecord b = fromFen("k7/8/8/8/8/8/8/7K");
    EXPECT_EQ(b.at(0, 7), 0);
    EXPECT_EQ(b.at(7, 0), 1);
    EXPECT_EQ(b.state, 16);
    b = fromFen("k7/8/8/8/8/8/8/7K w - z9");
    EXPECT_EQ(b.state, 16 | 1 | ((('z' - 'a') & 7) << 1));
}

TEST(RecordOrder, SquaresThenSideThenEnPassantFile) {
    const BoardRecord a = fromFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    BoardRecord b = fromFen("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");  // a1 = 5 < 13
    EXPECT_TRUE(b < a);
    EXPECT_FALSE(a < b);
    // Same squares: Black to move is the lesser.
    const BoardRecord black = fromFen("4k3/8/8/8/8/8/8/4K3 b - - 0 1");
    EXPECT_TRUE(black < a);
    EXPECT_FALSE(a < black);
    // Then the en passant file bits, even with the flag bit clear.
    BoardRecord ep = a;
    ep.state = std::uint8_t(ep.state | (3 << 1));
    EXPECT_TRUE(a < ep);
    EXPECT_FALSE(ep < a);
    // Castling rights and the en passant flag bit take no part.
    BoardRecord rights = fromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    BoardRecord none = fromFen("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
    EXPECT_FALSE(rights < none);
    EXPECT_FALSE(none < rights);
    none.state |= StateEpAvailable;
    EXPECT_FALSE(rights < none);
    EXPECT_FALSE(none < rights);
}

TEST(BoardMove, DoubleStepSetsEnPassantAndTheFileOutlivesIt) {
    BoardRecord b = fromFen(startFen);
    applyMoveToBoard(b, mv("e2e4"));
    EXPECT_EQ(b.state, 0xE9);
    EXPECT_EQ(b.at(4, 3), 11);
    EXPECT_EQ(b.at(4, 1), EmptySquare);
    applyMoveToBoard(b, mv("g8f6"));
    EXPECT_EQ(b.state, 0xF8);  // flag cleared, file e kept, White to move
    // The same squares reached by single steps differ as a key.
    BoardRecord slow = fromFen(startFen);
    applyMoveToBoard(slow, mv("e2e3"));
    applyMoveToBoard(slow, mv("g8f6"));
    applyMoveToBoard(slow, mv("e3e4"));
    applyMoveToBoard(slow, mv("f6g8"));
    applyMoveToBoard(slow, mv("g1f3"));
    applyMoveToBoard(slow, mv("g8f6"));
    applyMoveToBoard(slow, mv("f3g1"));
    BoardRecord fast = fromFen(startFen);
    applyMoveToBoard(fast, mv("e2e4"));
    applyMoveToBoard(fast, mv("g8f6"));
    EXPECT_EQ(std::string(slow.squares, slow.squares + 64),
              std::string(fast.squares, fast.squares + 64));
    EXPECT_TRUE(slow < fast || fast < slow);
}

TEST(BoardMove, EnPassantRemovesThePassedPawn) {
    BoardRecord b = fromFen("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    applyMoveToBoard(b, mv("e5d6", KindEnPassant));
    EXPECT_EQ(b.at(3, 5), 11);
    EXPECT_EQ(b.at(3, 4), EmptySquare);
    EXPECT_EQ(b.at(4, 4), EmptySquare);
    b = fromFen("4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1");
    applyMoveToBoard(b, mv("d4e3", KindEnPassant));
    EXPECT_EQ(b.at(4, 2), 10);
    EXPECT_EQ(b.at(4, 3), EmptySquare);
}

TEST(BoardMove, CastlingMovesTheRookAndClearsBothRights) {
    BoardRecord b = fromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    applyMoveToBoard(b, mv("e1g1", KindCastling));
    EXPECT_EQ(b.at(6, 0), 1);
    EXPECT_EQ(b.at(5, 0), 5);
    EXPECT_EQ(b.at(7, 0), EmptySquare);
    EXPECT_EQ(b.at(4, 0), EmptySquare);
    EXPECT_EQ(b.state & 0x70, 0);  // White rights gone, Black to move
    EXPECT_EQ(b.state & 0x80, 0x80);
    applyMoveToBoard(b, mv("e8c8", KindCastling));
    EXPECT_EQ(b.at(2, 7), 0);
    EXPECT_EQ(b.at(3, 7), 4);
    EXPECT_EQ(b.at(0, 7), EmptySquare);
    EXPECT_EQ(b.state, 0x10);
    EXPECT_EQ(b.state2, 0);
}

TEST(BoardMove, RookLeavingItsCornerLosesOnlyItsRight) {
    BoardRecord b = fromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    applyMoveToBoard(b, mv("a1a5"));
    EXPECT_EQ(b.state, 0x20 | 0x80);
    applyMoveToBoard(b, mv("h8h5"));
    EXPECT_EQ(b.state, 0x10 | 0x20);
    EXPECT_EQ(b.state2, 1);
}

TEST(BoardMove, PromotionTakesTheColourOfTheRank) {
    BoardRecord b = fromFen("4k3/P7/8/8/8/8/7p/4K3 w - - 0 1");
    applyMoveToBoard(b, mv("a7a8", KindPromotion));
    EXPECT_EQ(b.at(0, 7), 3);
    EXPECT_EQ(b.at(0, 6), EmptySquare);
    applyMoveToBoard(b, mv("h2h1", KindPromotion));
    EXPECT_EQ(b.at(7, 0), 2);
    EXPECT_EQ(b.at(7, 1), EmptySquare);
}

// A right dies with its rook: capturing the rook in its corner clears it, so that a
// second rook reaching the corner later cannot castle with the unmoved king.
TEST(BoardMove, CaptureOnACornerClearsThatRight) {
    BoardRecord b = fromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    applyMoveToBoard(b, mv("h1h8", KindCapture));
    EXPECT_EQ(b.state & StateBlackKingSide, 0);
    EXPECT_EQ(b.state & StateWhiteKingSide, 0);  // the h1 rook moved
    EXPECT_EQ(b.state2, 1);
    applyMoveToBoard(b, mv("a8a1", KindCapture));
    EXPECT_EQ(b.state & StateWhiteQueenSide, 0);
    EXPECT_EQ(b.state2, 0);
    // Any capturing piece, and every corner.
    b = fromFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    b.squares[squareIndex(1, 1)] = 6;  // Black bishop on b2 takes a1
    b.state &= std::uint8_t(~StateWhiteToMove);
    applyMoveToBoard(b, mv("b2a1", KindCapture));
    EXPECT_EQ(b.state, 0x10 | 0x20 | 0x80);
    b.squares[squareIndex(6, 6)] = 7;  // White bishop on g7 takes h8
    applyMoveToBoard(b, mv("g7h8", KindCapture));
    EXPECT_EQ(b.state, 0x20);
    EXPECT_EQ(b.state2, 1);
}

TEST(BoardMove, RecapturedCornerGivesNoIllegalCastling) {
    // White's rook takes h8; Black's other rook comes back to h8 with the king unmoved.
    BoardRecord b = fromFen("r3k2r/8/8/8/8/8/8/4K2R w Kkq - 0 1");
    applyMoveToBoard(b, mv("h1h8", KindCapture));
    applyMoveToBoard(b, mv("a8a7"));
    applyMoveToBoard(b, mv("h8h1"));
    applyMoveToBoard(b, mv("a7h7"));
    applyMoveToBoard(b, mv("e1d1"));
    applyMoveToBoard(b, mv("h7h8"));
    applyMoveToBoard(b, mv("d1e1"));
    EXPECT_EQ(b.at(7, 7), 4);
    EXPECT_EQ(b.at(4, 7), 0);
    EXPECT_EQ(b.sideToMove(), Black);
    EXPECT_FALSE(hasCastling(b));
}

TEST(BoardMove, NoMoveLeavesTheRecordAlone) {
    BoardRecord b = fromFen(startFen);
    const BoardRecord before = b;
    applyMoveToBoard(b, NoMove);
    EXPECT_EQ(std::memcmp(&b, &before, sizeof b), 0);
}

TEST(Expand, StartPositionCountsListsAndFlags) {
    initTables();
    Position p;
    expandPosition(p, fromFen(startFen));
    EXPECT_EQ(p.material, 0);
    EXPECT_EQ(p.squareControl, 0);
    EXPECT_EQ(p.exchange, 0);
    for (const SideState* s : {&p.white, &p.black}) {
        EXPECT_EQ(s->rookCount, 2);
        EXPECT_EQ(s->knightCount, 2);
        EXPECT_EQ(s->bishopCount, 2);
        EXPECT_EQ(s->queenCount, 1);
        EXPECT_EQ(s->pawnCount, 8);
        EXPECT_EQ(s->kingFile, 4);
        EXPECT_EQ(s->rookFile[0], 0);
        EXPECT_EQ(s->rookFile[1], 7);
    }
    EXPECT_EQ(p.white.rookRank[0], 0);
    EXPECT_EQ(p.black.kingRank, 7);
    EXPECT_EQ(p.white.pawns, 0x000000000000FF00ull);
    EXPECT_EQ(p.black.pawns, 0x00FF000000000000ull);
    EXPECT_EQ(p.white.occupancy.occ, 0x000000000000FFFFull);
    EXPECT_EQ(p.allOcc.occ, 0xFFFF00000000FFFFull);
    EXPECT_EQ(p.inCheck[0] | p.inCheck[1], 0);
    for (std::uint8_t flag : p.castlePathFree) EXPECT_EQ(flag, 1);
}

TEST(Expand, MaterialCountsEachKindAndTheKing) {
    Position p;
    expandPosition(p, fromFen("4k3/8/8/8/8/8/8/RNBQK3 w - - 0 1"));
    EXPECT_EQ(p.material, 500 + 300 + 300 + 1000);
    expandPosition(p, fromFen("4k3/pppp4/8/8/8/8/8/8 w - - 0 1"));
    EXPECT_EQ(p.material, -100000 - 400);
}

TEST(Expand, ListsFollowScanOrderAndKeepFourQueens) {
    Position p;
    expandPosition(p, fromFen("Q6Q/8/8/8/8/8/8/Q3K2Q w - - 0 1"));
    ASSERT_EQ(p.white.queenCount, 4);
    const int files[] = {0, 7, 0, 7}, ranks[] = {0, 0, 7, 7};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(p.white.queenFile[i], files[i]);
        EXPECT_EQ(p.white.queenRank[i], ranks[i]);
    }
    // A record beyond the list capacity is counted, and nothing else is overwritten.
    expandPosition(p, fromFen("4k3/8/8/8/8/8/RRRRR3/4K3 w - - 0 1"));
    EXPECT_EQ(p.white.rookCount, 5);
    EXPECT_EQ(p.white.knightCount, 0);
    EXPECT_EQ(p.white.kingFile, 4);
    EXPECT_EQ(p.material, 2500);
}

TEST(Keys, SideToMoveChangesBothKeysByTheSideKeys) {
    initTables();
    Position w, b;
    expandPosition(w, fromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1"));
    expandPosition(b, fromFen("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R b KQkq - 0 1"));
    EXPECT_EQ(w.hashIndexKey ^ b.hashIndexKey, hashKeys().sideIndexKey);
    EXPECT_EQ(w.hashLockKey ^ b.hashLockKey, hashKeys().sideLockKey);
}

TEST(Keys, FullKeysAreTheXorOfTheirTerms) {
    initTables();
    const HashKeys& k = hashKeys();
    Position p;
    expandPosition(p, fromFen("4k2r/8/8/8/3pP3/8/8/4K3 b k e3 0 1"));
    const std::uint32_t index = k.pieceIndexKey[squareIndex(4, 7) * 12 + 0] ^
                                k.pieceIndexKey[squareIndex(7, 7) * 12 + 4] ^
                                k.pieceIndexKey[squareIndex(3, 3) * 12 + 10] ^
                                k.pieceIndexKey[squareIndex(4, 3) * 12 + 11] ^
                                k.pieceIndexKey[squareIndex(4, 0) * 12 + 1] ^
                                k.castleIndexKey[3] ^ k.epIndexKey[4];
    EXPECT_EQ(p.hashIndexKey, index);
    std::uint32_t i2 = 0, l2 = 0;
    computeFullKeys(p, i2, l2);
    EXPECT_EQ(i2, p.hashIndexKey);
    EXPECT_EQ(l2, p.hashLockKey);
}

}  // namespace
}  // namespace corvina
