#include "search/traverse.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "board/position.h"
#include "search/mtdf.h"
#include "tests/search/test_engine.h"

namespace corvina {
namespace {

using namespace testing_support;

const char* const StartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

class Traverse : public ::testing::Test {
protected:
    void SetUp() override { setUpSearch(searcher, engine); }

    std::string listing(const BoardRecord& board) {
        CaptureStdout output;
        traverseTree(searcher, board);
        return output.str();
    }

    Engine engine;
    Searcher searcher;
};

TEST_F(Traverse, EmptyTableListsEveryMoveWithoutEntries) {
    const BoardRecord board = boardFromFen(StartFen);
    std::ostringstream expected;
    expected << "\ntraverse ((q)uit, (u)p, (b)est, <number>)\n\n\n"
             << std::string(80, '-') << "\n";
    printBoard(expected, board) << "\n";
    expected << "transp:     no hash\n"
             << "level:      0\n"
             << "en passant: no\n"
             << "castle qs:  1\n"
             << "castle ks:  1\n";
    const std::string text = listing(board);
    ASSERT_EQ(text.substr(0, expected.str().size()), expected.str());

    const std::vector<std::string> moves = linesOf(text.substr(expected.str().size()));
    ASSERT_EQ(moves.size(), 20u);
    EXPECT_EQ(moves[0], "   0.  a2a3\tno hash");
    EXPECT_EQ(moves[2], "   2.  Nb1c3\tno hash");
    EXPECT_EQ(moves[19], "  19.  h2h4\tno hash");
}

TEST_F(Traverse, EntriesShowBoundsDepthAndVariation) {
    const BoardRecord board = boardFromFen(StartFen);
    {
        CaptureStdout quiet;
        deepen(searcher, board, 3);
    }
    Position root;
    expandPosition(root, board);
    const HashEntry* entry = searcher.table.probe(root);
    ASSERT_NE(entry, nullptr);
    std::ostringstream transp;
    transp << "transp:     lower: " << entry->lower() << "\tupper: " << entry->upper()
           << "\tdepth: " << int(entry->depth) << "\tmv: " << principalVariation(searcher, board);
    const std::string text = listing(board);
    EXPECT_NE(text.find(transp.str() + "\n"), std::string::npos) << text;

    // The best move's child has an entry, listed with its own variation.
    MoveList list;
    list.reset();
    generateMoves(list, root);
    int index = -1;
    for (int i = 0; i < list.count; ++i)
        if (list.moves[i].sameSquares(searcher.bestMove)) index = i;
    ASSERT_GE(index, 0);
    Position child = root;
    makeMove(child, list.moves[index]);
    updateKeysAfterMove(child, root, list.moves[index]);
    const HashEntry* childEntry = searcher.table.probe(child);
    ASSERT_NE(childEntry, nullptr);
    std::ostringstream line;
    line << "  " << (index < 10 ? " " : "") << index << ".  "
         << writeLongAlgebraic(list.moves[index], board) << "\tlower: " << childEntry->lower()
         << "\tupper: " << childEntry->upper() << "\tdepth: " << int(childEntry->depth)
         << "\tmv: " << principalVariation(searcher, child.board) << "\n";
    EXPECT_NE(text.find(line.str()), std::string::npos) << text;

    // Listing changes nothing.
    EXPECT_EQ(listing(board), text);
}

TEST_F(Traverse, HeaderShowsEnPassantFileAndTheMoversRights) {
    const std::string text =
        listing(boardFromFen("rnbqk2r/pppp1ppp/8/8/3Pp3/8/PPP1PPPP/RNBQKBNR b KQk d3 0 1"));
    EXPECT_NE(text.find("\nen passant: 3\ncastle qs:  0\ncastle ks:  1\n"), std::string::npos)
        << text;
    const std::string white =
        listing(boardFromFen("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w Qkq - 0 1"));
    EXPECT_NE(white.find("\nen passant: no\ncastle qs:  1\ncastle ks:  0\n"), std::string::npos)
        << white;
}

}  // namespace
}  // namespace corvina
