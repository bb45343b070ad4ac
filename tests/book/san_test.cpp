#include "tools/san.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

class SanTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        seedRandom(99);
        initTables();
    }

    // The SAN move in coordinates, or the reason it was refused.
    static std::string san(const char* fen, const std::string& text) {
        BoardRecord board;
        parseFen(board, fen);
        std::string why;
        Move move = readSan(text, board, why);
        if (move.isNone()) return "refused: " + why;
        std::ostringstream out;
        out << char('a' + move.fromFile) << move.fromRank + 1 << char('a' + move.toFile)
            << move.toRank + 1;
        return out.str();
    }

    static std::string line(const std::string& text) {
        std::vector<Move> moves;
        std::string why;
        if (!convertMoveText(text, moves, why)) return "refused: " + why;
        std::string result;
        for (const Move& m : moves) {
            result += char('a' + m.fromFile);
            result += char('1' + m.fromRank);
            result += char('a' + m.toFile);
            result += char('1' + m.toRank);
            result += ' ';
        }
        return result;
    }
};

constexpr const char* StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

TEST_F(SanTest, ReadsPiecesPawnsAndCaptures) {
    EXPECT_EQ(san(StartFen, "e4"), "e2e4");
    EXPECT_EQ(san(StartFen, "Nf3"), "g1f3");
    EXPECT_EQ(san(StartFen, "Nf3!?"), "g1f3");
    EXPECT_EQ(san(StartFen, "e5"), "refused: no such legal move");
    EXPECT_EQ(san(StartFen, "Bb5"), "refused: no such legal move");
    EXPECT_EQ(san(StartFen, "Zf3"), "refused: not a move");
    const char* scandinavian = "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2";
    EXPECT_EQ(san(scandinavian, "exd5"), "e4d5");
    EXPECT_EQ(san(scandinavian, "ed5"), "e4d5");
    // A bishop letter is not a pawn file.
    const char* bishopTakes = "4k3/8/8/B7/8/2p5/1P6/4K3 w - - 0 1";
    EXPECT_EQ(san(bishopTakes, "bxc3"), "b2c3");
    EXPECT_EQ(san(bishopTakes, "Bxc3"), "a5c3");
}

TEST_F(SanTest, DisambiguatesOnlyAmongLegalMoves) {
    // Knights on b1 and f3 both reach d2.
    const char* twoKnights = "4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1";
    EXPECT_EQ(san(twoKnights, "Nd2"), "refused: ambiguous move");
    EXPECT_EQ(san(twoKnights, "Nbd2"), "b1d2");
    EXPECT_EQ(san(twoKnights, "Nfd2"), "f3d2");
    EXPECT_EQ(san(twoKnights, "N3d2"), "f3d2");
    EXPECT_EQ(san(twoKnights, "Nf3d2"), "f3d2");
    // Rooks on one file need the rank.
    const char* twoRooks = "4k3/R7/8/8/8/8/R7/4K3 w - - 0 1";
    EXPECT_EQ(san(twoRooks, "Ra5"), "refused: ambiguous move");
    EXPECT_EQ(san(twoRooks, "R7a5"), "a7a5");
    // With the c3 knight pinned by the bishop on b4, Ne2 can only be the g1 knight.
    const char* pinned = "rnbqk1nr/pppp1ppp/8/4p3/1b1PP3/2N5/PPP2PPP/R1BQKBNR w KQkq - 0 3";
    EXPECT_EQ(san(pinned, "Ne2"), "g1e2");
    EXPECT_EQ(san(pinned, "Nd5"), "refused: no such legal move");
    // A king may not step into check.
    EXPECT_EQ(san("4k3/8/8/8/8/3r4/8/4K3 w - - 0 1", "Ke2"), "e1e2");
    EXPECT_EQ(san("4k3/8/8/8/8/3r4/8/4K3 w - - 0 1", "Kd2"), "refused: no such legal move");
}

