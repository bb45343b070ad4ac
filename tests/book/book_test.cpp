#include "book/book.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"

namespace corvina {
namespace {

class BookTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        seedRandom(12345);
        initTables();
    }

    static OpeningBook fromText(const std::string& text) {
        OpeningBook book;
        std::istringstream in(text);
        book.readGames(in);
        return book;
    }

    static BoardRecord start() {
        BoardRecord board;
        setStartPosition(board);
        return board;
    }

    static BoardRecord after(std::initializer_list<const char*> moves) {
        BoardRecord board = start();
        for (const char* text : moves) {
            Move move = readMove(text, board);
            EXPECT_FALSE(move.isNone()) << text;
            applyMoveToBoard(board, move);
        }
        return board;
    }

    static std::string coordinate(const Move& move) {
        std::ostringstream out;
        writeCoordinate(out, move);
        return out.str();
    }
};

TEST_F(BookTest, SiteAndWhiteNameEveryMoveOfAGame) {
    OpeningBook book = fromText("[Site \"B20\"]\n[White \"Open Game\"]\n1. e2e4 c7c5 *\n");
    ASSERT_EQ(book.size(), 2u);

    ASSERT_EQ(book.count(start()), 1u);
    BookEntry first = book.lookupBookMove(start());
    EXPECT_EQ(first.name, "B20, Open Game");
    EXPECT_EQ(coordinate(first.move), "e2e4");
    EXPECT_EQ(first.move.kind, KindQuiet);

    BookEntry second = book.lookupBookMove(after({"e2e4"}));
    EXPECT_EQ(second.name, "B20, Open Game");
    EXPECT_EQ(coordinate(second.move), "c7c5");

    // The position after both moves was never the position before a move.
    EXPECT_TRUE(book.lookupBookMove(after({"e2e4", "c7c5"})).move.isNone());
}

TEST_F(BookTest, RepeatedGamesKeepEveryEntryInReadingOrder) {
    OpeningBook book = fromText("[Site \"B20\"]\n[White \"Open Game\"]\n1. e2e4 c7c5 *\n"
                                "[Site \"B20\"]\n[White \"Open Game\"]\n1. e2e4 c7c5 *\n"
                                "[Site \"C20\"]\n1. e2e4 e7e5 *\n");
    EXPECT_EQ(book.size(), 6u);
    EXPECT_EQ(book.count(start()), 3u);
    EXPECT_EQ(book.count(after({"e2e4"})), 3u);

    auto [first, last] = book.entries().equal_range(OpeningBook::bookKey(after({"e2e4"})));
    std::string replies;
    for (auto it = first; it != last; ++it) replies += coordinate(it->second.move) + " ";
    EXPECT_EQ(replies, "c7c5 c7c5 e7e5 ");
    EXPECT_EQ(std::prev(last)->second.name, "C20");
}

TEST_F(BookTest, LookupDrawsMovesInProportionToTheirCount) {
    OpeningBook book = fromText("1. e2e4 *\n1. e2e4 *\n1. d2d4 *\n");
    ASSERT_EQ(book.count(start()), 3u);
    seedRandom(2024);
    const int draws = 30000;
    int kingPawn = 0;
    int queenPawn = 0;
    for (int i = 0; i < draws; ++i) {
        std::string move = coordinate(book.lookupBookMove(start()).move);
        if (move == "e2e4") ++kingPawn;
        if (move == "d2d4") ++queenPawn;
    }
    EXPECT_EQ(kingPawn + queenPawn, draws);
    double share = double(kingPawn) / draws;
    EXPECT_NEAR(share, 2.0 / 3.0, 0.015);
}

TEST_F(BookTest, LookupTakesOneRandomDrawOnlyWhenThePositionIsKnown) {
    OpeningBook book = fromText("1. e2e4 e7e5 *\n1. d2d4 *\n");
    seedRandom(77);
    BookEntry miss = book.lookupBookMove(after({"a2a3"}));
    EXPECT_TRUE(miss.move.isNone());
    EXPECT_TRUE(miss.name.empty());
    EXPECT_EQ(randomSeedState(), 77u);

    // A position with a single entry still draws once.
    seedRandom(77);
    drawRandom15();
    std::uint32_t oneDraw = randomSeedState();
    seedRandom(77);
    EXPECT_EQ(coordinate(book.lookupBookMove(after({"e2e4"})).move), "e7e5");
    EXPECT_EQ(randomSeedState(), oneDraw);

    // With two entries the draw modulo the count picks one, in reading order.
    for (std::uint32_t seed : {5u, 6u, 7u, 8u}) {
        seedRandom(seed);
        std::uint32_t r = drawRandom15();
        seedRandom(seed);
        EXPECT_EQ(coordinate(book.lookupBookMove(start()).move), r % 2 == 0 ? "e2e4" : "d2d4");
    }
}

