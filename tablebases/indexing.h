// Position index of the endgame tables: where a position's byte lies in its table file.
//
// Squares here use the tablebase numbering, rank * 8 + file (a1 = 0, b1 = 1, a8 = 56),
// not the board core's file-major index; 100 stands for no square. The index squeezes
// out the board's symmetry (king of the side to move on files a-d, or in the a1-d1-d4
// triangle without pawns), never numbers touching kings or a man of the side to move
// standing where it attacks the other king at close range, and puts the positions with
// an en passant capture in a zone after the ordinary ones.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "board/types.h"

namespace corvina {

inline constexpr int NoSquare = 100;
inline constexpr std::uint32_t InvalidIndex = 0xFFFFFFFFu;

// Enumeration types of the men that the cumulative tables count.
enum EnumerationType : int {
    OtherPawn = 0,  // a pawn of the side not to move, counted as a primary man
    MoverPawn = 1,  // a pawn of the side to move
    EnumKnight = 2,
    EnumBishop = 3,
    EnumRook = 4,
    EnumQueen = 5,
};

inline constexpr int KingPairsWithPawns = 1806;
inline constexpr int KingPairsPawnless = 462;

struct EnumerationTables {
    // number[T][k][s]: rank of square s among the squares a man of type T may take
    // when the king of the side not to move is on k; 255 when s is not allowed.
    std::uint8_t number[6][64][64];
    std::uint8_t count[6][64];
    // King pairs K * 64 + k (K the king of the side to move); -1 for an invalid pair.
    std::int16_t kp1806[4096];
    std::int16_t kp462[4096];
    // Positions of all king pairs numbered below the pair: one man (single*), two men
    // of types T >= U (pair*), with pawns over kp1806 and pawnless over kp462.
    std::uint32_t singleWithPawns[6][KingPairsWithPawns];
    std::uint32_t singlePawnless[6][KingPairsPawnless];
    std::uint32_t pairWithPawns[6][6][KingPairsWithPawns];
    std::uint32_t pairPawnless[6][6][KingPairsPawnless];
    std::uint32_t singleWithPawnsTotal[6];
    std::uint32_t singlePawnlessTotal[6];
    std::uint32_t pairWithPawnsTotal[6][6];
    std::uint32_t pairPawnlessTotal[6][6];
};

// Built on the first call; immutable afterwards.
const EnumerationTables& enumerationTables();

// Squares a man of type T may take with the mover's king on K and the other on k.
int places(const EnumerationTables& tables, int type, int moverKing, int otherKing);

// The kind of a table man; pieces share their enumeration type.
enum ManKind : std::int8_t { ManPawn = 1, ManKnight = 2, ManBishop = 3, ManRook = 4, ManQueen = 5 };

// The men of a table besides the kings, per table side (0 first-named, 1 second), in
// name order. Parsed from names like "kbnkp"; any letter but n, b, r, q is a pawn.
struct TableMen {
    std::int8_t count[2] = {0, 0};
    std::int8_t kind[2][3] = {};

    bool hasPawns() const;
    bool pawnsOnBothSides() const;
    int total() const { return count[0] + count[1]; }
};
TableMen parseTableMen(std::string_view name);

// Square of the i-th man of a kind in a side record, or NoSquare. Pawns are taken in
// increasing bit order of the pawn set.
int squareOfPiece(const SideState& side, int kind, int slot);

// The index of one table and side to move (0: table-white to move). Called with the
// table-white and table-black side records (the real colours swapped and flip = 1 for
// a colour-reversed lookup) and the en passant square in the real board's numbering.
// Gives InvalidIndex when a man is missing or the kings or men stand where no
// position is numbered.
struct IndexFunction {
    // Men are numbered 0 table-white king, 1 table-black king, 2 + i table-white man i,
    // 5 + i table-black man i.
    struct Secondary {
        std::int8_t man[2] = {-1, -1};  // a like pair uses both
        std::int8_t pawn = 0;
        std::uint8_t counted = 0;       // men whose squares below are skipped
        std::uint32_t radix = 1;
    };

    TableMen men;
    std::int8_t side = 0;
    std::int8_t withPawns = 0;
    std::int8_t primaryCount = 0;
    std::int8_t primaryMan[2] = {-1, -1};  // the higher type first
    std::int8_t primaryType[2] = {0, 0};
    std::int8_t primaryFlip = 0;            // 56 when the view is turned for a black pawn
    std::int8_t secondaryCount = 0;
    Secondary secondary[3];
    std::uint32_t normalSize = 0;  // positions without en passant
    std::uint32_t indexSpace = 0;  // plus the en passant zone

    std::uint32_t operator()(const SideState& tableWhite, const SideState& tableBlack,
                             int epSquare, int flip) const;
};
IndexFunction makeIndexFunction(std::string_view name, int side);

// A position of a table's material, in tablebase numbering, with the two side records
// filled as a probe reads them.
struct TablePosition {
    int sideToMove = 0;        // 0 table-white, 1 table-black
    int epSquare = NoSquare;   // set only when the mover can capture en passant
    std::int8_t king[2] = {};
    std::int8_t square[2][3] = {};  // the men of TableMen, same order
    SideState sides[2] = {};
};

// Fills a side record from a king square and men (slots in the given order).
void fillSideState(SideState& side, int king, const std::int8_t* kinds,
                   const std::int8_t* squares, int count);

// Men on distinct squares, pawns off the first and last ranks, kings apart and the side
// not to move not in check. The en passant square is not looked at.
bool isLegalTablePosition(const TableMen& men, const TablePosition& position);

// Every legal position of the material with the given side to move, once each (men of
// one kind and side on increasing squares), en passant positions included: the pushed
// pawn beside a pawn that can take it, both squares it passed empty, and the position
// before the double step legal. Returns the number visited.
std::uint64_t forEachTablePosition(const TableMen& men, int sideToMove,
                                   const std::function<void(const TablePosition&)>& visit);

}  // namespace corvina
