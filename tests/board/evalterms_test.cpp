#include "board/evalterms.h"

#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

class EvalTerms : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        seedRandom(1);
        initTables();
    }

    static Position expanded(const char* fen) {
        BoardRecord board;
        parseFen(board, fen);
        Position position{};
        expandPosition(position, board);
        return position;
    }

    // Runs the pass with a last move that ended on (file, rank).
    static Position termsAfterMoveTo(const char* fen, int file, int rank) {
        Position position = expanded(fen);
        const Move last{std::int8_t(file), 0, std::int8_t(file), std::int8_t(rank), KindQuiet, 2};
        boardEvaluationTerms(position, last);
        return position;
    }
};

// Cell bits: attackA 0/1 rooks, 2 king, 3 bishop; attackB 0/1 knights, 2/3 pawns;
// attackC queens.
TEST(ExchangeEstimate, CheapestAttackerCapturesFirstAndEachSideMayStop) {
    const PieceCode blackKnight = makeCode(Knight, Black);
    // A pawn takes the knight and is retaken by a rook: 300 - 100. Read as a knight,
    // the White attacker would be lost for the knight and the result would be 0.
    EXPECT_EQ(exchangeEstimate(0, 4, 0, 1, 0, 0, blackKnight), 200);
    // The queen alone would win the knight and lose itself to the pawn: it stays home.
    EXPECT_EQ(exchangeEstimate(0, 0, 1, 0, 8, 0, blackKnight), 0);
    // Rook takes, rook retakes, king takes last: 300 - 500 + 500.
    EXPECT_EQ(exchangeEstimate(1 | 4, 0, 0, 2, 0, 0, blackKnight), 300);
    // The bishop bit counts as a minor piece, before the rooks: bishop takes the rook,
    // rook retakes, rook retakes; White keeps the exchange. Rook first would give 300.
    EXPECT_EQ(exchangeEstimate(8 | 1, 0, 0, 1, 0, 0, makeCode(Rook, Black)), 500);
    // Black captures first when the target is White's: queen on a pawn-defended square
    // taken by a pawn, the rook retakes.
    EXPECT_EQ(exchangeEstimate(1, 0, 0, 0, 4, 0, makeCode(Queen, White)), -900);
}

TEST(ExchangeEstimate, LongSequencesUseEveryAttackerOnce) {
    // Two queens each on a Black pawn: every line ends a queen down, so White declines.
    EXPECT_EQ(exchangeEstimate(0, 0, 3, 0, 0, 3, makeCode(Pawn, Black)), 0);
    // Two queens against one: Q takes, q retakes, Q retakes, and White is a pawn up.
    EXPECT_EQ(exchangeEstimate(0, 0, 3, 0, 0, 1, makeCode(Pawn, Black)), 100);
    // Every attacker of both sides: the sequence runs to the end without overflow.
    const int v = exchangeEstimate(15, 15, 15, 15, 15, 15, makeCode(Knight, Black));
    EXPECT_GE(v, 0);  // White may always decline
}

TEST_F(EvalTerms, ExchangeOnTheLastMovesSquare) {
    // Black knight on d5 attacked by the e4 pawn and undefended: it hangs.
    EXPECT_EQ(termsAfterMoveTo("7k/8/8/3n4/4P3/8/8/4K3 w - - 0 1", 3, 4).exchange, 300);
    // Defended by the c6 pawn: pawn takes, pawn retakes.
    EXPECT_EQ(termsAfterMoveTo("7k/8/2p5/3n4/4P3/8/8/4K3 w - - 0 1", 3, 4).exchange, 200);
    // White queen on d4 attacked by the e5 pawn, defended by the d1 rook; Black to move.
    EXPECT_EQ(termsAfterMoveTo("7k/8/8/4p3/3Q4/8/8/3R3K b - - 0 1", 3, 3).exchange, -900);
    // The same queen without the rook hangs outright.
    EXPECT_EQ(termsAfterMoveTo("7k/8/8/4p3/3Q4/8/8/7K b - - 0 1", 3, 3).exchange, -1000);
    // Not attacked by the side to move: 0, whatever defends it.
    EXPECT_EQ(termsAfterMoveTo("7k/8/8/8/3N4/4P3/8/7K b - - 0 1", 3, 3).exchange, 0);
}

TEST_F(EvalTerms, NoLastMoveGivesNoExchange) {
    Position position = expanded("7k/8/8/3n4/4P3/8/8/4K3 w - - 0 1");
    position.exchange = 123;
    boardEvaluationTerms(position, NoMove);
    EXPECT_EQ(position.exchange, 0);
}