TEST_F(BookTest, ResultWordRunsIntoTheNextGamesFirstTag) {
    // "1-0" is skipped like a move number, so "[Site" ends the first game and is
    // consumed: the second game's code is lost and its White value extends the old name.
    OpeningBook book = fromText("[Site \"C20\"]\n1. e2e4 e7e5 1-0\n"
                                "[Site \"D00\"]\n[White \"Queen's Pawn\"]\n1. d2d4 *\n");
    EXPECT_EQ(book.size(), 3u);
    ASSERT_EQ(book.count(start()), 2u);
    auto first = book.entries().lower_bound(OpeningBook::bookKey(start()));
    EXPECT_EQ(first->second.name, "C20");
    EXPECT_EQ(std::next(first)->second.name, "C20, Queen's Pawn");
    EXPECT_EQ(coordinate(std::next(first)->second.move), "d2d4");
}

TEST_F(BookTest, NamesCarryOverUntilTheNextSiteTag) {
    OpeningBook book = fromText("[Site \"C60\"]\n[White \"Ruy Lopez\"]\n1. e2e4 e7e5 *\n"
                                "[White \"Berlin\"]\n[Event \"ignored\"]\n1. g1f3 *\n"
                                "[Site \"A04\"]\n1. g1f3 g8f6 *\n"
                                "1. c2c4 *\n");
    auto [first, last] = book.entries().equal_range(OpeningBook::bookKey(start()));
    std::string names;
    for (auto it = first; it != last; ++it) names += it->second.name + "|";
    EXPECT_EQ(names, "C60, Ruy Lopez|C60, Ruy Lopez, Berlin|A04|A04|");
    EXPECT_EQ(std::distance(first, last), 4);
}

TEST_F(BookTest, ShortTagValuesAndOtherTagsLeaveTheNameAlone) {
    OpeningBook book = fromText("[Site \"E00\"]\r\n[White \"Catalan\"]\r\n1. d2d4 *\r\n"
                                "[Site]\n[White \"\"]\n[WhiteElo \"2700\"]\n1. c2c4 *\n"
                                "[Site \"\"]\n1. e2e4 *\n");
    auto [first, last] = book.entries().equal_range(OpeningBook::bookKey(start()));
    ASSERT_EQ(std::distance(first, last), 3);
    // Windows line ends do not leak into the name.
    EXPECT_EQ(first->second.name, "E00, Catalan");
    // "[Site]" has no value line; "[White \"\"]" has four characters and adds an empty
    // value; "[WhiteElo" is not the White tag.
    EXPECT_EQ(std::next(first)->second.name, "E00, Catalan, ");
    EXPECT_EQ(std::prev(last)->second.name, "");
}