TEST_F(SanTest, ReadsCastlingAndRefusesItThroughCheck) {
    const char* ready = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    EXPECT_EQ(san(ready, "O-O"), "e1g1");
    EXPECT_EQ(san(ready, "0-0-0"), "e1c1");
    EXPECT_EQ(san(ready, "O-O+"), "e1g1");
    EXPECT_EQ(san("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "O-O-O"), "e8c8");
    // The rook on f8 watches f1.
    EXPECT_EQ(san("5r1k/8/8/8/8/8/8/R3K2R w KQ - 0 1", "O-O"), "refused: no such legal move");
    EXPECT_EQ(san("5r1k/8/8/8/8/8/8/R3K2R w KQ - 0 1", "O-O-O"), "e1c1");
    // The king's two-square step is castling, not a king move called Kg1.
    EXPECT_EQ(san(ready, "Kg1"), "refused: no such legal move");
}

TEST_F(SanTest, ReadsEnPassantAndQueenPromotionsOnly) {
    const char* ep = "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3";
    EXPECT_EQ(san(ep, "exf6"), "e5f6");
    EXPECT_EQ(san(ep, "exf6e.p."), "e5f6");
    const char* promote = "1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1";
    EXPECT_EQ(san(promote, "a8=Q"), "a7a8");
    EXPECT_EQ(san(promote, "a8Q+"), "a7a8");
    EXPECT_EQ(san(promote, "axb8=Q"), "a7b8");
    EXPECT_EQ(san(promote, "a8"), "refused: no such legal move");
    EXPECT_EQ(san(promote, "a8=N"), "refused: underpromotion, which the book cannot hold");
    EXPECT_EQ(san(promote, "a8=K"), "refused: bad promotion piece");
}

TEST_F(SanTest, ConvertsPgnMoveText) {
    EXPECT_EQ(line("1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 *"), "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 ");
    EXPECT_EQ(line("1.e4 c5 2.Nf3 {the open Sicilian} 2...d6 (2...Nc6 3.d4) 3.d4 $1 cxd4 1-0"),
              "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 ");
    EXPECT_EQ(line("1. d4 d5 2. c4 (2. Bf4 (2. Nf3 Nf6) Nf6) e6 ; a comment\n3. Nc3 1/2-1/2"),
              "d2d4 d7d5 c2c4 e7e6 b1c3 ");
    EXPECT_EQ(line("1. e4 e5 2. Nf3 Nc6 3. Bc4 Nf6 4. O-O"), "e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 e1g1 ");
    EXPECT_EQ(line("1. e4 e5 2. Ke3"), "refused: move 2. Ke3: no such legal move");
    EXPECT_EQ(line("1. e4 e5 2. Bc4 Nc6 3. Qh5 Nf6?? 4. Qxf7#"),
              "e2e4 e7e5 f1c4 b8c6 d1h5 g8f6 h5f7 ");
    EXPECT_EQ(line("1. e2e4 e7e5 2. Nf3 b8c6 3. f1c4 g8f6 4. e1g1 Bc5"),
              "e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 e1g1 f8c5 ");
    EXPECT_EQ(line("1. e2e4 e7e5 2. d2d4 f8b4 3. g1f3"),
              "refused: move 3. g1f3: no such legal move");
    EXPECT_EQ(line("*"), "refused: no moves");
}

TEST_F(SanTest, ReadsTabSeparatedSources) {
    std::istringstream in("eco\tname\tpgn\n"
                          "C60\tRuy Lopez\t1. e4 e5 2. Nf3 Nc6 3. Bb5\r\n"
                          "\n"
                          "broken line without tabs\n"
                          "A00\tAmar Opening\t1. Nh3\n");
    std::vector<SourceLine> lines;
    std::vector<std::string> errors;
    readTsvSource(in, lines, errors);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].lineNumber, 2);
    EXPECT_EQ(lines[0].eco, "C60");
    EXPECT_EQ(lines[0].name, "Ruy Lopez");
    EXPECT_EQ(lines[0].moveText, "1. e4 e5 2. Nf3 Nc6 3. Bb5");
    EXPECT_EQ(lines[1].lineNumber, 5);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "line 4: expected eco, name and moves");
}

TEST_F(SanTest, ReadsPgnGamesWithTheirOpeningTags) {
    std::istringstream in(
        "[Event \"Club\"]\n[ECO \"B20\"]\n[Opening \"Sicilian Defense\"]\n\n1. e4 c5 2. Nf3\n"
        "d6 1-0\n\n"
        "[ECO \"D30\"]\n[Opening \"Queen's Gambit Declined\"]\n[Variation \"Vienna\"]\n"
        "1. d4 d5 2. c4 e6 *\n"
        "[Event \"no result word\"]\n1. c4\n"
        "[Opening \"Reti\"]\n1. Nf3 d5\n");
    std::vector<SourceLine> lines;
    std::vector<std::string> errors;
    readPgnSource(in, lines, errors);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].lineNumber, 1);
    EXPECT_EQ(lines[0].eco, "B20");
    EXPECT_EQ(lines[0].name, "Sicilian Defense");
    EXPECT_EQ(line(lines[0].moveText), "e2e4 c7c5 g1f3 d7d6 ");
    EXPECT_EQ(lines[1].lineNumber, 8);
    EXPECT_EQ(lines[1].name, "Queen's Gambit Declined: Vienna");
    EXPECT_EQ(lines[2].eco, "");
    EXPECT_EQ(line(lines[2].moveText), "c2c4 ");
    EXPECT_EQ(lines[3].name, "Reti");
    EXPECT_EQ(line(lines[3].moveText), "g1f3 d7d5 ");

    // Site and White name the opening only in files of the engine's own book format.
    std::istringstream games(
        "[Site \"London\"]\n[White \"Player\"]\n1. e4 *\n"
        "[Site \"C60\"]\n[White \"Ruy Lopez\"]\n1. e2e4 e7e5 2. g1f3 b8c6 3. f1b5 *\n");
    lines.clear();
    readPgnSource(games, lines, errors);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].eco, "");
    EXPECT_EQ(lines[0].name, "");
    EXPECT_EQ(lines[1].eco, "C60");
    EXPECT_EQ(lines[1].name, "Ruy Lopez");
}

TEST_F(SanTest, WritesGamesTheBookReaderAccepts) {
    std::vector<Move> moves;
    std::string why;
    ASSERT_TRUE(convertMoveText("1. e4 d5 2. exd5 Qxd5 3. Nc3", moves, why));
    std::ostringstream out;
    writeBookGame(out, "B01", "Scandinavian Defense", moves);
    writeBookGame(out, "", "", moves);
    EXPECT_EQ(out.str(), "[Site \"B01\"]\n[White \"Scandinavian Defense\"]\n"
                         "1. e2e4 d7d5 2. e4d5 d8d5 3. b1c3 *\n\n"
                         "[Site \"\"]\n1. e2e4 d7d5 2. e4d5 d8d5 3. b1c3 *\n\n");
}

}  // namespace
}  // namespace corvina
