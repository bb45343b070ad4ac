// Book files that are not what they should be: the loader keeps the moves it can read,
// prints its one line, and every move it keeps is legal where it is stored.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "board/makemove.h"
#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"
#include "book/book.h"

namespace corvina {
namespace {

class BadBook : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        seedRandom(4321);
        initTables();
    }
    void TearDown() override { std::remove(path.c_str()); }

    // Loads text written to a file, as the engine does, and checks the loader's line.
    OpeningBook load(const std::string& text) {
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << text;
        }
        ::testing::internal::CaptureStderr();
        OpeningBook book(path);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "opening book read from '" + path + "'\n");
        return book;
    }

    // Every stored move is one the side to move may play there.
    static void expectAllLegal(const OpeningBook& book) {
        for (const auto& [board, entry] : book.entries()) {
            Position position;
            expandPosition(position, board);
            const int mover = board.sideToMove();
            const Move found = completeMove(board, entry.move);
            ASSERT_FALSE(found.isNone());
            makeMove(position, found);
            EXPECT_FALSE(position.inCheck[mover]) << coordinate(entry.move) << " leaves the king attacked";
        }
    }

    static BoardRecord after(std::initializer_list<const char*> moves) {
        BoardRecord board;
        setStartPosition(board);
        for (const char* text : moves) {
            const Move move = readMove(text, board);
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

    const std::string path = ::testing::TempDir() + "corvina_badbook.alg";
};

TEST_F(BadBook, BinaryBytesBetweenGamesLoseNoGoodGame) {
    std::string noise;
    std::uint32_t seed = 3;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        noise += char(seed >> 24);  // NUL bytes, brackets and line ends among them
    }
    const OpeningBook book = load("[Site \"A\"]\n1. e2e4 e7e5 *\n" + noise +
                                  "\n[Site \"B\"]\n1. d2d4 d7d5 *\n");
    expectAllLegal(book);
    EXPECT_EQ(book.count(after({})), 2u);
    EXPECT_EQ(book.count(after({"e2e4"})), 1u);
    EXPECT_EQ(book.count(after({"d2d4"})), 1u);
}

TEST_F(BadBook, TruncatedGamesKeepTheirWholeMoves) {
    // Cut inside a move word, inside a tag value, and after tags with no moves at all.
    OpeningBook book = load("[Site \"A\"]\n1. e2e4 c7c5 2. g1f3 d7");
    expectAllLegal(book);
    EXPECT_EQ(book.size(), 3u);
    EXPECT_EQ(book.lookupBookMove(after({"e2e4", "c7c5"})).name, "A");

    book = load("[Site \"A\"]\n1. e2e4 *\n[Site \"B\"]\n[White \"Unfinished");
    EXPECT_EQ(book.size(), 1u);

    book = load("[Site \"A\"]\n[White \"B\"]\n[Event \"nothing follows\"]\n");
    EXPECT_EQ(book.size(), 0u);
    EXPECT_TRUE(book.lookupBookMove(after({})).move.isNone());
}

TEST_F(BadBook, MovesThatLeaveTheKingAttackedEndTheGame) {
    // After 1. e4 d5 2. Bb5+ Black must answer the check; a7a6 is generated but not legal.
    const OpeningBook book = load("[Site \"Pin\"]\n1. e2e4 d7d5 2. f1b5 a7a6 3. b5e8 *\n"
                                  "[Site \"Pin\"]\n1. e2e4 e7e5 2. d1h5 f7f6 3. h5e8 *\n");
    expectAllLegal(book);
    EXPECT_EQ(book.count(after({"e2e4", "d7d5"})), 1u);
    EXPECT_EQ(book.count(after({"e2e4", "d7d5", "f1b5"})), 0u);
    // f7f6 opens the queen's diagonal to the king.
    EXPECT_EQ(book.count(after({"e2e4", "e7e5"})), 1u);
    EXPECT_EQ(book.count(after({"e2e4", "e7e5", "d1h5"})), 0u);
}

TEST_F(BadBook, EnormousLinesAreReadLikeShortOnes) {
    const std::string huge(4 << 20, 'x');
    // A tag value, a move word and a row of words, each megabytes long.
    std::string rowOfWords;
    for (int i = 0; i < 200000; ++i) rowOfWords += "h2h9 ";
    const OpeningBook book = load("[Site \"" + huge + "\"]\n1. e2e4 *\n1. " + huge + "\n" +
                                  rowOfWords + "\n[Site \"B\"]\n1. g1f3 *\n");
    expectAllLegal(book);
    ASSERT_EQ(book.size(), 2u);
    // Both moves of the start position, in reading order: the long name, then B.
    const auto first = book.entries().begin();
    EXPECT_EQ(first->second.name.size(), huge.size());
    EXPECT_EQ(coordinate(first->second.move), "e2e4");
    EXPECT_EQ(std::next(first)->second.name, "B");
    EXPECT_EQ(coordinate(std::next(first)->second.move), "g1f3");
}

TEST_F(BadBook, FolderInsteadOfAFileIsNoBook) {
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "corvina_book_folder.alg";
    std::filesystem::create_directories(folder);
    ::testing::internal::CaptureStderr();
    const OpeningBook book(folder.string());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "book file '" + folder.string() + "' not found\n");
    EXPECT_EQ(book.size(), 0u);
    std::filesystem::remove(folder);
}

}  // namespace
}  // namespace corvina