TEST_F(BookTest, CastlingMustBeWrittenInCoordinates) {
    // A three-letter castling ends the game; the rest of the line is read as tags and
    // games without moves.
    OpeningBook letters =
        fromText("1. e2e4 e7e5 2. g1f3 b8c6 3. f1c4 g8f6 4. O-O f8c5 *\n1. d2d4 *\n");
    EXPECT_EQ(letters.size(), 7u);
    EXPECT_EQ(letters.count(start()), 2u);
    EXPECT_EQ(letters.count(after({"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "g8f6"})), 0u);

    // "0-0" begins with a digit and is skipped, so the next word is read in the position
    // before the castling: Black's move with White to move ends the game.
    OpeningBook digits = fromText("1. e2e4 e7e5 2. g1f3 b8c6 3. f1c4 g8f6 4. 0-0 f8c5 *\n");
    EXPECT_EQ(digits.size(), 6u);

    OpeningBook coordinates = fromText("1. e2e4 e7e5 2. g1f3 b8c6 3. f1c4 g8f6 4. e1g1 f8c5 *\n");
    EXPECT_EQ(coordinates.size(), 8u);
    BookEntry castle =
        coordinates.lookupBookMove(after({"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "g8f6"}));
    EXPECT_EQ(castle.move.kind, KindCastling);
    BookEntry reply =
        coordinates.lookupBookMove(after({"e2e4", "e7e5", "g1f3", "b8c6", "f1c4", "g8f6", "e1g1"}));
    EXPECT_EQ(coordinate(reply.move), "f8c5");
}

TEST_F(BookTest, IllegalMoveEndsTheGameButKeepsTheMovesBeforeIt) {
    OpeningBook book = fromText("1. e2e4 e7e5 2. e1e3 g8f6 3. d2d4 *\n1. d2d4 *\n");
    // e2e4 and e7e5 are stored and e1e3 stops the game. "g8f6" then ends the tags with
    // its "g", a short word that ends an empty game; the next move reader starts from the
    // start position again and stores d2d4 there.
    EXPECT_EQ(book.count(start()), 3u);
    EXPECT_EQ(book.count(after({"e2e4"})), 1u);
    EXPECT_EQ(book.count(after({"e2e4", "e7e5"})), 0u);
    EXPECT_EQ(book.size(), 4u);
}

TEST_F(BookTest, LongWordsAreCutToFourCharacters) {
    OpeningBook book = fromText("1. e2e4?! e7e5!! 2. g1f3+ *\n");
    EXPECT_EQ(book.size(), 3u);
    EXPECT_EQ(coordinate(book.lookupBookMove(after({"e2e4", "e7e5"})).move), "g1f3");
}

TEST_F(BookTest, CastlingRightsAndEnPassantFlagAreNotPartOfTheKey) {
    OpeningBook book = fromText("1. e2e4 e7e5 2. g1f3 *\n");
    BoardRecord withRights;
    parseFen(withRights, "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    BoardRecord noRights;
    parseFen(noRights, "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w - - 0 2");
    EXPECT_EQ(coordinate(book.lookupBookMove(withRights).move), "g1f3");
    EXPECT_EQ(coordinate(book.lookupBookMove(noRights).move), "g1f3");

    // A transposition that differs only in the file of an old double step finds it too.
    OpeningBook indian = fromText("1. d2d4 g8f6 2. c2c4 e7e6 3. b1c3 *\n");
    EXPECT_EQ(coordinate(indian.lookupBookMove(after({"c2c4", "e7e6", "d2d4", "g8f6"})).move),
              "b1c3");

    // A double step that can be taken en passant keeps its file: with a Black pawn on d4
    // the position after e2e4 is not the one after e2e3 e3e4.
    BoardRecord epLive;
    parseFen(epLive, "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3");
    BoardRecord epGone;
    parseFen(epGone, "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3");
    EXPECT_TRUE(epGone < OpeningBook::bookKey(epLive) || OpeningBook::bookKey(epLive) < epGone);

    // The side to move is part of the key.
    BoardRecord blackToMove;
    parseFen(blackToMove, "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2");
    EXPECT_TRUE(book.lookupBookMove(blackToMove).move.isNone());
}

TEST_F(BookTest, LoadBookReportsWhereTheBookCameFrom) {
    ::testing::internal::CaptureStderr();
    OpeningBook none("");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "no opening book used\n");
    EXPECT_EQ(none.size(), 0u);
    EXPECT_TRUE(none.lookupBookMove(start()).move.isNone());

    ::testing::internal::CaptureStderr();
    OpeningBook missing("no/such/book.alg");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "book file 'no/such/book.alg' not found\n");
    EXPECT_EQ(missing.size(), 0u);

    ::testing::internal::CaptureStderr();
    OpeningBook folder(::testing::TempDir());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "book file '" + ::testing::TempDir() + "' not found\n");

    std::string path = ::testing::TempDir() + "corvina_book_test.alg";
    {
        std::ofstream out(path);
        out << "[Site \"A00\"]\n[White \"Test\"]\n1. e2e4 e7e5 *\n";
    }
    ::testing::internal::CaptureStderr();
    OpeningBook file(path);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "opening book read from '" + path + "'\n");
    EXPECT_EQ(file.size(), 2u);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace corvina