TEST_F(EvalTerms, StartPositionAfterE4IsBalanced) {
    const Position p =
        termsAfterMoveTo("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 4, 3);
    EXPECT_EQ(p.material, 0);
    EXPECT_EQ(p.exchange, 0);
    EXPECT_FALSE(p.lowMaterial);
    EXPECT_FALSE(p.fewPieces);
    EXPECT_FALSE(p.piecesGone);
    EXPECT_EQ(p.development, 0);
    EXPECT_EQ(p.kingTerm, 0);       // both kings on e-file squares of the shelter table
    EXPECT_GT(p.squareControl, 0);  // the e4 pawn and the opened lines work for White
}

TEST_F(EvalTerms, MaterialCountsEveryTypeAndTheKingByPresence) {
    // Black lacks the queen and a knight; White lacks a pawn.
    const Position p =
        termsAfterMoveTo("r1b1kbnr/pppppppp/8/8/8/8/PPPPPPP1/RNBQKBNR w - - 0 1", 4, 3);
    EXPECT_EQ(p.material, 1000 + 300 - 100);
    // A board without Black's king counts the king's full value.
    EXPECT_EQ(termsAfterMoveTo("8/8/8/8/8/8/8/4K3 w - - 0 1", 4, 0).material, 100000);
}

TEST_F(EvalTerms, SquareControlIsTheDifferenceOfTheWeightedSums) {
    Position p = expanded("r3k2r/pp3ppp/2n5/3q4/8/2N2B2/PPP2PPP/R2QK2R w KQkq - 0 1");
    p.squareControl = 0;
    boardEvaluationTerms(p, NoMove);
    EXPECT_EQ(p.squareControl, weightedSum(p.white) - weightedSum(p.black));
    EXPECT_NE(p.squareControl, 0);
}

TEST_F(EvalTerms, EndgameFlagsFollowTheHeavyPieces) {
    struct Case {
        const char* fen;
        bool low, few, gone;
    };
    const Case cases[] = {
        // King and pawns against king and pawns.
        {"8/5k2/4p3/8/3P4/8/4K3/8 w - - 0 1", true, true, true},
        // Two rooks each: not low; four pieces each: not few.
        {"r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1", false, false, false},
        // One rook against two rooks: White is low and has few pieces.
        {"r3k2r/8/8/8/8/8/8/R3K3 w - - 0 1", true, true, false},
        // Queen and rook: a queen with one other piece is still low material.
        {"r3k2r/8/8/8/8/8/8/3QK2R w - - 0 1", true, false, false},
        // Queen, rook and bishop: enough.
        {"r3k2r/8/8/8/8/8/8/2BQK2R w - - 0 1", false, false, false},
        // A lone knight each: few pieces, but not all gone.
        {"4k1n1/8/8/8/8/8/8/4K1N1 w - - 0 1", true, true, false},
    };
    for (const Case& c : cases) {
        const Position p = termsAfterMoveTo(c.fen, 4, 0);
        EXPECT_EQ(bool(p.lowMaterial), c.low) << c.fen;
        EXPECT_EQ(bool(p.fewPieces), c.few) << c.fen;
        EXPECT_EQ(bool(p.piecesGone), c.gone) << c.fen;
    }
}

TEST_F(EvalTerms, KingTablesAreIndexedBySquareAndSharedByBothColours) {
    EXPECT_EQ(kingShelter[squareIndex(6, 0)], 125);  // g1
    EXPECT_EQ(kingShelter[squareIndex(0, 1)], 50);   // a2
    EXPECT_EQ(kingShelter[squareIndex(7, 1)], 25);   // h2
    EXPECT_EQ(kingShelter[squareIndex(0, 2)], 0);    // a3
    EXPECT_EQ(kingCentre[squareIndex(3, 3)], 30);    // d4
    EXPECT_EQ(kingCentre[squareIndex(1, 3)], 22);    // b4
    for (int file = 0; file < 8; ++file)
        for (int rank = 0; rank < 8; ++rank) {
            EXPECT_EQ(kingShelter[squareIndex(file, rank)],
                      kingShelter[squareIndex(file, 7 - rank)]);
            EXPECT_EQ(kingCentre[squareIndex(file, rank)], kingCentre[squareIndex(file, 7 - rank)]);
        }
}

TEST_F(EvalTerms, KingsSeekShelterUntilTheOpponentIsLow) {
    // Full armies: White's castled king on g1 is sheltered, Black's on e8 is not.
    EXPECT_EQ(
        termsAfterMoveTo("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1RK1 w - - 0 1", 4, 0).kingTerm,
        125 - 0);
    // Pawn ending: both kings use the centre table, d4 30 against h8 10.
    EXPECT_EQ(termsAfterMoveTo("7k/8/4p3/8/3K4/8/4P3/8 w - - 0 1", 4, 0).kingTerm, 30 - 10);
    // Only Black is low: White's king centralises (d4 30), Black's stays in shelter (g8 125).
    EXPECT_EQ(termsAfterMoveTo("6k1/8/8/8/3K4/8/8/RR1Q4 w - - 0 1", 4, 0).kingTerm, 30 - 125);
}

TEST_F(EvalTerms, DevelopmentCountsPiecesStillAtHome) {
    // White has moved the g1 knight and the f1 bishop: 5 at home against 7.
    EXPECT_EQ(termsAfterMoveTo("rnbqkbnr/pppppppp/8/8/2B5/5N2/PPPPPPPP/RNBQK2R b KQkq - 0 1", 5, 2)
                  .development,
              2);
    // Black's queen is gone and a Black knight stands on b1, which is not White's
    // knight at home: six at home each.
    EXPECT_EQ(termsAfterMoveTo("rnb1kbnr/pppppppp/8/8/8/8/PPPPPPPP/RnBQKBNR w KQkq - 0 1", 1, 0)
                  .development,
              6 - 6);
}

}  // namespace
}  // namespace corvina
