// The shipped book and books built from the shared opening lists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/notation.h"
#include "board/position.h"
#include "board/random.h"
#include "board/tables.h"
#include "book/book.h"
#include "tools/san.h"

namespace corvina {
namespace {

struct GameText {
    std::string text;
    std::string site;
    int moves = 0;  // move words counted from the text
};

// Splits a book file at its "*" words and counts the move words of each game: words
// outside tag lines that are neither numbers nor the end mark.
std::vector<GameText> splitGames(std::istream& in) {
    std::vector<GameText> games;
    GameText game;
    std::string line;
    while (std::getline(in, line)) {
        game.text += line + "\n";
        if (!line.empty() && line[0] == '[') {
            if (line.compare(0, 7, "[Site \"") == 0) game.site = line.substr(7, line.size() - 9);
            continue;
        }
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word == "*") {
                games.push_back(game);
                game = GameText();
            } else if (!(word[0] >= '0' && word[0] <= '9')) {
                ++game.moves;
            }
        }
    }
    return games;
}

std::string coordinate(const Move& move) {
    std::ostringstream out;
    writeCoordinate(out, move);
    return out.str();
}

BoardRecord after(std::initializer_list<const char*> moves) {
    BoardRecord board;
    setStartPosition(board);
    for (const char* text : moves) applyMoveToBoard(board, readMove(text, board));
    return board;
}

std::set<std::string> bookMoves(const OpeningBook& book, const BoardRecord& board) {
    std::set<std::string> moves;
    auto [first, last] = book.entries().equal_range(OpeningBook::bookKey(board));
    for (auto it = first; it != last; ++it) moves.insert(coordinate(it->second.move));
    return moves;
}

class EcoBook : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        seedRandom(4711);
        initTables();
        std::ifstream in(std::string(CORVINA_SOURCE_DIR) + "/eco.alg");
        ASSERT_TRUE(in) << "eco.alg missing from the source folder";
        std::stringstream text;
        text << in.rdbuf();
        bookText_ = text.str();
        std::istringstream again(bookText_);
        book_.readGames(again);
    }

    static std::string bookText_;
    static OpeningBook book_;
};

std::string EcoBook::bookText_;
OpeningBook EcoBook::book_;

TEST_F(EcoBook, EveryGameLoadsToItsLastMove) {
    std::istringstream in(bookText_);
    std::vector<GameText> games = splitGames(in);
    ASSERT_GE(games.size(), 300u);
    std::size_t totalMoves = 0;
    std::map<char, int> perVolume;
    for (const GameText& game : games) {
        OpeningBook single;
        std::istringstream text(game.text);
        single.readGames(text);
        EXPECT_EQ(single.size(), std::size_t(game.moves)) << game.text;
        EXPECT_GE(game.moves, 6) << game.text;
        ASSERT_FALSE(game.site.empty()) << game.text;
        ++perVolume[game.site[0]];
        totalMoves += game.moves;
    }
    EXPECT_EQ(book_.size(), totalMoves);
    for (char volume : std::string("ABCDE")) EXPECT_GE(perVolume[volume], 40) << volume;
}

TEST_F(EcoBook, EveryEntryCarriesItsCodeAndName) {
    for (const auto& [board, entry] : book_.entries()) {
        ASSERT_GT(entry.name.size(), 6u);
        EXPECT_TRUE(entry.name[0] >= 'A' && entry.name[0] <= 'E') << entry.name;
        EXPECT_EQ(entry.name.substr(3, 2), ", ") << entry.name;
    }
}

TEST_F(EcoBook, AnswersTheMainFirstMovesForBothColours) {
    std::set<std::string> first = bookMoves(book_, after({}));
    for (const char* move : {"e2e4", "d2d4", "c2c4", "g1f3"})
        EXPECT_TRUE(first.count(move)) << move;

    EXPECT_GE(bookMoves(book_, after({"e2e4"})).size(), 6u);
    EXPECT_GE(bookMoves(book_, after({"d2d4"})).size(), 4u);
    EXPECT_GE(bookMoves(book_, after({"c2c4"})).size(), 4u);
    EXPECT_GE(bookMoves(book_, after({"g1f3"})).size(), 3u);
    for (const char* reply : {"e7e5", "c7c5", "e7e6", "c7c6"})
        EXPECT_TRUE(bookMoves(book_, after({"e2e4"})).count(reply)) << reply;
    for (const char* reply : {"g8f6", "d7d5", "f7f5"})
        EXPECT_TRUE(bookMoves(book_, after({"d2d4"})).count(reply)) << reply;
    EXPECT_FALSE(bookMoves(book_, after({"e2e4", "e7e5", "g1f3"})).empty());
    EXPECT_FALSE(bookMoves(book_, after({"d2d4", "g8f6", "c2c4", "e7e6"})).empty());
    // Reached by either order of moves.
    EXPECT_EQ(bookMoves(book_, after({"d2d4", "g8f6", "c2c4", "e7e6"})),
              bookMoves(book_, after({"c2c4", "e7e6", "d2d4", "g8f6"})));
}

TEST_F(EcoBook, PlayedFromTheStartItGivesSeveralMovesEachSide) {
    std::set<std::string> openings;
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        seedRandom(seed);
        BoardRecord board;
        setStartPosition(board);
        int plies = 0;
        std::string name;
        for (;;) {
            BookEntry entry = book_.lookupBookMove(board);
            if (entry.move.isNone()) break;
            name = entry.name;
            applyMoveToBoard(board, entry.move);
            ++plies;
        }
        EXPECT_GE(plies, 8) << "seed " << seed << " ended in " << name;
        openings.insert(name.substr(0, 3));
    }
    // Three hundred walks reach a broad spread of codes.
    EXPECT_GE(openings.size(), 100u);
}

TEST(SharedOpenings, EveryListedLineConvertsAndLoads) {
    const std::filesystem::path folder = std::filesystem::path(CORVINA_SHARED_DIR) / "openings";
    if (!std::filesystem::exists(folder / "a.tsv")) {
        GTEST_SKIP() << "shared openings not found in " << folder;
    }
    seedRandom(1);
    initTables();
    std::size_t lineCount = 0;
    std::size_t moveCount = 0;
    std::ostringstream whole;
    for (const char* name : {"a.tsv", "b.tsv", "c.tsv", "d.tsv", "e.tsv"}) {
        std::ifstream in(folder / name);
        ASSERT_TRUE(in) << name;
        std::vector<SourceLine> lines;
        std::vector<std::string> errors;
        readTsvSource(in, lines, errors);
        EXPECT_TRUE(errors.empty()) << name << ": " << errors.front();
        for (const SourceLine& line : lines) {
            std::vector<Move> moves;
            std::string why;
            ASSERT_TRUE(convertMoveText(line.moveText, moves, why))
                << name << " line " << line.lineNumber << ": " << why;
            std::ostringstream game;
            writeBookGame(game, line.eco, line.name, moves);
            OpeningBook single;
            std::istringstream text(game.str());
            single.readGames(text);
            EXPECT_EQ(single.size(), moves.size()) << game.str();
            whole << game.str();
            ++lineCount;
            moveCount += moves.size();
        }
    }
    EXPECT_EQ(lineCount, 3807u);
    OpeningBook book;
    std::istringstream text(whole.str());
    book.readGames(text);
    EXPECT_EQ(book.size(), moveCount);
}

}  // namespace
}  // namespace corvina
