#include "tablebases/indexing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "board/position.h"
#include "board/tables.h"
#include "tablebases/registry.h"

#if defined(__SANITIZE_ADDRESS__)
#define CORVINA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVINA_ASAN 1
#endif
#endif

namespace corvina {
namespace {

int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

struct Man {
    std::int8_t kind;
    const char* square;
};

SideState sideOf(const char* king, std::initializer_list<Man> men) {
    std::int8_t kinds[3];
    std::int8_t squares[3];
    int n = 0;
    for (const Man& m : men) {
        kinds[n] = m.kind;
        squares[n++] = std::int8_t(sq(m.square));
    }
    SideState side;
    fillSideState(side, sq(king), kinds, squares, n);
    return side;
}

std::uint32_t indexOf(const char* table, int side, const SideState& w, const SideState& b,
                      int ep = NoSquare) {
    return makeIndexFunction(table, side)(w, b, ep, 0);
}

int tableId(const std::string& name) {
    for (int id = 1; id < TableSlotCount; ++id) {
        if (name == tableList[id].name) {
            return id;
        }
    }
    return 0;
}

TEST(Indexing, CumulativeTotalsMatchTheScheme) {
    const EnumerationTables& t = enumerationTables();
    const std::uint32_t single[6] = {84012, 81664, 102748, 106500, 105684, 100212};
    for (int type = 0; type < 6; ++type) {
        EXPECT_EQ(t.singleWithPawnsTotal[type], single[type]) << "type " << type;
    }
    EXPECT_EQ(t.singlePawnlessTotal[EnumKnight], 26282u);
    EXPECT_EQ(t.singlePawnlessTotal[EnumBishop], 27243u);
    EXPECT_EQ(t.singlePawnlessTotal[EnumRook], 27036u);
    EXPECT_EQ(t.singlePawnlessTotal[EnumQueen], 25635u);
    EXPECT_EQ(t.pairWithPawnsTotal[OtherPawn][OtherPawn], 1912372u);
    EXPECT_EQ(t.pairWithPawnsTotal[MoverPawn][MoverPawn], 1806671u);
    EXPECT_EQ(t.pairWithPawnsTotal[EnumKnight][MoverPawn], 4648581u);
    EXPECT_EQ(t.pairWithPawnsTotal[EnumBishop][MoverPawn], 4817128u);
    EXPECT_EQ(t.pairPawnlessTotal[EnumKnight][EnumKnight], 735304u);
    EXPECT_EQ(t.pairPawnlessTotal[EnumBishop][EnumKnight], 1550621u);
    EXPECT_EQ(t.pairPawnlessTotal[EnumBishop][EnumBishop], 789885u);

    int pairs1806 = 0;
    int pairs462 = 0;
    for (int i = 0; i < 4096; ++i) {
        pairs1806 += t.kp1806[i] >= 0;
        pairs462 += t.kp462[i] >= 0;
    }
    EXPECT_EQ(pairs1806, KingPairsWithPawns);
    EXPECT_EQ(pairs462, KingPairsPawnless);
}

TEST(Indexing, WorkedIndices) {
    SideState w = sideOf("e2", {{ManPawn, "e4"}});
    SideState b = sideOf("e6", {});
    EXPECT_EQ(indexOf("kpk", 0, w, b), 19791u);
    EXPECT_EQ(indexOf("kpk", 1, w, b), 31104u);

    w = sideOf("c3", {{ManRook, "a1"}});
    b = sideOf("h8", {});
    EXPECT_EQ(indexOf("krk", 0, w, b), 21996u);
    EXPECT_EQ(indexOf("krk", 1, w, b), 1735u);

    w = sideOf("d1", {{ManBishop, "c1"}, {ManKnight, "b1"}});
    EXPECT_EQ(indexOf("kbnk", 0, w, sideOf("h8", {})), 688125u);

    w = sideOf("g6", {{ManQueen, "g7"}});
    b = sideOf("h8", {{ManRook, "a8"}});
    EXPECT_EQ(indexOf("kqkr", 1, w, b), 24713u);

    w = sideOf("h1", {{ManRook, "a7"}, {ManRook, "b6"}});
    b = sideOf("h8", {{ManKnight, "d4"}});
    EXPECT_EQ(indexOf("krrkn", 0, w, b), 615453u);

    w = sideOf("a1", {{ManPawn, "e5"}});
    b = sideOf("h8", {{ManPawn, "d5"}});
    EXPECT_EQ(indexOf("kpkp", 0, w, b, sq("d6")), 3839037u);

    w = sideOf("a1", {{ManPawn, "e4"}, {ManPawn, "b2"}});
    b = sideOf("h8", {{ManPawn, "d4"}});
    EXPECT_EQ(indexOf("kppkp", 1, w, b, sq("e3")), 89251521u);
    // b5 takes on a6, not h4: h4 + 9 is a6 only across the board's edge.
    w = sideOf("a1", {{ManPawn, "h4"}, {ManPawn, "b5"}});
    b = sideOf("c1", {{ManPawn, "a5"}});
    EXPECT_LT(indexOf("kppkp", 0, w, b, sq("a6")), tableList[tableId("kppkp")].size[0]);

    w = sideOf("c1", {{ManKnight, "f3"}, {ManPawn, "g4"}});
    b = sideOf("a8", {{ManPawn, "h4"}});
    EXPECT_EQ(indexOf("knpkp", 1, w, b, sq("g3")), 231570840u);
}

TEST(Indexing, IndexSpaceCoversEveryTableSize) {
    for (int id = 1; id < TableSlotCount; ++id) {
        for (int side = 0; side < 2; ++side) {
            IndexFunction f = makeIndexFunction(tableList[id].name, side);
            EXPECT_GE(f.indexSpace, tableList[id].size[side])
                << tableList[id].name << " side " << side;
        }
    }
}

// The squares of a table position under a board symmetry, rebuilt into side records.
struct Transformed {
    SideState sides[2];
    int ep;
};

Transformed transform(const TableMen& men, const TablePosition& p, int (*map)(int),
                      bool reverseSlots) {
    Transformed t;
    for (int s = 0; s < 2; ++s) {
        std::int8_t kinds[3];
        std::int8_t squares[3];
        int n = men.count[s];
        for (int i = 0; i < n; ++i) {
            int j = reverseSlots ? n - 1 - i : i;
            kinds[i] = men.kind[s][j];
            squares[i] = std::int8_t(map(p.square[s][j]));
        }
        fillSideState(t.sides[s], map(p.king[s]), kinds, squares, n);
    }
    t.ep = p.epSquare == NoSquare ? NoSquare : map(p.epSquare);
    return t;
}

int mirrorFile(int x) { return x ^ 7; }
int mirrorRank(int x) { return x ^ 56; }
int rotate180(int x) { return x ^ 63; }
int transposeSquare(int x) { return (x & 7) * 8 + (x >> 3); }
int antiTranspose(int x) { return transposeSquare(x ^ 63); }
int transposeMirrorFile(int x) { return transposeSquare(x) ^ 7; }
int transposeMirrorRank(int x) { return transposeSquare(x) ^ 56; }

bool sameLongDiagonal(int a, int b) {
    bool main = (a & 7) == (a >> 3) && (b & 7) == (b >> 3);
    bool anti = (a & 7) + (a >> 3) == 7 && (b & 7) + (b >> 3) == 7;
    return main || anti;
}

// Every legal position of a 3- or 4-man table side: index inside the file, the last
// legal position at its end, and (for every stride-th position) the symmetric positions
// at the same index.
void checkWholeTable(int id, int side, std::uint64_t stride) {
    const TableListEntry& entry = tableList[id];
    const TableMen men = parseTableMen(entry.name);
    const IndexFunction f = makeIndexFunction(entry.name, side);
    const std::uint32_t size = entry.size[side];
    const bool pawnless = !men.hasPawns();
    std::uint32_t largest = 0;
    std::uint64_t outside = 0;
    std::uint64_t asymmetric = 0;
    std::uint64_t epPositions = 0;
    std::uint64_t seen = 0;
    static int (*const pawnlessMaps[])(int) = {mirrorFile,      mirrorRank,          rotate180,
                                               transposeSquare, antiTranspose,       transposeMirrorFile,
                                               transposeMirrorRank};
    std::uint64_t n = forEachTablePosition(men, side, [&](const TablePosition& p) {
        std::uint32_t index = f(p.sides[0], p.sides[1], p.epSquare, 0);
        if (index >= size) {
            ++outside;
            return;
        }
        largest = std::max(largest, index);
        epPositions += p.epSquare != NoSquare;
        if (++seen % stride != 0 && p.epSquare == NoSquare) {
            return;
        }
        Transformed m = transform(men, p, mirrorFile, false);
        asymmetric += f(m.sides[0], m.sides[1], m.ep, 0) != index;
        // Colours reversed: real black holds table-white's men, board upside down.
        Transformed r = transform(men, p, mirrorRank, true);
        asymmetric += f(r.sides[0], r.sides[1], r.ep, 1) != index;
        if (pawnless && !sameLongDiagonal(p.king[0], p.king[1])) {
            for (auto map : pawnlessMaps) {
                Transformed s = transform(men, p, map, false);
                asymmetric += f(s.sides[0], s.sides[1], s.ep, 0) != index;
            }
        }
    });
    EXPECT_GT(n, 0u);
    EXPECT_EQ(outside, 0u) << entry.name << " side " << side;
    EXPECT_EQ(largest + 1, size) << entry.name << " side " << side;
    EXPECT_EQ(asymmetric, 0u) << entry.name << " side " << side;
    if (men.pawnsOnBothSides()) {
        EXPECT_GT(epPositions, 0u) << entry.name << " side " << side;
    }
}

TEST(Indexing, EveryThreeManPositionFitsItsFile) {
    for (const char* name : {"kpk", "knk", "kbk", "krk", "kqk"}) {
        for (int side = 0; side < 2; ++side) {
            checkWholeTable(tableId(name), side, 1);
        }
    }
}

// A sample of the kinds: pawns with the en passant zone, two like pieces.
TEST(Indexing, EveryFourManPositionOfSampleTablesFitsItsFile) {
    for (const char* name : {"kpkp", "kbbk"}) {
        for (int side = 0; side < 2; ++side) {
            checkWholeTable(tableId(name), side, 61);
        }
    }
}

// Minutes of work: all sixty 4-man table sides.
TEST(Indexing, SlowEveryFourManPositionFitsItsFile) {
#ifndef CORVINA_SLOW_TABLE_TESTS
    GTEST_SKIP() << "exhaustive 4-man walk: configure with -DCORVINA_SLOW_TABLE_TESTS=ON";
#endif
    for (int id = 6; id <= 35; ++id) {
        for (int side = 0; side < 2; ++side) {
            checkWholeTable(id, side, 61);
        }
    }
}

// Every legal position of kppkp with White to move, en passant ones included: no index
// may fall outside the file (a pawn on the h-file is no capturer of a pawn on the a-file).
// About 17 s of one core in the release build and five minutes under the sanitizers, so
// the sanitizer build runs it only with the slow table tests.
TEST(Indexing, SlowEveryKppkpPositionWithWhiteToMoveFitsItsFile) {
#if defined(CORVINA_ASAN) && !defined(CORVINA_SLOW_TABLE_TESTS)
    GTEST_SKIP() << "five minutes under the sanitizers: configure with -DCORVINA_SLOW_TABLE_TESTS=ON";
#endif
    const int id = tableId("kppkp");
    const TableMen men = parseTableMen("kppkp");
    const IndexFunction f = makeIndexFunction("kppkp", 0);
    const std::uint32_t size = tableList[id].size[0];
    std::uint64_t outside = 0;
    std::uint64_t epPositions = 0;
    std::ostringstream first;
    forEachTablePosition(men, 0, [&](const TablePosition& p) {
        epPositions += p.epSquare != NoSquare;
        if (f(p.sides[0], p.sides[1], p.epSquare, 0) >= size && outside++ == 0) {
            first << "kings " << int(p.king[0]) << ' ' << int(p.king[1]) << ", pawns "
                  << int(p.square[0][0]) << ' ' << int(p.square[0][1]) << ' '
                  << int(p.square[1][0]) << ", en passant " << p.epSquare;
        }
    });
    EXPECT_GT(epPositions, 0u);
    EXPECT_EQ(outside, 0u) << "first: " << first.str();
}

// A random legal position of the table, and the board the engine would play it on.
bool randomPosition(const TableMen& men, int sideToMove, std::mt19937& rng, TablePosition& p,
                    BoardRecord& board) {
    std::uniform_int_distribution<int> square(0, 63);
    p.sideToMove = sideToMove;
    for (int s = 0; s < 2; ++s) {
        p.king[s] = std::int8_t(square(rng));
        for (int i = 0; i < men.count[s]; ++i) {
            p.square[s][i] = std::int8_t(square(rng));
        }
    }
    if (!isLegalTablePosition(men, p)) {
        return false;
    }
    static const int typeOfKind[6] = {King, Pawn, Knight, Bishop, Rook, Queen};
    clearBoard(board);
    for (int s = 0; s < 2; ++s) {
        int colour = s == 0 ? White : Black;
        board.squares[squareIndex(p.king[s] & 7, p.king[s] >> 3)] = makeCode(King, colour);
        for (int i = 0; i < men.count[s]; ++i) {
            int x = p.square[s][i];
            board.squares[squareIndex(x & 7, x >> 3)] = makeCode(typeOfKind[men.kind[s][i]], colour);
        }
    }
    board.state = sideToMove == 0 ? StateWhiteToMove : 0;
    return true;
}

// The same position with the files mirrored (a <-> h).
void mirrorBoard(const BoardRecord& from, BoardRecord& to) {
    to = from;
    for (int file = 0; file < 8; ++file) {
        for (int rank = 0; rank < 8; ++rank) {
            to.squares[squareIndex(7 - file, rank)] = from.squares[squareIndex(file, rank)];
        }
    }
}

// Colours reversed and the board turned upside down.
void reverseColours(const BoardRecord& from, BoardRecord& to) {
    to = from;
    for (int file = 0; file < 8; ++file) {
        for (int rank = 0; rank < 8; ++rank) {
            PieceCode code = from.squares[squareIndex(file, rank)];
            to.squares[squareIndex(file, 7 - rank)] =
                isEmptyCode(code) ? code : PieceCode(code ^ 1);
        }
    }
    to.state = std::uint8_t(from.state ^ StateWhiteToMove);
}

TEST(Indexing, RandomFiveManPositionsStayInsideTheirFiles) {
    initTables();
    std::mt19937 rng(20261208);
    for (int id = 36; id <= TableCount; ++id) {
        const TableMen men = parseTableMen(tableList[id].name);
        for (int side = 0; side < 2; ++side) {
            const IndexFunction f = makeIndexFunction(tableList[id].name, side);
            int checked = 0;
            for (int tries = 0; checked < 300 && tries < 5000; ++tries) {
                TablePosition p;
                BoardRecord board;
                if (!randomPosition(men, side, rng, p, board)) {
                    continue;
                }
                ++checked;
                Position position;
                expandPosition(position, board);
                std::uint32_t index = f(position.white, position.black, NoSquare, 0);
                std::ostringstream placement;
                for (int x = 0; x < 64; ++x) {
                    if (!isEmptyCode(board.squares[x])) {
                        placement << int(board.squares[x]) << '@' << char('a' + x / 8) << x % 8 + 1 << ' ';
                    }
                }
                ASSERT_LT(index, tableList[id].size[side])
                    << tableList[id].name << " side " << side << "\n" << placement.str();

                BoardRecord mirrored;
                mirrorBoard(board, mirrored);
                Position m;
                expandPosition(m, mirrored);
                EXPECT_EQ(f(m.white, m.black, NoSquare, 0), index) << tableList[id].name;

                BoardRecord reversed;
                reverseColours(board, reversed);
                Position r;
                expandPosition(r, reversed);
                EXPECT_EQ(f(r.black, r.white, NoSquare, 1), index) << tableList[id].name;
            }
            EXPECT_EQ(checked, 300) << tableList[id].name;
        }
    }
}

TEST(Indexing, MisplacedMenGiveNoIndex) {
    // Touching kings, a mover's rook beside the other king, a missing man.
    SideState w = sideOf("e4", {{ManRook, "a1"}});
    SideState b = sideOf("e5", {});
    EXPECT_EQ(indexOf("krk", 0, w, b), InvalidIndex);
    w = sideOf("a1", {{ManRook, "h7"}});
    b = sideOf("h8", {});
    EXPECT_EQ(indexOf("krk", 0, w, b), InvalidIndex);
    EXPECT_NE(indexOf("krk", 1, w, b), InvalidIndex);
    w = sideOf("a1", {});
    EXPECT_EQ(indexOf("krk", 0, w, b), InvalidIndex);
}

}  // namespace
}  // namespace corvina
